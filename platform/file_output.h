#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace sheen {

// Makes the file at `path` hold exactly `bytes`, or leaves it as it was.
//
// The bytes go to a new temporary file in the same folder, are flushed to the
// disk, and the temporary file then takes the place of `path` in one rename, so
// a failure at any step can never leave a truncated file behind. Refused before
// anything is written: a name that would not make an ordinary file (see
// CheckNewFileName), and an existing file that is read-only, a folder, or held
// open without sharing (after a short wait, in case that passes). Relative
// paths resolve against the current directory. Returns ERROR_SUCCESS or the
// code of the first error; no temporary file survives a failure.
//
// With `keptAs`, an existing file with other bytes is first copied, and
// flushed, to the first of <path>.bak, <path>.bak2, ... that is free, or that
// already holds exactly those bytes; an existing backup is never overwritten.
// If that fails, nothing is replaced; if the replacement fails, a backup made
// for it is removed again. `*keptAs` receives the backup's path (in the form
// written, \\?\ for long ones), or nothing when none was needed. Files are
// compared by size first and read a chunk at a time: however large an earlier
// file or a backup, neither is held in memory.
//
// Earlier bytes that `needsNoBackup` accepts, as what the caller itself wrote
// before, are replaced without a backup. It is shown an earlier file only
// when that fits one read of 4 KiB.
using NeedsNoBackup = bool (*)(std::string_view earlier);
DWORD ReplaceFileContents(const std::wstring& path, std::string_view bytes,
                          std::wstring* keptAs = nullptr, NeedsNoBackup needsNoBackup = nullptr);

// Whether ReplaceFileContents refuses the existing `path` whoever asks, an
// administrator too: it is read-only, or a folder.
bool RefusesToReplace(const std::wstring& path);

} // namespace sheen
