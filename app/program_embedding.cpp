#include "app/program_embedding.h"

#include "app/fault_injection.h"
#include "platform/win32_error.h"
#include "stylescript/program_update.h"

#include <exception>

namespace sheen {
namespace {

void AfterCopyWritten() {
    InjectStall("ProgramCopyWritten");
    InjectFault("ProgramCopyWritten");
}

// A dependency the side-by-side loader cannot find, in a manifest still well-formed.
void SpoilManifest(std::string& merged) {
    if (!FaultNamed("SpoilMergedManifest"))
        return;
    const size_t token = merged.find("6595b64144ccf1df");
    if (token != std::string::npos)
        merged.replace(token, 16, "0000000000000000");
}

} // namespace

StyleScriptOutcome CarryOutRequest(StyleScriptAction action, const std::wstring& targetPath) {
    try {
        if (action == StyleScriptAction::embed)
            return AddStyleToProgram(targetPath,
                                     {&AfterCopyWritten, &SpoilManifest, ReplaceStandIn()});
        return CarryOutStyleScript(action, targetPath);
    } catch (...) {
        return StyleScriptFailure(action, ErrorCodeOf(std::current_exception()));
    }
}

std::wstring EmbeddingQuestion(const std::wstring& backupName) {
    return L"Do you want Sheenwright to add the visual style to the program's own manifest? "
           L"The program as it is now is kept as " +
           (backupName.empty() ? std::wstring(L"a backup beside it") : backupName) + L".";
}

} // namespace sheen
