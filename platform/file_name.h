#pragma once
// What makes a path safe to create a file at, and the form to open it by.

#include <windows.h>

#include <string>
#include <string_view>

namespace sheen {

// The extended-length form's prefix, as in \\?\C:\... and \\?\UNC\server\...
inline constexpr std::wstring_view kExtendedPrefix = L"\\\\?\\";

// A path parted after its last separator: the folder, that separator
// included, and the name; "C:name", a name in drive C's current folder, parts
// after the colon.
struct PathParts {
    std::wstring_view folder;
    std::wstring_view name;
};
PathParts SplitPath(std::wstring_view path);

// ERROR_INVALID_NAME when creating `path` could not make an ordinary file of
// exactly that name: a reserved device name (CON, NUL, COM1, ... with any
// extension opens the device and stores nothing), characters Windows forbids
// in a name (which could also address a stream of another file), a UTF-16
// surrogate without its partner, or a path that leads to no drive or share
// (\\.\ devices, \\?\pipe\ and \\?\GLOBALROOT\, a server's pipes and mailslots);
// \\?\C:\, \\?\UNC\ and \\?\Volume{...}\ are fine. ERROR_SUCCESS otherwise.
// Nothing is opened: check a path here before opening it.
DWORD CheckNewFileName(const std::wstring& path);

// ERROR_SUCCESS when `path` names an existing file, not a folder, on a drive
// or share; ERROR_INVALID_NAME where CheckNewFileName refuses it (then nothing
// is asked of the file system), ERROR_FILE_NOT_FOUND for a folder, else the
// error of asking for its attributes (ERROR_FILE_NOT_FOUND, _PATH_NOT_FOUND,
// ERROR_ACCESS_DENIED, ...).
DWORD CheckExistingFile(const std::wstring& path);

// Sets `full` to `path` resolved against the current directory, in the
// extended-length form (\\?\) when it is too long for the plain one, so that
// long paths are written whole instead of failing or being cut. Returns
// ERROR_SUCCESS or the error's code.
DWORD FullPathForCreate(const std::wstring& path, std::wstring& full);

// `path` made full, when creating it would make an ordinary file (see CheckNewFileName).
DWORD FullPathOfOrdinaryFile(const std::wstring& path, std::wstring& full);

// Sets `longPath` to the existing `path` with each short (8.3) name in it
// given in full, as the file system stores it; a name that is long already
// stays as written. Returns ERROR_SUCCESS or the error of asking.
DWORD LongPathOf(const std::wstring& path, std::wstring& longPath);

} // namespace sheen
