#pragma once
// Shell shortcuts (.lnk), which stand for the file they point to.

#include <windows.h>

#include <string>

namespace sheen {

// Whether `path` names a shell shortcut: its extension is .lnk.
bool IsShortcut(const std::wstring& path);

// Sets `target` to the file the shortcut at `shortcut` points to. Returns
// ERROR_SUCCESS, or why there is none: the shortcut's own error when it
// cannot be read (ERROR_ACCESS_DENIED, ...; ERROR_BAD_FORMAT when it is no
// shortcut; the error of COM), ERROR_FILE_NOT_FOUND when its target is gone or
// is a folder, ERROR_INVALID_NAME when either path leads to no drive or share
// (see CheckNewFileName). Resolving shows nothing, searches nowhere and
// changes no file. COM and the shell link's DLLs load only when a shortcut is
// first resolved.
DWORD ShortcutTarget(const std::wstring& shortcut, std::wstring& target);

// Sets `file` to the file `path` stands for, as a file dialog takes it: a
// shortcut's target (see ShortcutTarget, whose error it returns), any other
// path as it is.
DWORD FollowShortcut(const std::wstring& path, std::wstring& file);

} // namespace sheen
