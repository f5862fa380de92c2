#include "app/program_embedding.h"

#include "app/fault_injection.h"
#include "platform/win32_error.h"
#include "stylescript/manifest_merge.h"
#include "stylescript/program_update.h"

#include <exception>

namespace sheen {
namespace {

void AfterCopyWritten() {
    InjectFault("ProgramCopyWritten");
}

struct Refusal {
    DWORD error;
    const wchar_t* text;
};

constexpr Refusal kRefusals[] = {
    {kSignedProgram, L"The program carries a digital signature, which the change would break: "
                     L"it was left as it is."},
    {kDotNetProgram, L"The program is a .NET program, whose own manifest Sheenwright does not "
                     L"change: it was left as it is."},
    {kDataAfterSections, L"The program carries data after its last section (an installer or a "
                         L"self-extracting archive, for example), which the change would lose: "
                         L"it was left as it is."},
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

const wchar_t* RefusalText(const StyleScriptOutcome& outcome) {
    // A removal's sharing violation may be the manifest's: the system says which.
    if (outcome.action == StyleScriptAction::remove && outcome.error == ERROR_SHARING_VIOLATION)
        return nullptr;
    for (const Refusal& refusal : kRefusals) {
        if (refusal.error == outcome.error)
            return refusal.text;
    }
    return nullptr;
}

} // namespace

StyleScriptOutcome CarryOutRequest(StyleScriptAction action, const std::wstring& targetPath) {
    try {
        if (action == StyleScriptAction::embed)
            return AddStyleToProgram(targetPath, &AfterCopyWritten);
        return CarryOutStyleScript(action, targetPath);
    } catch (...) {
        return StyleScriptFailure(action, ErrorCodeOf(std::current_exception()));
    }
}

std::wstring OutcomeText(const StyleScriptOutcome& outcome) {
    if (outcome.action != StyleScriptAction::create && outcome.error != ERROR_SUCCESS) {
        if (const wchar_t* refused = RefusalText(outcome))
            return refused;
    }
    if (outcome.action != StyleScriptAction::embed) {
        std::wstring text = StyleScriptOutcomeText(outcome);
        if (!outcome.programBackupName.empty())
            text += L"\rThe program is back as it was, from " + outcome.programBackupName + L".";
        return text;
    }
    if (outcome.error != ERROR_SUCCESS)
        return StyleScriptOutcomeText(outcome);
    if (outcome.programBackupName.empty())
        return L"The program's own manifest already gives it the visual style.";
    return L"The visual style was added to the program's own manifest.\r"
           L"The program as it was is kept as " +
           outcome.programBackupName + L".";
}

std::wstring EmbeddingQuestion(const std::wstring& backupName) {
    return L"Do you want Sheenwright to add the visual style to the program's own manifest? "
           L"The program as it is now is kept as " +
           (backupName.empty() ? std::wstring(L"a backup beside it") : backupName) + L".";
}

} // namespace sheen
