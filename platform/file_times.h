#pragma once

#include <windows.h>

#include <string>

namespace sheen {

// Sets the last-write time of the file at `path` to now, without opening its
// contents: only FILE_WRITE_ATTRIBUTES is asked for, and everything is shared,
// so a running program can be touched too. Returns ERROR_SUCCESS or the code
// of the error.
DWORD TouchLastWriteTime(const std::wstring& path);

} // namespace sheen
