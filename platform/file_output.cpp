#include "platform/file_output.h"

#include "platform/file_name.h"
#include "platform/number_text.h"
#include "platform/unique_handle.h"

#include <optional>

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

// All of `file`'s bytes; only for one known to be small.
DWORD ReadWhole(const FileToRead& file, std::string& bytes) {
    bytes.clear();
    return ReadInChunks(file.file.get(), [&](std::string_view chunk) {
        bytes.append(chunk.substr(0, static_cast<size_t>(file.size) - bytes.size()));
        return bytes.size() < file.size;
    });
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

    // Forces what was written to the disk, and closes the file; with `stamp`,
    // that becomes its last-write time, which the rename keeps.
    DWORD Close(const FILETIME* stamp = nullptr) {
        if (!::FlushFileBuffers(file_.get()))
            return ::GetLastError();
        if (stamp && !::SetFileTime(file_.get(), nullptr, nullptr, stamp))
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
    // whether another process holds it without sharing. A link is what the
    // rename replaces or the deletion takes away, not what it leads to.
    const UniqueFile existing(::CreateFileW(
        path.c_str(), GENERIC_WRITE | DELETE,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
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

// Whether `name` is `base` followed by .bak, or by .bak<N> for N from 2 to
// kBackupNames: the names Backup gives.
bool IsBackupName(std::wstring_view name, std::wstring_view base) {
    constexpr std::wstring_view kBak = L".bak";
    if (name.size() < base.size() + kBak.size() || name.substr(0, base.size()) != base ||
        name.substr(base.size(), kBak.size()) != kBak)
        return false;
    const std::wstring_view number = name.substr(base.size() + kBak.size());
    if (number.empty())
        return true;
    if (number.size() > 3 || number[0] == L'0')
        return false;
    int value = 0;
    for (const wchar_t digit : number) {
        if (digit < L'0' || digit > L'9')
            return false;
        value = value * 10 + (digit - L'0');
    }
    return value >= 2;
}

// Sets `backup` to the backup of the file at `full` whose last-write time is
// `stamp`, or to nothing.
DWORD FindBackupStamped(const std::wstring& full, const FILETIME& stamp, std::wstring& backup) {
    backup.clear();
    const std::wstring folder = FolderPrefix(full);
    const std::wstring base = full.substr(folder.size());
    WIN32_FIND_DATAW found;
    const HANDLE search = ::FindFirstFileW((full + L".bak*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;
    }
    const UniqueHandle<HANDLE, &::FindClose, -1> owner(search);
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            ::CompareFileTime(&found.ftLastWriteTime, &stamp) == 0 &&
            IsBackupName(found.cFileName, base)) {
            backup = folder + found.cFileName;
            return ERROR_SUCCESS;
        }
    } while (::FindNextFileW(search, &found));
    const DWORD error = ::GetLastError();
    return error == ERROR_NO_MORE_FILES ? ERROR_SUCCESS : error;
}

// Unless the file at `full` is absent, already holds `bytes`, or holds what
// `needsNoBackup` accepts, makes `backup` keep what it holds. `stamp` then
// receives the last-write time the new file is to take, so that it names the
// backup a removal puts back: the one kept or reused now, or, where none was
// needed, the replaced file's own, if a backup has it.
DWORD KeepEarlier(const std::wstring& full, std::string_view bytes, NeedsNoBackup needsNoBackup,
                  Backup& backup, std::optional<FILETIME>& stamp) {
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
        if (const DWORD read = ReadWhole(earlier, held))
            return read;
        if (held == bytes || (needsNoBackup && needsNoBackup(held))) {
            FILETIME written;
            std::wstring carried;
            if (::GetFileTime(earlier.file.get(), nullptr, nullptr, &written) &&
                FindBackupStamped(full, written, carried) == ERROR_SUCCESS && !carried.empty())
                stamp = written;
            return ERROR_SUCCESS;
        }
    }
    if (const DWORD error = backup.Keep(full, earlier.file.get(), earlier.size))
        return error;
    WIN32_FILE_ATTRIBUTE_DATA kept;
    if (!::GetFileAttributesExW(backup.path().c_str(), GetFileExInfoStandard, &kept)) {
        const DWORD error = ::GetLastError();
        backup.Discard();
        return error;
    }
    stamp = kept.ftLastWriteTime;
    return ERROR_SUCCESS;
}

DWORD WriteInPlaceOf(const std::wstring& full, std::string_view bytes, const FILETIME* stamp) {
    TemporaryFile temporary;
    if (const DWORD error = temporary.Create(full))
        return error;
    if (const DWORD error = temporary.Write(bytes))
        return error;
    if (const DWORD error = temporary.Close(stamp))
        return error;
    return temporary.RenameTo(full, IfExisting::replace);
}

// `path` made full, when creating it would make an ordinary file (see CheckNewFileName).
DWORD FullPathOfOrdinaryFile(const std::wstring& path, std::wstring& full) {
    if (const DWORD error = CheckNewFileName(path))
        return error;
    return FullPathForCreate(path, full);
}

// Opens the file at `full` and reads all of it, when it holds at most one chunk.
DWORD ReadSmall(const std::wstring& full, FileToRead& file, std::string& bytes) {
    if (const DWORD error = Retrying(AccessDenied::stays, [&] { return OpenToRead(full, file); }))
        return error;
    if (file.size > kChunk)
        return ERROR_FILE_TOO_LARGE;
    return ReadWhole(file, bytes);
}

} // namespace

bool RefusesToReplace(const std::wstring& path) {
    std::wstring full;
    return FullPathForCreate(path, full) == ERROR_SUCCESS &&
           IsReadOnlyOrFolder(::GetFileAttributesW(full.c_str()));
}

DWORD ReplaceFileContents(const std::wstring& path, std::string_view bytes, std::wstring* keptAs,
                          NeedsNoBackup needsNoBackup) {
    std::wstring full;
    if (const DWORD error = FullPathOfOrdinaryFile(path, full))
        return error;
    // A read-only file or a folder stays so; only a sharing violation passes.
    if (const DWORD error = Retrying(AccessDenied::stays, [&] { return CheckReplaceable(full); }))
        return error;
    Backup backup;
    std::optional<FILETIME> stamp;
    if (keptAs) {
        if (const DWORD error = KeepEarlier(full, bytes, needsNoBackup, backup, stamp))
            return error;
    }
    if (const DWORD error = WriteInPlaceOf(full, bytes, stamp ? &*stamp : nullptr)) {
        backup.Discard(); // the earlier file is still in its place
        return error;
    }
    if (keptAs)
        *keptAs = backup.path();
    return ERROR_SUCCESS;
}

DWORD ReadSmallFile(const std::wstring& path, std::string& bytes) {
    std::wstring full;
    if (const DWORD error = FullPathOfOrdinaryFile(path, full))
        return error;
    FileToRead file;
    return ReadSmall(full, file, bytes);
}

DWORD FindRestorableBackup(const std::wstring& path, std::wstring& backup) {
    backup.clear();
    std::wstring full;
    if (const DWORD error = FullPathOfOrdinaryFile(path, full))
        return error;
    WIN32_FILE_ATTRIBUTE_DATA file;
    if (!::GetFileAttributesExW(full.c_str(), GetFileExInfoStandard, &file))
        return ::GetLastError();
    return FindBackupStamped(full, file.ftLastWriteTime, backup);
}

DWORD RemoveFileContents(const std::wstring& path, NeedsNoBackup removable,
                         std::wstring& restoredFrom) {
    restoredFrom.clear();
    std::wstring full;
    if (const DWORD error = FullPathOfOrdinaryFile(path, full))
        return error;
    FileToRead file;
    std::string held;
    if (const DWORD error = ReadSmall(full, file, held))
        return error == ERROR_FILE_TOO_LARGE ? ERROR_INVALID_DATA : error; // larger than any script
    if (!removable(held))
        return ERROR_INVALID_DATA;
    FILETIME written;
    if (!::GetFileTime(file.file.get(), nullptr, nullptr, &written))
        return ::GetLastError();
    file.file.reset();
    // Whatever Create refuses to replace, a removal refuses to take away or put back.
    if (const DWORD error = Retrying(AccessDenied::stays, [&] { return CheckReplaceable(full); }))
        return error;
    std::wstring backup;
    if (const DWORD error = FindBackupStamped(full, written, backup))
        return error;
    if (!backup.empty()) {
        if (const DWORD error =
                Retrying(AccessDenied::stays, [&] { return CheckReplaceable(backup); }))
            return error;
    }
    // One rename puts the backup in the file's place: a failure leaves one or the other.
    if (const DWORD error = Retrying(AccessDenied::mayPass, [&] {
            const BOOL done =
                backup.empty() ? ::DeleteFileW(full.c_str())
                               : ::MoveFileExW(backup.c_str(), full.c_str(),
                                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
            return done ? DWORD(ERROR_SUCCESS) : ::GetLastError();
        }))
        return error;
    restoredFrom = std::move(backup);
    return ERROR_SUCCESS;
}

} // namespace sheen
