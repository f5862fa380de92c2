#pragma once

#include <windows.h>

#include <string>

namespace sheen {

// The system's own description of a Win32 error code, without the trailing
// line break FormatMessageW adds.
std::wstring ErrorText(DWORD code);

} // namespace sheen
