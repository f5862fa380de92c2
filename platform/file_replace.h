#pragma once
// Replacing a file whole or not at all: the checks before anything is
// written, the rename that puts a new file in place, and a deletion that
// believes only what it sees afterwards. Each waits out the scanners and
// indexers that hold a file for a moment.

#include <windows.h>

#include <string>
#include <string_view>

namespace sheen {

// What a rename does with a file already at its destination.
enum class IfExisting { replace, fail };

// Renames `from` to `to`, through to the disk. With IfExisting::fail, an
// existing destination stays and the rename fails with ERROR_ALREADY_EXISTS
// (or ERROR_FILE_EXISTS): a check that no other process can slip in front of.
DWORD Rename(const std::wstring& from, const std::wstring& to, IfExisting ifExisting);

// Deletes the file at `path`, and believes only what it sees afterwards: the
// file must be gone, or pending deletion while another program still holds it
// (which Windows answers with a denied access). One still there means the
// deletion failed, as seen under Wine in a folder whose entries cannot be
// removed, where DeleteFileW still succeeds.
DWORD DeleteAndLook(const std::wstring& path);

// ERROR_SUCCESS when the existing file at `path` opens with `access` while
// sharing only `share` (and closes again), else the error of opening it.
DWORD CheckOpens(const std::wstring& path, DWORD access, DWORD share,
                 DWORD flags = FILE_ATTRIBUTE_NORMAL);

// ERROR_ACCESS_DENIED for an existing file at `path` that is read-only or a
// folder, which the rename must not or cannot replace, or the error of
// opening it as a replacement needs (another process holding it without
// sharing); ERROR_SUCCESS otherwise, an absent file included.
DWORD CheckReplaceable(const std::wstring& path);

// Sets `full` to `path` made full, and refuses, before anything is written, a
// name that would not make an ordinary file (see CheckNewFileName) and an
// existing file that is read-only, a folder, or held open without sharing
// (after a short wait, in case that passes). Relative paths resolve against
// the current directory.
DWORD PrepareReplacement(const std::wstring& path, std::wstring& full);

// Makes the file at `full` (see PrepareReplacement) hold exactly `bytes`, or
// leaves it as it was: the bytes go to a new temporary file in the same
// folder, are flushed to the disk, and the temporary file then takes the place
// of `full` in one rename, so a failure at any step can never leave a
// truncated file behind, nor a temporary file. With `stamp`, that is the new
// file's last-write time. Returns ERROR_SUCCESS or the code of the first error.
DWORD WriteInPlaceOf(const std::wstring& full, std::string_view bytes,
                     const FILETIME* stamp = nullptr);

// Whether PrepareReplacement refuses the existing `path` whoever asks, an
// administrator too: it is read-only, or a folder.
bool RefusesToReplace(const std::wstring& path);

} // namespace sheen
