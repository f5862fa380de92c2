#include "app/outcome_text.h"

#include "platform/error_text.h"

namespace sheen {
namespace {

std::wstring RemovalText(const StyleScriptOutcome& outcome) {
    if (outcome.noManifest)
        return L"There is no manifest beside the program: nothing was removed.";
    if (outcome.foreignManifest)
        return L"The manifest beside the program is not a style script and was left as it is.";
    if (outcome.unreported)
        return L"The program has no style script any more; the administrator's run did not say "
               L"more.";
    std::wstring text = L"The style script was removed.";
    if (!outcome.backupName.empty())
        text += L"\rThe earlier manifest is back in its place, from " + outcome.backupName + L".";
    if (outcome.touchFailed)
        text += L"\rWindows may notice the change only after a restart.";
    return text;
}

} // namespace

std::wstring StyleScriptOutcomeText(const StyleScriptOutcome& outcome) {
    if (outcome.error != ERROR_SUCCESS)
        return ErrorText(outcome.error);
    if (outcome.action == StyleScriptAction::remove)
        return RemovalText(outcome);
    // One CR alone breaks the line in a message box.
    std::wstring text =
        L"Style script created successfully.\r"
        L"Note: The created script file must be kept in the same directory as the .exe file!";
    if (!outcome.backupName.empty())
        text += L"\rThe earlier manifest was kept as " + outcome.backupName + L".";
    if (outcome.embeddedManifestWins) {
        text += L"\rWindows uses the program's own embedded manifest instead of this file.";
        if (outcome.alreadyStyled)
            text += L"\rThe program's own manifest already gives it the visual style.";
    }
    if (outcome.touchFailed)
        text += L"\rWindows may use the script only after a restart.";
    return text;
}

} // namespace sheen
