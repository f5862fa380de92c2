#include "platform/file_output.h"

#include "platform/file_name.h"
#include "platform/number_text.h"
#include "platform/unique_handle.h"

namespace sheen {
namespace {

// Virus scanners and indexers open new files for a moment; a sharing
// violation then passes within a fraction of a second.
constexpr int kAttempts = 20;
constexpr DWORD kPauseMs = 50;

// Whether a denied access may pass by itself: Windows reports a file that a
// scanner is just holding or deleting so to a rename that moves or replaces it.
enum class AccessDenied { stays, mayPass };

// Runs `step` again while it fails in a way that passes by itself.
template <typename Step> DWORD Retrying(AccessDenied accessDenied, Step step) {
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

// What a rename does with a file already at its destination.
enum class IfExisting { replace, fail };

// Earlier files are read and copied this much at a time, however large they are.
constexpr DWORD kChunk = 4096;

// An existing file, shared with everyone, opened for reading, and its size.
struct FileToRead {
    UniqueFile file;
    ULONGLONG size = 0;
};

DWORD OpenToRead(const std::wstring& path, FileToRead& opened) {
    opened.file.reset(::CreateFileW(path.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!opened.file)
        return ::GetLastError();
    LARGE_INTEGER size = {};
    if (!::GetFileSizeEx(opened.file.get(), &size))
        return ::GetLastError();
    opened.size = static_cast<ULONGLONG>(size.QuadPart);
    return ERROR_SUCCESS;
}

// Reads `file` from its first byte, one chunk at a time, handing each to
// `take`, until the end or until `take` returns false.
template <typename Take> DWORD ReadInChunks(HANDLE file, Take take) {
    if (!::SetFilePointerEx(file, LARGE_INTEGER{}, nullptr, FILE_BEGIN))
        return ::GetLastError();
    char chunk[kChunk];
    for (;;) {
        DWORD read = 0;
        if (!::ReadFile(file, chunk, kChunk, &read, nullptr))
            return ::GetLastError();
        if (read == 0 || !take(std::string_view(chunk, read)))
            return ERROR_SUCCESS;
    }
}

// Whether two files of the same size hold the same bytes; a read that fails
// counts as a difference.
bool SameBytes(HANDLE one, HANDLE other) {
    bool same = true;
    const DWORD error = ReadInChunks(one, [&](std::string_view chunk) {
        char theirs[kChunk];
        DWORD read = 0;
        same = ::ReadFile(other, theirs, static_cast<DWORD>(chunk.size()), &read, nullptr) &&
               std::string_view(theirs, read) == chunk;
        return same;
    });
    return error == ERROR_SUCCESS && same;
}

// The folder part of a full path, separator included, so that the temporary
// file lands on the same volume as its destination.
std::wstring FolderPrefix(const std::wstring& path) {
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

// A temporary file that is deleted again unless it was renamed into place.
class TemporaryFile {
  public:
    TemporaryFile() = default;
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        file_.reset();
        if (!path_.empty())
            ::DeleteFileW(path_.c_str());
    }

    // Creates a file of a name nobody else uses in the folder of `destination`.
    DWORD Create(const std::wstring& destination) {
        const std::wstring folder = FolderPrefix(destination);
        const DWORD seed = ::GetTickCount() ^ (::GetCurrentProcessId() << 16);
        for (DWORD attempt = 0; attempt < 64; ++attempt) {
            std::wstring candidate = folder + L"~sw" + HexText(seed + attempt, 8) + L".tmp";
            file_.reset(::CreateFileW(candidate.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
            if (file_) {
                path_ = std::move(candidate);
                return ERROR_SUCCESS;
            }
            const DWORD error = ::GetLastError();
            if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
                return error;
        }
        return ERROR_FILE_EXISTS;
    }

    // Writes all of `bytes` after what was written before.
    DWORD Write(std::string_view bytes) {
        DWORD written = 0;
        if (!::WriteFile(file_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                         nullptr))
            return ::GetLastError();
        // A disk file takes all of a write or fails; anything short means no room.
        return written == bytes.size() ? ERROR_SUCCESS : ERROR_HANDLE_DISK_FULL;
    }

    // Forces what was written to the disk, and closes the file.
    DWORD Close() {
        if (!::FlushFileBuffers(file_.get()))
            return ::GetLastError();
        if (!::CloseHandle(file_.release()))
            return ::GetLastError();
        return ERROR_SUCCESS;
    }

    // With IfExisting::fail, an existing destination stays and the rename
    // fails with ERROR_ALREADY_EXISTS (or ERROR_FILE_EXISTS): a check that no
    // other process can slip in front of. A scanner that holds the fresh file
    // is waited out.
    DWORD RenameTo(const std::wstring& destination, IfExisting ifExisting) {
        const DWORD flags = MOVEFILE_WRITE_THROUGH |
                            (ifExisting == IfExisting::replace ? MOVEFILE_REPLACE_EXISTING : 0);
        return Retrying(AccessDenied::mayPass, [&] {
            if (!::MoveFileExW(path_.c_str(), destination.c_str(), flags))
                return ::GetLastError();
            path_.clear();
            return DWORD(ERROR_SUCCESS);
        });
    }

  private:
    std::wstring path_;
    UniqueFile file_;
};

// Refuses an existing destination that the rename must not or cannot replace.
// Windows already refuses to rename over a read-only file, but Wine does not,
// and an administrator's open ignores the attribute: check it here.
bool IsReadOnlyOrFolder(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY));
}

DWORD CheckReplaceable(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return ERROR_SUCCESS; // absent, or a path the create step will report on
    if (IsReadOnlyOrFolder(attributes))
        return ERROR_ACCESS_DENIED;
    // Open it the way the replacement needs it, sharing everything, to learn
    // whether another process holds it without sharing.
    const UniqueFile existing(::CreateFileW(path.c_str(), GENERIC_WRITE | DELETE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                            nullptr));
    return existing ? ERROR_SUCCESS : ::GetLastError();
}

// Enough for anyone who keeps every earlier manifest; past it, giving up is
// safer than searching on.
constexpr int kBackupNames = 999;

// A copy of a file's earlier bytes under the first free one of the names
// <path>.bak, <path>.bak2, <path>.bak3, ...; a backup that already holds
// exactly those bytes serves as it is.
class Backup {
  public:
    // Keeps what `earlier`, open for reading, holds: `size` bytes.
    DWORD Keep(const std::wstring& path, HANDLE earlier, ULONGLONG size) {
        TemporaryFile temporary;
        bool written = false;
        for (int number = 1; number <= kBackupNames; ++number) {
            std::wstring candidate;
            // The longer name may need the \\?\ form where the file's own did not.
            if (const DWORD error = FullPathForCreate(
                    path + L".bak" + (number > 1 ? DecimalText(number) : L""), candidate))
                return error;
            FileToRead held;
            const DWORD open = OpenToRead(candidate, held);
            if (open == ERROR_SUCCESS && held.size == size && SameBytes(earlier, held.file.get())) {
                path_ = std::move(candidate);
                return ERROR_SUCCESS;
            }
            if (open != ERROR_FILE_NOT_FOUND)
                continue; // other bytes, a folder, or a file held by another: taken
            if (!written) {
                if (const DWORD error = Copy(earlier, temporary, path))
                    return error;
                written = true;
            }
            const DWORD error = temporary.RenameTo(candidate, IfExisting::fail);
            if (error == ERROR_SUCCESS) {
                path_ = std::move(candidate);
                made_ = true;
                return ERROR_SUCCESS;
            }
            if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS)
                return error;
        }
        return ERROR_FILE_EXISTS;
    }

    // Takes back a backup this object made, when what it was made for failed.
    void Discard() {
        if (made_)
            ::DeleteFileW(path_.c_str());
        path_.clear();
        made_ = false;
    }

    const std::wstring& path() const { return path_; }

  private:
    // Copies all of `earlier` into a new temporary file beside `path`, flushed and closed.
    static DWORD Copy(HANDLE earlier, TemporaryFile& temporary, const std::wstring& path) {
        if (const DWORD error = temporary.Create(path))
            return error;
        DWORD written = ERROR_SUCCESS;
        const DWORD read = ReadInChunks(earlier, [&](std::string_view chunk) {
            written = temporary.Write(chunk);
            return written == ERROR_SUCCESS;
        });
        if (read != ERROR_SUCCESS)
            return read;
        return written != ERROR_SUCCESS ? written : temporary.Close();
    }

    std::wstring path_;
    bool made_ = false;
};

// Unless the file at `full` is absent, already holds `bytes`, or holds what
// `needsNoBackup` accepts, makes `backup` keep what it holds.
DWORD KeepEarlier(const std::wstring& full, std::string_view bytes, NeedsNoBackup needsNoBackup,
                  Backup& backup) {
    FileToRead earlier;
    const DWORD open = Retrying(AccessDenied::stays, [&] { return OpenToRead(full, earlier); });
    if (open == ERROR_FILE_NOT_FOUND || open == ERROR_PATH_NOT_FOUND)
        return ERROR_SUCCESS;
    if (open != ERROR_SUCCESS)
        return open;
    // Only a file that could hold `bytes`, or one small enough to be shown to
    // `needsNoBackup`, is read whole.
    if (earlier.size == bytes.size() || (needsNoBackup && earlier.size <= kChunk)) {
        std::string held;
        const DWORD read = ReadInChunks(earlier.file.get(), [&](std::string_view chunk) {
            held.append(chunk.substr(0, static_cast<size_t>(earlier.size) - held.size()));
            return held.size() < earlier.size;
        });
        if (read != ERROR_SUCCESS)
            return read;
        if (held == bytes || (needsNoBackup && needsNoBackup(held)))
            return ERROR_SUCCESS;
    }
    return backup.Keep(full, earlier.file.get(), earlier.size);
}

DWORD WriteInPlaceOf(const std::wstring& full, std::string_view bytes) {
    TemporaryFile temporary;
    if (const DWORD error = temporary.Create(full))
        return error;
    if (const DWORD error = temporary.Write(bytes))
        return error;
    if (const DWORD error = temporary.Close())
        return error;
    return temporary.RenameTo(full, IfExisting::replace);
}

} // namespace

bool RefusesToReplace(const std::wstring& path) {
    std::wstring full;
    return FullPathForCreate(path, full) == ERROR_SUCCESS &&
           IsReadOnlyOrFolder(::GetFileAttributesW(full.c_str()));
}

DWORD ReplaceFileContents(const std::wstring& path, std::string_view bytes, std::wstring* keptAs,
                          NeedsNoBackup needsNoBackup) {
    if (const DWORD error = CheckNewFileName(path))
        return error;
    std::wstring full;
    if (const DWORD error = FullPathForCreate(path, full))
        return error;
    // A read-only file or a folder stays so; only a sharing violation passes.
    if (const DWORD error = Retrying(AccessDenied::stays, [&] { return CheckReplaceable(full); }))
        return error;
    Backup backup;
    if (keptAs) {
        if (const DWORD error = KeepEarlier(full, bytes, needsNoBackup, backup))
            return error;
    }
    if (const DWORD error = WriteInPlaceOf(full, bytes)) {
        backup.Discard(); // the earlier file is still in its place
        return error;
    }
    if (keptAs)
        *keptAs = backup.path();
    return ERROR_SUCCESS;
}

} // namespace sheen
