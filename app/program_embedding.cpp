#include "app/program_embedding.h"

#include "app/fault_injection.h"
#include "platform/win32_error.h"
#include "stylescript/program_update.h"

#include <exception>

namespace sheen {
namespace {

void AfterCopyWritten() {
    InjectFault("ProgramCopyWritten");
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

std::wstring EmbeddingQuestion(const std::wstring& backupName) {
    return L"Do you want Sheenwright to add the visual style to the program's own manifest? "
           L"The program as it is now is kept as " +
           (backupName.empty() ? std::wstring(L"a backup beside it") : backupName) + L".";
}

} // namespace sheen
