#include "app/outcome_text.h"

#include "platform/error_text.h"
#include "platform/resource_writer.h"
#include "stylescript/manifest_merge.h"
#include "stylescript/program_update.h"

namespace sheen {
namespace {

struct Refusal {
    DWORD error;
    const wchar_t* text;
};

// Why a program's own manifest was not changed, or not taken back.
constexpr Refusal kRefusals[] = {
    {kSignedProgram, L"The program carries a digital signature, which the change would break: "
                     L"it was left as it is."},
    {kDotNetProgram, L"The program is a .NET program, whose own manifest Sheenwright does not "
                     L"change: it was left as it is."},
    {kDataAfterSections, L"The program carries data after its last section (an installer or a "
                         L"self-extracting archive, for example), which the change would lose: "
                         L"it was left as it is."},
    {kResourcesShareSection, L"The program keeps other data that Windows reads in its "
                             L"resources' section, which the change would disturb: it was left "
                             L"as it is."},
    {kSectionAfterResources, L"The program has other sections after its resources, which the "
                             L"change would have to move: it was left as it is."},
    {kReadOnlyProgram, L"The program is read-only: it was left as it is."},
    {ERROR_SHARING_VIOLATION, L"The program is running or open in another program: it was left "
                              L"as it is."},
    {kUnreadableManifest, L"The program's own manifest cannot be read as XML: the program was "
                          L"left as it is."},
    {kCheckAfterChangeFailed, L"The changed program did not read back as intended, so nothing "
                              L"was changed: the program was left as it is."},
    {kProgramChangedSince, L"The program has changed since Sheenwright added the visual style "
                           L"to it, so its earlier copy was not put back: nothing was removed."},
};

// The sentence for an error of the program's own manifest; null for others.
const wchar_t* RefusalText(const StyleScriptOutcome& outcome) {
    // A Create's errors are the script's; a removal's sharing violation may be
    // the manifest's, which the system's words leave open.
    if (outcome.action == StyleScriptAction::create ||
        (outcome.action == StyleScriptAction::remove && outcome.error == ERROR_SHARING_VIOLATION))
        return nullptr;
    for (const Refusal& refusal : kRefusals) {
        if (refusal.error == outcome.error)
            return refusal.text;
    }
    return nullptr;
}

std::wstring EmbeddingText(const StyleScriptOutcome& outcome) {
    if (outcome.programBackupName.empty())
        return L"The program's own manifest already gives it the visual style.";
    return L"The visual style was added to the program's own manifest.\r"
           L"The program as it was is kept as " +
           outcome.programBackupName + L".";
}

std::wstring RemovalText(const StyleScriptOutcome& outcome) {
    // The program Sheenwright changed comes back whatever is beside it.
    const std::wstring program =
        outcome.programBackupName.empty()
            ? L""
            : L"The program is back as it was, from " + outcome.programBackupName + L".";
    if (outcome.noManifest)
        return program.empty() ? L"There is no manifest beside the program: nothing was removed."
                               : program;
    if (outcome.foreignManifest)
        return L"The manifest beside the program is not a style script and was left as it is." +
               (program.empty() ? L"" : L"\r" + program);
    if (outcome.unreported)
        return L"The program has no style script any more; the administrator's run did not say "
               L"more.";
    std::wstring text = L"The style script was removed.";
    if (!outcome.backupName.empty())
        text += L"\rThe earlier manifest is back in its place, from " + outcome.backupName + L".";
    if (!program.empty())
        text += L"\r" + program;
    if (outcome.touchFailed)
        text += L"\rWindows may notice the change only after a restart.";
    return text;
}

} // namespace

std::wstring StyleScriptOutcomeText(const StyleScriptOutcome& outcome) {
    if (outcome.error != ERROR_SUCCESS) {
        const wchar_t* refused = RefusalText(outcome);
        return refused ? refused : ErrorText(outcome.error);
    }
    if (outcome.action == StyleScriptAction::remove)
        return RemovalText(outcome);
    if (outcome.action == StyleScriptAction::embed)
        return EmbeddingText(outcome);
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
