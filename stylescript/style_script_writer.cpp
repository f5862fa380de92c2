#include "stylescript/style_script_writer.h"

#include "platform/error_text.h"
#include "platform/file_output.h"
#include "platform/message_box.h"
#include "stylescript/style_script.h"

#include <new>

namespace sheen {

std::wstring StyleScriptPath(const std::wstring& targetPath) {
    return targetPath + L".manifest";
}

DWORD WriteStyleScriptFile(const std::wstring& targetPath) {
    return ReplaceFileContents(StyleScriptPath(targetPath), kStyleScript);
}

std::wstring StyleScriptOutcomeText(DWORD error) {
    if (error != ERROR_SUCCESS)
        return ErrorText(error);
    // One CR alone breaks the line in a message box.
    return L"Style script created successfully.\r"
           L"Note: The created script file must be kept in the same directory as the .exe file!";
}

void WriteStyleScript(HWND owner, const std::wstring& targetPath) {
    DWORD outcome = ERROR_SUCCESS;
    try {
        outcome = WriteStyleScriptFile(targetPath);
    } catch (const std::bad_alloc&) {
        outcome = ERROR_NOT_ENOUGH_MEMORY;
    }
    ShowMessage(owner, StyleScriptOutcomeText(outcome));
}

} // namespace sheen
