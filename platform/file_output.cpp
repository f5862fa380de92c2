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

// Runs `step` again while it fails in a way that passes by itself.
template <typename Step> DWORD Retrying(bool accessDeniedPasses, Step step) {
    DWORD error = ERROR_SUCCESS;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        error = step();
        const bool passes = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
                            (accessDeniedPasses && error == ERROR_ACCESS_DENIED);
        if (!passes)
            return error;
        ::Sleep(kPauseMs);
    }
    return error;
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

    // Writes all of `bytes`, forces them to the disk, and closes the file.
    DWORD WriteAndClose(std::string_view bytes) {
        DWORD written = 0;
        if (!::WriteFile(file_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                         nullptr))
            return ::GetLastError();
        // A disk file takes all of a write or fails; anything short means no room.
        if (written != bytes.size())
            return ERROR_HANDLE_DISK_FULL;
        if (!::FlushFileBuffers(file_.get()))
            return ::GetLastError();
        if (!::CloseHandle(file_.release()))
            return ::GetLastError();
        return ERROR_SUCCESS;
    }

    // Without `replace`, an existing destination stays and the rename fails
    // with ERROR_ALREADY_EXISTS (or ERROR_FILE_EXISTS): a check that no other
    // process can slip in front of.
    DWORD RenameTo(const std::wstring& destination, bool replace = true) {
        const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
        if (!::MoveFileExW(path_.c_str(), destination.c_str(), flags))
            return ::GetLastError();
        path_.clear();
        return ERROR_SUCCESS;
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

DWORD ReadWholeFile(const std::wstring& path, std::string& bytes) {
    const UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return ::GetLastError();
    bytes.clear();
    char chunk[4096];
    for (;;) {
        DWORD read = 0;
        if (!::ReadFile(file.get(), chunk, sizeof chunk, &read, nullptr))
            return ::GetLastError();
        if (read == 0)
            return ERROR_SUCCESS;
        bytes.append(chunk, read);
    }
}

// Enough for anyone who keeps every earlier manifest; past it, giving up is
// safer than searching on.
constexpr int kBackupNames = 999;

// A copy of a file's earlier bytes under the first free one of the names
// <path>.bak, <path>.bak2, <path>.bak3, ...; a backup that already holds
// exactly those bytes serves as it is.
class Backup {
  public:
    DWORD Keep(const std::wstring& path, std::string_view earlier) {
        TemporaryFile temporary;
        bool written = false;
        for (int number = 1; number <= kBackupNames; ++number) {
            std::wstring candidate;
            // The longer name may need the \\?\ form where the file's own did not.
            if (const DWORD error = FullPathForCreate(
                    path + L".bak" + (number > 1 ? DecimalText(number) : L""), candidate))
                return error;
            std::string held;
            const DWORD read = ReadWholeFile(candidate, held);
            if (read == ERROR_SUCCESS && held == earlier) {
                path_ = std::move(candidate);
                return ERROR_SUCCESS;
            }
            if (read != ERROR_FILE_NOT_FOUND)
                continue; // other bytes, a folder, or a file held by another: taken
            if (!written) {
                if (const DWORD error = temporary.Create(path))
                    return error;
                if (const DWORD error = temporary.WriteAndClose(earlier))
                    return error;
                written = true;
            }
            const DWORD error = temporary.RenameTo(candidate, false);
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
    std::wstring path_;
    bool made_ = false;
};

DWORD WriteInPlaceOf(const std::wstring& full, std::string_view bytes) {
    TemporaryFile temporary;
    if (const DWORD error = temporary.Create(full))
        return error;
    if (const DWORD error = temporary.WriteAndClose(bytes))
        return error;
    // Windows reports a file that a scanner is just deleting or holding as denied access.
    return Retrying(true, [&] { return temporary.RenameTo(full); });
}

} // namespace

bool RefusesToReplace(const std::wstring& path) {
    std::wstring full;
    return FullPathForCreate(path, full) == ERROR_SUCCESS &&
           IsReadOnlyOrFolder(::GetFileAttributesW(full.c_str()));
}

DWORD ReplaceFileContents(const std::wstring& path, std::string_view bytes, std::wstring* keptAs) {
    if (const DWORD error = CheckNewFileName(path))
        return error;
    std::wstring full;
    if (const DWORD error = FullPathForCreate(path, full))
        return error;
    // A read-only file or a folder stays so; only a sharing violation passes.
    if (const DWORD error = Retrying(false, [&] { return CheckReplaceable(full); }))
        return error;
    Backup backup;
    if (keptAs) {
        std::string earlier;
        const DWORD read = Retrying(false, [&] { return ReadWholeFile(full, earlier); });
        if (read == ERROR_SUCCESS && earlier != bytes) {
            if (const DWORD error = backup.Keep(full, earlier))
                return error;
        } else if (read != ERROR_SUCCESS && read != ERROR_FILE_NOT_FOUND &&
                   read != ERROR_PATH_NOT_FOUND) {
            return read;
        }
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
