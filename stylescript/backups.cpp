#include "stylescript/backups.h"

#include "platform/file_name.h"
#include "platform/file_read.h"
#include "platform/file_replace.h"
#include "platform/file_search.h"
#include "platform/file_times.h"
#include "platform/number_text.h"
#include "platform/retrying.h"
#include "platform/temporary_file.h"

#include <algorithm>
#include <optional>
#include <vector>

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
    // Keeps what `earlier`, open for reading, holds: `size` bytes. With
    // `onlyName`, finds the name it would take and writes nothing.
    DWORD Keep(const std::wstring& path, HANDLE earlier, ULONGLONG size, bool onlyName = false) {
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
            if (onlyName) {
                path_ = std::move(candidate);
                return ERROR_SUCCESS;
            }
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
            DeleteAndLook(path_);
        path_.clear();
        made_ = false;
    }

    const std::wstring& path() const { return path_; }
    bool made() const { return made_; }

  private:
    // Copies all of `earlier` into a new temporary file beside `path`, flushed and closed.
    static DWORD Copy(HANDLE earlier, TemporaryFile& temporary, const std::wstring& path) {
        if (const DWORD error = temporary.Create(path))
            return error;
        if (const DWORD error = temporary.WriteAllOf(earlier))
            return error;
        return temporary.Close();
    }

    std::wstring path_;
    bool made_ = false;
};

// A backup of a file, as the search for backups lists it.
struct ListedBackup {
    std::wstring path;
    int number = 0; // 1 for .bak, N for .bak<N>
    FILETIME written = {};
    ULONGLONG size = 0;
};

// The number in a name that the search for `<base>.bak*` matched, where `base`
// is `baseLength` characters long: 1 for .bak, N for .bak<N> with N from 2 to
// kBackupNames, as Backup names them; 0 for any other name.
int BackupNumber(std::wstring_view name, size_t baseLength) {
    constexpr size_t kBakLength = 4; // ".bak"
    if (name.size() < baseLength + kBakLength)
        return 0;
    const std::wstring_view number = name.substr(baseLength + kBakLength);
    if (number.empty())
        return 1;
    if (number.size() > 3 || number[0] == L'0')
        return 0;
    int value = 0;
    for (const wchar_t digit : number) {
        if (digit < L'0' || digit > L'9')
            return 0;
        value = value * 10 + (digit - L'0');
    }
    return value >= 2 ? value : 0;
}

// Sets `backups` to the backups of the file at `full`, highest number first.
DWORD ListBackups(const std::wstring& full, std::vector<ListedBackup>& backups) {
    backups.clear();
    const auto [folder, base] = SplitPath(full);
    // The file system matches the names as it compares them, on Windows
    // without regard to case: checked here again, they could only compare
    // otherwise (TOOL.EXE.manifest against tool.exe.manifest.bak).
    FileSearch search(full + L".bak*");
    WIN32_FIND_DATAW found;
    DWORD error;
    while ((error = search.Next(found)) == ERROR_SUCCESS) {
        const int number = BackupNumber(found.cFileName, base.size());
        if (number > 0 && !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            backups.push_back({std::wstring(folder) + found.cFileName, number,
                               found.ftLastWriteTime,
                               ULONGLONG(found.nFileSizeHigh) << 32 | found.nFileSizeLow});
    }
    if (error != ERROR_NO_MORE_FILES)
        return error;
    std::ranges::sort(backups, std::ranges::greater{}, &ListedBackup::number);
    return ERROR_SUCCESS;
}

// Whether the file at `full` has a backup whose last-write time is `stamp`.
bool HasBackupStamped(const std::wstring& full, const FILETIME& stamp) {
    std::vector<ListedBackup> backups;
    return ListBackups(full, backups) == ERROR_SUCCESS &&
           std::ranges::any_of(backups, [&](const ListedBackup& backup) {
               return SameFileTime(backup.written, stamp);
           });
}

// Whether `backup` may come back as the earlier manifest: not when it holds
// what `isOwnScript` accepts, a copy of a script (a user's, its time kept).
DWORD MayComeBack(const ListedBackup& backup, IsOwnScript isOwnScript, bool& may) {
    may = true;
    if (backup.size > kFileChunk)
        return ERROR_SUCCESS;
    FileToRead file;
    std::string held;
    if (const DWORD error = ReadSmall(backup.path, file, held))
        return error;
    may = !isOwnScript(held);
    return ERROR_SUCCESS;
}

// Sets `chosen` to the backup a removal of the file at `full`, last written at
// `written`, puts back, or to nothing: the one backup with that time, which the
// last Create gave the file; without exactly one, the highest-numbered, which
// the latest Create made where the times were lost (1.00 wrote none, and
// copies and archives may not keep them). Only backups that may come back
// count, and only those that decide are read.
DWORD ChooseBackup(const std::wstring& full, const FILETIME& written, IsOwnScript isOwnScript,
                   std::wstring& chosen) {
    chosen.clear();
    std::vector<ListedBackup> backups;
    if (const DWORD error = ListBackups(full, backups))
        return error;
    int stampedCount = 0;
    for (const ListedBackup& backup : backups) {
        if (!SameFileTime(backup.written, written))
            continue;
        bool may = false;
        if (const DWORD error = MayComeBack(backup, isOwnScript, may))
            return error;
        if (may && ++stampedCount == 1)
            chosen = backup.path;
    }
    if (stampedCount == 1)
        return ERROR_SUCCESS;
    chosen.clear();
    for (const ListedBackup& backup : backups) {
        bool may = false;
        if (const DWORD error = MayComeBack(backup, isOwnScript, may))
            return error;
        if (may) {
            chosen = backup.path;
            break;
        }
    }
    return ERROR_SUCCESS;
}

// Unless the file at `full` is absent, already holds `bytes`, or holds what
// `isOwnScript` accepts, makes `backup` keep what it holds.
DWORD KeepEarlier(const std::wstring& full, std::string_view bytes, IsOwnScript isOwnScript,
                  Backup& backup) {
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
        if (held == bytes || (isOwnScript && isOwnScript(held)))
            return ERROR_SUCCESS;
    }
    return backup.Keep(full, earlier.file.get(), earlier.size);
}

// Sets `stamp` to the last-write time the new file at `full` is to take, so
// that it names the backup a removal puts back: that of `kept`, the backup
// kept or reused now; where none was needed, the replaced file's own, if a
// backup has it.
DWORD StampToCarry(const std::wstring& full, const std::wstring& kept,
                   std::optional<FILETIME>& stamp) {
    FILETIME written;
    if (!kept.empty()) {
        if (const DWORD error = LastWriteTimeOf(kept, written))
            return error;
        stamp = written;
    } else if (LastWriteTimeOf(full, written) == ERROR_SUCCESS && HasBackupStamped(full, written)) {
        stamp = written;
    }
    return ERROR_SUCCESS;
}

// Keeps, or with `onlyName` names, the backup of the existing file at `path`.
DWORD BackupOf(const std::wstring& path, std::wstring& keptAs, bool& made, bool onlyName) {
    std::wstring full;
    if (const DWORD error = FullPathOfOrdinaryFile(path, full))
        return error;
    FileToRead earlier;
    if (const DWORD error =
            Retrying(AccessDenied::stays, [&] { return OpenToRead(full, earlier); }))
        return error;
    Backup backup;
    if (const DWORD error = backup.Keep(full, earlier.file.get(), earlier.size, onlyName))
        return error;
    keptAs = backup.path();
    made = backup.made();
    return ERROR_SUCCESS;
}

} // namespace

DWORD KeepBackupOf(const std::wstring& path, std::wstring& keptAs, bool& made) {
    return BackupOf(path, keptAs, made, false);
}

DWORD NextBackupPath(const std::wstring& path, std::wstring& name) {
    bool made = false;
    return BackupOf(path, name, made, true);
}

DWORD ListBackupPaths(const std::wstring& path, std::vector<std::wstring>& paths) {
    paths.clear();
    std::wstring full;
    if (const DWORD error = FullPathOfOrdinaryFile(path, full))
        return error;
    std::vector<ListedBackup> backups;
    if (const DWORD error = ListBackups(full, backups))
        return error;
    for (ListedBackup& backup : backups)
        paths.push_back(std::move(backup.path));
    return ERROR_SUCCESS;
}

DWORD ReplaceFileContents(const std::wstring& path, std::string_view bytes, std::wstring* keptAs,
                          IsOwnScript isOwnScript) {
    std::wstring full;
    if (const DWORD error = PrepareReplacement(path, full))
        return error;
    Backup backup;
    std::optional<FILETIME> stamp;
    if (keptAs) {
        if (const DWORD error = KeepEarlier(full, bytes, isOwnScript, backup))
            return error;
        if (const DWORD error = StampToCarry(full, backup.path(), stamp)) {
            backup.Discard();
            return error;
        }
    }
    if (const DWORD error = WriteInPlaceOf(full, bytes, stamp ? &*stamp : nullptr)) {
        backup.Discard(); // the earlier file is still in its place
        return error;
    }
    if (keptAs)
        *keptAs = backup.path();
    return ERROR_SUCCESS;
}

DWORD FindRestorableBackup(const std::wstring& path, IsOwnScript isOwnScript,
                           std::wstring& backup) {
    backup.clear();
    std::wstring full;
    if (const DWORD error = FullPathOfOrdinaryFile(path, full))
        return error;
    FILETIME written;
    if (const DWORD error = LastWriteTimeOf(full, written))
        return error;
    return ChooseBackup(full, written, isOwnScript, backup);
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
    if (const DWORD error = LastWriteTimeOf(file.file.get(), written))
        return error;
    file.file.reset();
    // Whatever Create refuses to replace, a removal refuses to take away or put back.
    if (const DWORD error = Retrying(AccessDenied::stays, [&] { return CheckReplaceable(full); }))
        return error;
    std::wstring backup;
    if (const DWORD error = ChooseBackup(full, written, isOwnScript, backup))
        return error;
    if (!backup.empty()) {
        if (const DWORD error =
                Retrying(AccessDenied::stays, [&] { return CheckReplaceable(backup); }))
            return error;
    }
    // One rename puts the backup in the file's place: a failure leaves one or the other.
    if (const DWORD error =
            backup.empty() ? DeleteAndLook(full) : Rename(backup, full, IfExisting::replace))
        return error;
    restoredFrom = std::move(backup);
    removal = Removal::removed;
    return ERROR_SUCCESS;
}

} // namespace sheen
