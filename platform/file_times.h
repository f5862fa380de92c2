#pragma once

#include <windows.h>

#include <string>

namespace sheen {

// Sets the last-write time of the file at `path` to now, without opening its
// contents: only FILE_WRITE_ATTRIBUTES is asked for, and everything is shared,
// so a running program can be touched too. Returns ERROR_SUCCESS or the code
// of the error.
DWORD TouchLastWriteTime(const std::wstring& path);

// Sets `written` to the last-write time of the file at `path`, asked of its
// folder's entry without opening the file, or of the open `file`.
DWORD LastWriteTimeOf(const std::wstring& path, FILETIME& written);
DWORD LastWriteTimeOf(HANDLE file, FILETIME& written);

// Whether two file times are the same to the 100 ns, as CompareFileTime
// finds them; without it, so that the comparison needs no system call.
inline bool SameFileTime(const FILETIME& one, const FILETIME& other) {
    return one.dwLowDateTime == other.dwLowDateTime && one.dwHighDateTime == other.dwHighDateTime;
}

} // namespace sheen
