#pragma once
// Shell shortcuts (.lnk), which stand for the file they point to.

#include <optional>
#include <string>

namespace sheen {

// Whether `path` names a shell shortcut: its extension is .lnk.
bool IsShortcut(const std::wstring& path);

// The file the shortcut at `shortcut` points to, or nothing when it cannot be
// read, its target is gone or is a folder, or either path leads to no drive or
// share (see CheckNewFileName). Resolving shows nothing, searches nowhere and
// changes no file. COM and the shell link's DLLs load only when a shortcut is
// first resolved.
std::optional<std::wstring> ShortcutTarget(const std::wstring& shortcut);

// The file `path` stands for, as a file dialog takes it: a shortcut's target
// (nothing when it leads to no file), any other path as it is.
std::optional<std::wstring> FollowShortcut(const std::wstring& path);

} // namespace sheen
