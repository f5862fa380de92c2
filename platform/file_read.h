#pragma once
// Reading an existing file a chunk at a time, however large it is, and whole
// only when it is known to be small.

#include "platform/unique_handle.h"

#include <windows.h>

#include <string>
#include <string_view>

namespace sheen {

// Files are read and copied this much at a time; a small file is one that
// fits one chunk.
inline constexpr DWORD kFileChunk = 4096;

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

// Whether two open files hold the same bytes, sizes included; a read that
// fails counts as a difference.
bool SameBytes(HANDLE one, HANDLE other);

// SameBytes for the files at two paths; one that cannot be opened says no.
bool SameFileBytes(const std::wstring& one, const std::wstring& other);

// Opens the file at `full` and reads all of it, when it holds at most one
// chunk; ERROR_FILE_TOO_LARGE otherwise. A scanner that holds it is waited out.
DWORD ReadSmall(const std::wstring& full, FileToRead& file, std::string& bytes);

// Sets `bytes` to all of the file at `path`, checked as PrepareReplacement
// checks a name. Returns ERROR_SUCCESS, ERROR_FILE_TOO_LARGE beyond 4 KiB, or
// the error of reading.
DWORD ReadSmallFile(const std::wstring& path, std::string& bytes);

} // namespace sheen
