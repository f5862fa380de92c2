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

// The version of the running system. Throws std::runtime_error if the system
// will not tell.
OsVersion ReadOsVersion();

} // namespace sheen
