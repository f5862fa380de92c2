#pragma once

#include <windows.h>

#include <string>

namespace sheen {

// The style script's file name: the target path with ".manifest" appended,
// nothing trimmed or resolved.
std::wstring StyleScriptPath(const std::wstring& targetPath);

// Writes the style script for `targetPath`: afterwards its manifest holds the
// whole script, or whatever it held before. Returns ERROR_SUCCESS or the code of
// the first error.
DWORD WriteStyleScriptFile(const std::wstring& targetPath);

// What the user is told about an outcome of WriteStyleScriptFile: the success
// note, or the system's own description of the error and nothing else.
std::wstring StyleScriptOutcomeText(DWORD error);

// Writes the style script for `targetPath` and reports the outcome in a modal
// message box owned by `owner`. Never fails towards its caller.
void WriteStyleScript(HWND owner, const std::wstring& targetPath);

} // namespace sheen
