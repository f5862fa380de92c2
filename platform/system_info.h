#pragma once

#include <windows.h>

namespace sheen {

// The version numbers exactly as the system reports them, before any checking.
struct OsVersion {
    DWORD platformId;
    DWORD major;
    DWORD minor;
    DWORD build;
};

// Whether `os` is of the Windows NT family in version major.minor or later.
inline bool IsAtLeast(const OsVersion& os, DWORD major, DWORD minor) {
    return os.platformId == VER_PLATFORM_WIN32_NT &&
           (os.major > major || (os.major == major && os.minor >= minor));
}

// Sets `os` to the version of the running system. Returns ERROR_SUCCESS or
// the error of asking, when the system will not tell.
DWORD ReadOsVersion(OsVersion& os);

} // namespace sheen
