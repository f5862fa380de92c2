#pragma once

#include <windows.h>

#include <string>

namespace sheen {

// A code of the program's own (bit 29 marks one that is not the system's): the
// folder an administrator's run was handed is not the one its path leads to.
inline constexpr DWORD kFolderChangedError = 0x20000000 | 1;

// The system's own description of a Win32 error code, without the trailing
// line break FormatMessageW adds; for the program's own codes, its own words.
std::wstring ErrorText(DWORD code);

} // namespace sheen
