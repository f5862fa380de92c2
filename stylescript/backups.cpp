#include "stylescript/backups.h"

#include "platform/atomic_file.h"
#include "platform/file_name.h"
#include "platform/number_text.h"
#include "platform/unique_handle.h"

#include <optional>

namespace sheen {
namespace {

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
    const auto [folderPart, basePart] = SplitPath(full);
    const std::wstring folder(folderPart);
    const std::wstring base(basePart);
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
// `isOwnScript` accepts, makes `backup` keep what it holds. `stamp` then
// receives the last-write time the new file is to take, so that it names the
// backup a removal puts back: the one kept or reused now, or, where none was
// needed, the replaced file's own, if a backup has it.
DWORD KeepEarlier(const std::wstring& full, std::string_view bytes, IsOwnScript isOwnScript,
                  Backup& backup, std::optional<FILETIME>& stamp) {
    FileToRead earlier;
    const DWORD open = Retrying(AccessDenied::stays, [&] { return OpenToRead(full, earlier); });
    if (open == ERROR_FILE_NOT_FOUND || open == ERROR_PATH_NOT_FOUND)
        return ERROR_SUCCESS;
    if (open != ERROR_SUCCESS)
        return open;
    // Only a file that could hold `bytes`, or one small enough to be shown to
    // `isOwnScript`, is read whole.
    if (earlier.size == bytes.size() || (isOwnScript && earlier.size <= kFileChunk)) {
        std::string held;
        if (const DWORD read = ReadWhole(earlier, held))
            return read;
        if (held == bytes || (isOwnScript && isOwnScript(held))) {
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

} // namespace

DWORD ReplaceFileContents(const std::wstring& path, std::string_view bytes, std::wstring* keptAs,
                          IsOwnScript isOwnScript) {
    std::wstring full;
    if (const DWORD error = PrepareReplacement(path, full))
        return error;
    Backup backup;
    std::optional<FILETIME> stamp;
    if (keptAs) {
        if (const DWORD error = KeepEarlier(full, bytes, isOwnScript, backup, stamp))
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

DWORD RemoveFileContents(const std::wstring& path, IsOwnScript isOwnScript, Removal& removal,
                         std::wstring& restoredFrom) {
    restoredFrom.clear();
    std::wstring full;
    if (const DWORD error = FullPathOfOrdinaryFile(path, full))
        return error;
    FileToRead file;
    std::string held;
    const DWORD read = ReadSmall(full, file, held);
    if (read == ERROR_FILE_NOT_FOUND) {
        removal = Removal::nothingThere;
        return ERROR_SUCCESS;
    }
    if (read != ERROR_SUCCESS && read != ERROR_FILE_TOO_LARGE) // larger than any script
        return read;
    if (read == ERROR_FILE_TOO_LARGE || !isOwnScript(held)) {
        removal = Removal::notOurs;
        return ERROR_SUCCESS;
    }
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
    removal = Removal::removed;
    return ERROR_SUCCESS;
}

} // namespace sheen
