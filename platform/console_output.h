#pragma once

#include <windows.h>

#include <string>

namespace sheen {

// Writes `text`, whose lines are parted by lone CRs as in a message box, each
// line ended by CR LF: to standard output when that goes to a file, a pipe or
// a device (as UTF-8), else to the console standard output is, else to the
// console of the process that started this one. Returns ERROR_SUCCESS, or the
// error of the last way tried (with no console to attach to, AttachConsole's).
DWORD WriteOutputLines(const std::wstring& text);

} // namespace sheen
