#pragma once
// Replacing a file whole or not at all, and the steps it is made of: reading
// an existing file a chunk at a time, a temporary file beside the destination
// that one rename puts in its place, and waiting out the scanners and
// indexers that hold a fresh file for a moment.

#include "platform/unique_handle.h"

#include <windows.h>

#include <string>
#include <string_view>

namespace sheen {

// Existing files are read and copied this much at a time, however large they
// are; a small file is one that fits one chunk.
inline constexpr DWORD kFileChunk = 4096;

// Whether a denied access may pass by itself: Windows reports a file that a
// scanner is just holding or deleting so to a rename that moves or replaces it.
enum class AccessDenied { stays, mayPass };

// Runs `step` again while it fails in a way that passes by itself.
template <typename Step> DWORD Retrying(AccessDenied accessDenied, Step step) {
    // Virus scanners and indexers open new files for a moment; a sharing
    // violation then passes within a fraction of a second.
    constexpr int kAttempts = 20;
    constexpr DWORD kPauseMs = 50;
    DWORD error = ERROR_SUCCESS;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        error = step();
        const bool passes = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
                            (accessDenied == AccessDenied::mayPass && error == ERROR_ACCESS_DENIED);
        if (!passes)
            return error;
        ::Sleep(kPauseMs);
    }
    return error;
}

// An existing file, shared with everyone, opened for reading, and its size.
struct FileToRead {
    UniqueFile file;
    ULONGLONG size = 0;
};

DWORD OpenToRead(const std::wstring& path, FileToRead& opened);

// Reads `file` from its first byte, one chunk at a time, handing each to
// `take`, until the end or until `take` returns false.
template <typename Take> DWORD ReadInChunks(HANDLE file, Take take) {
    if (!::SetFilePointerEx(file, LARGE_INTEGER{}, nullptr, FILE_BEGIN))
        return ::GetLastError();
    char chunk[kFileChunk];
    for (;;) {
        DWORD read = 0;
        if (!::ReadFile(file, chunk, kFileChunk, &read, nullptr))
            return ::GetLastError();
        if (read == 0 || !take(std::string_view(chunk, read)))
            return ERROR_SUCCESS;
    }
}

// All of `file`'s bytes; only for one known to be small.
DWORD ReadWhole(const FileToRead& file, std::string& bytes);

// Whether two files of the same size hold the same bytes; a read that fails
// counts as a difference.
bool SameBytes(HANDLE one, HANDLE other);

// What a rename does with a file already at its destination.
enum class IfExisting { replace, fail };

// Creates, opened for reading and writing without sharing, a file of a name
// nobody else uses in the folder of `destination`, and sets `path` to it.
DWORD CreateFileBeside(const std::wstring& destination, UniqueFile& file, std::wstring& path);

// Sets `name` to a name in the folder of `destination` that no file has.
DWORD FreeNameBeside(const std::wstring& destination, std::wstring& name);

// A temporary file that is deleted again unless it was renamed into place.
class TemporaryFile {
  public:
    TemporaryFile() = default;
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile();

    // Creates a file of a name nobody else uses in the folder of `destination`.
    DWORD Create(const std::wstring& destination);
    const std::wstring& path() const { return path_; }
    HANDLE handle() const { return file_.get(); }
    // Writes all of `bytes` after what was written before.
    DWORD Write(std::string_view bytes);
    // Writes all of `source`'s bytes, from its first, a chunk at a time.
    DWORD WriteAllOf(HANDLE source);
    // Forces what was written to the disk, and closes the file; with `stamp`,
    // that becomes its last-write time, which the rename keeps.
    DWORD Close(const FILETIME* stamp = nullptr);
    // With IfExisting::fail, an existing destination stays and the rename
    // fails with ERROR_ALREADY_EXISTS (or ERROR_FILE_EXISTS): a check that no
    // other process can slip in front of. A scanner that holds the fresh file
    // is waited out.
    DWORD RenameTo(const std::wstring& destination, IfExisting ifExisting);

  private:
    std::wstring path_;
    UniqueFile file_;
};

// ERROR_ACCESS_DENIED for an existing file at `path` that is read-only or a
// folder, which the rename must not or cannot replace, or the error of
// opening it as a replacement needs (another process holding it without
// sharing); ERROR_SUCCESS otherwise, an absent file included.
DWORD CheckReplaceable(const std::wstring& path);

// `path` made full, when creating it would make an ordinary file (see CheckNewFileName).
DWORD FullPathOfOrdinaryFile(const std::wstring& path, std::wstring& full);

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

// Opens the file at `full` and reads all of it, when it holds at most one
// chunk; ERROR_FILE_TOO_LARGE otherwise.
DWORD ReadSmall(const std::wstring& full, FileToRead& file, std::string& bytes);

// Sets `bytes` to all of the file at `path`, checked as PrepareReplacement
// checks a name. Returns ERROR_SUCCESS, ERROR_FILE_TOO_LARGE beyond 4 KiB, or
// the error of reading.
DWORD ReadSmallFile(const std::wstring& path, std::string& bytes);

// Whether PrepareReplacement refuses the existing `path` whoever asks, an
// administrator too: it is read-only, or a folder.
bool RefusesToReplace(const std::wstring& path);

} // namespace sheen
