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
//
// The new file then takes the last-write time of the backup a removal is to
// put back (see RemoveFileContents): the one kept or reused now, or, when the
// replaced file needed none, the one that had that file's time, if any.
using NeedsNoBackup = bool (*)(std::string_view earlier);
DWORD ReplaceFileContents(const std::wstring& path, std::string_view bytes,
                          std::wstring* keptAs = nullptr, NeedsNoBackup needsNoBackup = nullptr);

// Takes the file at `path` away again when `removable` accepts its bytes
// (shown only when they fit 4 KiB): the backup with the same last-write time,
// the one the last ReplaceFileContents kept, reused or carried over for it,
// takes its place in one rename, so that a failure leaves one or the other;
// without one, the file is deleted. `restoredFrom` receives that backup's path
// (its name is free again), or nothing. Refused before anything changes, as
// by ReplaceFileContents: a name that would not make an ordinary file, and a
// file or such a backup that is read-only, a folder, or held open without
// sharing. Returns ERROR_SUCCESS; ERROR_FILE_NOT_FOUND when there is no file;
// ERROR_INVALID_DATA when `removable` refuses it (then it, and every backup,
// stays as it is); or the code of the first error, with nothing changed.
DWORD RemoveFileContents(const std::wstring& path, NeedsNoBackup removable,
                         std::wstring& restoredFrom);

// Sets `backup` to the path of the backup RemoveFileContents would put back
// for the existing file at `path`, or to nothing. Returns ERROR_SUCCESS or the
// error of asking.
DWORD FindRestorableBackup(const std::wstring& path, std::wstring& backup);

// Sets `bytes` to all of the file at `path`, checked as ReplaceFileContents
// checks a name. Returns ERROR_SUCCESS, ERROR_FILE_TOO_LARGE beyond 4 KiB, or
// the error of reading.
DWORD ReadSmallFile(const std::wstring& path, std::string& bytes);

// Copies all of the file at `path`, flushed, to the first of <path>.bak,
// <path>.bak2, ... that is free, or that already holds exactly its bytes, as
// ReplaceFileContents keeps an earlier file; `keptAs` receives the backup's
// path and `made` whether it is new. Returns ERROR_SUCCESS or the first error.
DWORD KeepBackupOf(const std::wstring& path, std::wstring& keptAs, bool& made);

// Sets `name` to the path KeepBackupOf would keep the file at `path` under now.
DWORD NextBackupPath(const std::wstring& path, std::wstring& name);

// Whether `name` is `base` followed by .bak or .bak<N>: a backup's name.
bool IsBackupName(std::wstring_view name, std::wstring_view base);

// Whether ReplaceFileContents refuses the existing `path` whoever asks, an
// administrator too: it is read-only, or a folder.
bool RefusesToReplace(const std::wstring& path);

} // namespace sheen
