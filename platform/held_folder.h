#pragma once
// A folder held open by its handle. Whatever path led to it, the handle tells
// which folder it is; and while it is held without sharing its deletion,
// Windows lets no one rename or delete it, or a folder above it.

#include "platform/unique_handle.h"

#include <windows.h>

#include <string>

namespace sheen {

// Which folder it is: the same on every path that leads to it.
struct FolderIdentity {
    DWORD volume = 0;   // the volume's serial number
    ULONGLONG file = 0; // the folder's file index on that volume
    friend bool operator==(const FolderIdentity&, const FolderIdentity&) = default;
};

class HeldFolder {
  public:
    // Opens the folder at `path`, following any link on the way, and sets
    // `identity` to which folder it is. Returns ERROR_SUCCESS or the error
    // (ERROR_DIRECTORY for a file).
    DWORD Open(const std::wstring& path, FolderIdentity& identity);
    // Sets `path` to the folder's path with every link resolved, as the
    // system gives it (\\?\C:\... or \\?\UNC\server\share\...), with no
    // trailing backslash. ERROR_PROC_NOT_FOUND where the system cannot tell
    // (Windows XP and Server 2003).
    DWORD FinalPath(std::wstring& path) const;

  private:
    UniqueFile folder_;
};

} // namespace sheen
