#pragma once
// The style script's undo: what a Create displaced is kept as <manifest>.bak
// (or .bak2, ...), and a removal puts back exactly that one. The link between
// the two is the last-write time: the manifest written takes the time of the
// backup a removal is to restore, and keeps it until the next write. Where
// that link is lost (1.00 wrote none; a copy may not keep times), the
// highest-numbered backup is the one the latest Create made.

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace sheen {

// Whether bytes are what the caller itself wrote before: replaced without a
// backup, and the only thing a removal takes away. Shown only bytes that fit
// one read of 4 KiB.
using IsOwnScript = bool (*)(std::string_view bytes);

// Makes the file at `path` hold exactly `bytes`, or leaves it as it was (see
// PrepareReplacement and WriteInPlaceOf). Returns ERROR_SUCCESS or the code
// of the first error; no temporary file survives a failure.
//
// With `keptAs`, an existing file with other bytes is first copied, and
// flushed, to the first of <path>.bak, <path>.bak2, ... that is free, or that
// already holds exactly those bytes; an existing backup is never overwritten.
// If that fails, nothing is replaced; if the replacement fails, a backup made
// for it is removed again. `*keptAs` receives the backup's path (in the form
// written, \\?\ for long ones), or nothing when none was needed. Files are
// compared by size first and read a chunk at a time: however large an earlier
// file or a backup, neither is held in memory. Earlier bytes that `isOwnScript`
// accepts are replaced without a backup.
//
// The new file then takes the last-write time of the backup a removal is to
// put back (see RemoveFileContents): the one kept or reused now, or, when the
// replaced file needed none, the one that had that file's time, if any.
DWORD ReplaceFileContents(const std::wstring& path, std::string_view bytes,
                          std::wstring* keptAs = nullptr, IsOwnScript isOwnScript = nullptr);

// What a removal found, when it did not fail.
enum class Removal {
    removed,      // the file is gone, or its backup is back in its place
    nothingThere, // there was no file
    notOurs,      // `isOwnScript` refused it: it, and every backup, stays as it is
};

// Takes the file at `path` away again when `isOwnScript` accepts its bytes:
// its backup takes its place in one rename, so that a failure leaves one or
// the other; without one, the file is deleted, and must then be gone or
// pending deletion. The backup is the one with the same last-write time, which
// the last ReplaceFileContents kept, reused or carried over for it; without
// exactly one such, the highest-numbered. A backup that `isOwnScript` accepts
// never comes back. `restoredFrom` receives that backup's path (its name is
// free again), or nothing. Refused before anything changes, as by
// ReplaceFileContents: a name that would not make an ordinary file, and a file
// or such a backup that is read-only, a folder, or held open without sharing.
// Returns ERROR_SUCCESS, with `removal` telling what happened, or the code of
// the first error, with nothing changed.
DWORD RemoveFileContents(const std::wstring& path, IsOwnScript isOwnScript, Removal& removal,
                         std::wstring& restoredFrom);

// Copies all of the file at `path` (any file, a program too), flushed, to
// the first of <path>.bak, <path>.bak2, ... that is free, or that already
// holds exactly its bytes, as ReplaceFileContents keeps an earlier file;
// `keptAs` receives the backup's path and `made` whether it is new. Returns
// ERROR_SUCCESS or the first error.
DWORD KeepBackupOf(const std::wstring& path, std::wstring& keptAs, bool& made);

// Sets `name` to the path KeepBackupOf would keep the file at `path` under now.
DWORD NextBackupPath(const std::wstring& path, std::wstring& name);

// Sets `paths` to the backups of the existing file at `path` (<path>.bak,
// .bak2, ...), highest number first. Returns ERROR_SUCCESS or the error of
// asking.
DWORD ListBackupPaths(const std::wstring& path, std::vector<std::wstring>& paths);

// Sets `backup` to the path of the backup RemoveFileContents would put back
// for the existing file at `path`, or to nothing. Returns ERROR_SUCCESS or the
// error of asking.
DWORD FindRestorableBackup(const std::wstring& path, IsOwnScript isOwnScript, std::wstring& backup);

} // namespace sheen
