#include "stylescript/program_update.h"

#include "platform/atomic_file.h"
#include "platform/embedded_manifest.h"
#include "platform/file_name.h"
#include "platform/number_text.h"
#include "platform/pe_image.h"
#include "platform/pe_resources.h"
#include "platform/resource_writer.h"
#include "platform/unique_handle.h"
#include "platform/xml_elements.h"
#include "stylescript/backups.h"
#include "stylescript/manifest_merge.h"
#include "stylescript/target_program.h"

#include <algorithm>
#include <cstring>
#include <tuple>
#include <vector>

namespace sheen {
namespace {

// A program that is read-only, or that another process holds in a way the
// replacement would not get past (running, or open for writing or without
// sharing), is refused before anything is written.
DWORD CheckReplaceableProgram(const std::wstring& full) {
    const DWORD attributes = ::GetFileAttributesW(full.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return ::GetLastError();
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return ERROR_FILE_NOT_FOUND;
    if (attributes & FILE_ATTRIBUTE_READONLY)
        return kReadOnlyProgram;
    const UniqueFile alone(::CreateFileW(full.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                         FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    return alone ? ERROR_SUCCESS : ::GetLastError();
}

// Where the file's sections end: anything after is data the update would lose.
LONGLONG EndOfSections(const PeImage& image) {
    LONGLONG end = 0;
    for (WORD i = 0; i < image.sectionCount(); ++i) {
        const IMAGE_SECTION_HEADER& section = image.section(i);
        if (section.SizeOfRawData != 0)
            end = std::max(end, LONGLONG(section.PointerToRawData) + section.SizeOfRawData);
    }
    return end;
}

DWORD CheckChangeable(const PeImage& image) {
    const IMAGE_DATA_DIRECTORY certificates = image.Directory(IMAGE_DIRECTORY_ENTRY_SECURITY);
    if (certificates.VirtualAddress != 0 || certificates.Size != 0)
        return kSignedProgram;
    if (image.Directory(IMAGE_DIRECTORY_ENTRY_COM_DESCRIPTOR).VirtualAddress != 0)
        return kDotNetProgram;
    if (image.sectionCount() == 0)
        return ERROR_BAD_EXE_FORMAT;
    if (EndOfSections(image) < image.fileSize())
        return kDataAfterSections;
    return ERROR_SUCCESS;
}

// The index of the section that holds the data directory `index`, or the count.
WORD SectionOf(const PeImage& image, DWORD index) {
    const DWORD rva = image.Directory(index).VirtualAddress;
    for (WORD i = 0; i < image.sectionCount(); ++i) {
        const IMAGE_SECTION_HEADER& section = image.section(i);
        const DWORD extent = std::max(section.Misc.VirtualSize, section.SizeOfRawData);
        if (rva >= section.VirtualAddress && rva - section.VirtualAddress < extent)
            return i;
    }
    return image.sectionCount();
}

constexpr DWORD kPiece = 4096;

// Whether `length` bytes read by `readOne` and `readOther` (at an offset from
// their start) are the same, read a piece at a time: nothing in a file says
// how much memory to spend on it.
template <typename ReadOne, typename ReadOther>
bool SameBytes(LONGLONG length, ReadOne readOne, ReadOther readOther) {
    char mine[kPiece];
    char theirs[kPiece];
    for (LONGLONG done = 0; done < length; done += kPiece) {
        const DWORD size = DWORD(std::min<LONGLONG>(kPiece, length - done));
        if (readOne(done, mine, size) != ERROR_SUCCESS ||
            readOther(done, theirs, size) != ERROR_SUCCESS || std::memcmp(mine, theirs, size) != 0)
            return false;
    }
    return true;
}

// Reads of a file's bytes from `at` on.
auto FileBytes(const PeImage& image, LONGLONG at) {
    return [&image, at](LONGLONG offset, char* buffer, DWORD size) {
        return image.ReadAt(at + offset, buffer, size);
    };
}

// Reads of an image's bytes from the relative virtual address `rva` on.
auto ImageBytes(const PeImage& image, DWORD rva) {
    return [&image, rva](LONGLONG offset, char* buffer, DWORD size) {
        return image.ReadAtRva(ULONGLONG(rva) + ULONGLONG(offset), buffer, size);
    };
}

bool SameSections(const PeImage& original, const PeImage& changed) {
    const WORD resources = SectionOf(original, IMAGE_DIRECTORY_ENTRY_RESOURCE);
    const WORD relocations = SectionOf(original, IMAGE_DIRECTORY_ENTRY_BASERELOC);
    if (changed.sectionCount() != original.sectionCount() ||
        SectionOf(changed, IMAGE_DIRECTORY_ENTRY_RESOURCE) != resources ||
        SectionOf(changed, IMAGE_DIRECTORY_ENTRY_BASERELOC) != relocations ||
        resources == original.sectionCount())
        return false;
    for (WORD i = 0; i < original.sectionCount(); ++i) {
        const IMAGE_SECTION_HEADER& was = original.section(i);
        const IMAGE_SECTION_HEADER& is = changed.section(i);
        if (std::memcmp(was.Name, is.Name, sizeof was.Name) != 0)
            return false;
        if (i == resources)
            continue;
        // Only the relocations may move, when the resources before them grow:
        // the code finds nothing else by its address. Their bytes stay.
        const bool moves = was.VirtualAddress != is.VirtualAddress;
        const DWORD relocationsWere =
            original.Directory(IMAGE_DIRECTORY_ENTRY_BASERELOC).VirtualAddress;
        const DWORD relocationsAre =
            changed.Directory(IMAGE_DIRECTORY_ENTRY_BASERELOC).VirtualAddress;
        if (was.Characteristics != is.Characteristics ||
            was.Misc.VirtualSize != is.Misc.VirtualSize || was.SizeOfRawData != is.SizeOfRawData ||
            (moves &&
             (i != relocations || i < resources ||
              relocationsWere - was.VirtualAddress != relocationsAre - is.VirtualAddress)) ||
            !SameBytes(was.SizeOfRawData, FileBytes(original, was.PointerToRawData),
                       FileBytes(changed, is.PointerToRawData)))
            return false;
    }
    return true;
}

bool SameDirectories(const PeImage& original, const PeImage& changed) {
    for (DWORD i = 0; i < IMAGE_NUMBEROF_DIRECTORY_ENTRIES; ++i) {
        const IMAGE_DATA_DIRECTORY was = original.Directory(i);
        const IMAGE_DATA_DIRECTORY is = changed.Directory(i);
        if (i == IMAGE_DIRECTORY_ENTRY_RESOURCE)
            continue;
        // The relocations may move with a section after the resources.
        if (was.Size != is.Size ||
            (i != IMAGE_DIRECTORY_ENTRY_BASERELOC && was.VirtualAddress != is.VirtualAddress))
            return false;
    }
    return original.entryPoint() == changed.entryPoint() && original.machine() == changed.machine();
}

auto KeyOf(const ResourceEntry& entry) {
    return std::tie(entry.type, entry.name, entry.language);
}

bool ByKey(const ResourceEntry& one, const ResourceEntry& other) {
    return KeyOf(one) < KeyOf(other);
}

// Every resource of `image` but its manifest in `language`, in order.
DWORD ResourcesBesideManifest(const PeImage& image, WORD language,
                              std::vector<ResourceEntry>& all) {
    if (const DWORD error = ListResources(image, all))
        return error;
    std::erase_if(all, [&](const ResourceEntry& entry) {
        return entry.type == L"#24" && entry.name == L"#1" && entry.language == language;
    });
    std::sort(all.begin(), all.end(), ByKey);
    return ERROR_SUCCESS;
}

bool SameOtherResources(const PeImage& original, const PeImage& changed, WORD language) {
    std::vector<ResourceEntry> was;
    std::vector<ResourceEntry> is;
    if (ResourcesBesideManifest(original, language, was) != ERROR_SUCCESS ||
        ResourcesBesideManifest(changed, language, is) != ERROR_SUCCESS || was.size() != is.size())
        return false;
    for (size_t i = 0; i < was.size(); ++i) {
        if (KeyOf(was[i]) != KeyOf(is[i]) || was[i].size != is[i].size ||
            !SameBytes(was[i].size, ImageBytes(original, was[i].rva),
                       ImageBytes(changed, is[i].rva)))
            return false;
    }
    return true;
}

// Whether `changed` is `original` with `manifest` as its manifest in
// `language`, and nothing else the loader reads changed.
bool IsOriginalWithManifest(const PeImage& original, const PeImage& changed, WORD language,
                            const std::string& manifest) {
    std::string carried;
    WORD carriedLanguage = 0;
    return ReadEmbeddedManifest(changed, carried, &carriedLanguage) == ERROR_SUCCESS &&
           carried == manifest && carriedLanguage == language &&
           SameDirectories(original, changed) && SameSections(original, changed) &&
           SameOtherResources(original, changed, language);
}

// ReplaceFileW, which Windows XP has too; its REPLACEFILE_WRITE_THROUGH is
// documented as not supported, so the replacement is flushed when written.
BOOL ReplaceKeepingAttributes(const std::wstring& replaced, const std::wstring& replacement) {
    return ::ReplaceFileW(replaced.c_str(), replacement.c_str(), nullptr, 0, nullptr, nullptr);
}

// A copy of a program in its folder, deleted again unless it took the program's place.
class ProgramCopy {
  public:
    ProgramCopy() = default;
    ProgramCopy(const ProgramCopy&) = delete;
    ProgramCopy& operator=(const ProgramCopy&) = delete;
    ~ProgramCopy() {
        if (!path_.empty())
            ::DeleteFileW(path_.c_str());
    }

    // A new file beside `program`, written in one pass with `manifest` in
    // `language` and flushed.
    DWORD Make(const std::wstring& program, WORD language, const std::string& manifest) {
        PeImage image;
        if (const DWORD error = image.Open(program))
            return error;
        const std::wstring folder(SplitPath(program).folder);
        const DWORD seed = ::GetTickCount() ^ (::GetCurrentProcessId() << 16);
        for (DWORD attempt = 0; attempt < 64; ++attempt) {
            std::wstring candidate = folder + L"~sw" + HexText(seed + attempt, 8) + L".tmp";
            UniqueFile file(::CreateFileW(candidate.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!file) {
                const DWORD error = ::GetLastError();
                if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
                    return error;
                continue;
            }
            path_ = std::move(candidate);
            FileSink sink(file.get());
            if (const DWORD error = WriteWithManifest(image, language, manifest, sink))
                return error;
            return ::FlushFileBuffers(file.get()) ? DWORD(ERROR_SUCCESS) : ::GetLastError();
        }
        return ERROR_FILE_EXISTS;
    }

    const std::wstring& path() const { return path_; }

    // Puts it, flushed already, in the place of `program` in one step that
    // keeps that one's attributes and security.
    DWORD Replace(const std::wstring& program) {
        if (!ReplaceKeepingAttributes(program, path_))
            return ::GetLastError();
        path_.clear();
        return ERROR_SUCCESS;
    }

  private:
    std::wstring path_;
};

// A backup made for a change that did not happen is taken back.
class BackupGuard {
  public:
    explicit BackupGuard(const std::wstring& path, bool made) : path_(made ? path : L"") {}
    BackupGuard(const BackupGuard&) = delete;
    BackupGuard& operator=(const BackupGuard&) = delete;
    ~BackupGuard() {
        if (!path_.empty())
            ::DeleteFileW(path_.c_str());
    }
    void Keep() { path_.clear(); }

  private:
    std::wstring path_;
};

DWORD AddStyle(const std::wstring& targetPath, void (*afterCopyWritten)(),
               std::wstring& backupPath) {
    std::wstring full;
    if (const DWORD error = FullPathOfOrdinaryFile(targetPath, full))
        return error;
    if (const DWORD error = CheckReplaceableProgram(full))
        return error;
    std::string manifest;
    WORD language = 0;
    {
        PeImage image;
        if (const DWORD error = image.Open(full))
            return error;
        if (const DWORD error = CheckChangeable(image))
            return error;
        if (const DWORD error = ReadEmbeddedManifest(image, manifest, &language))
            return error;
    }
    if (DependsOnCommonControls6(manifest))
        return ERROR_SUCCESS; // nothing to add
    std::string merged;
    if (const DWORD error =
            AddCommonControlsDependency(manifest, InspectTarget(full).architecture, merged))
        return error;
    {
        // Refused before anything is written.
        PeImage image;
        if (const DWORD error = image.Open(full))
            return error;
        if (const DWORD error = CheckResourceLayout(image))
            return error;
    }

    bool made = false;
    if (const DWORD error = KeepBackupOf(full, backupPath, made))
        return error;
    BackupGuard backup(backupPath, made);
    ProgramCopy copy;
    if (const DWORD error = copy.Make(full, language, merged))
        return error;
    if (afterCopyWritten)
        afterCopyWritten();
    {
        PeImage original;
        PeImage changed;
        if (const DWORD error = original.Open(backupPath))
            return error;
        if (const DWORD error = changed.Open(copy.path()))
            return error == ERROR_BAD_EXE_FORMAT ? kCheckAfterChangeFailed : error;
        if (!IsOriginalWithManifest(original, changed, language, merged))
            return kCheckAfterChangeFailed;
    }
    if (const DWORD error = copy.Replace(full))
        return error;
    backup.Keep();
    return ERROR_SUCCESS;
}

// The backup of the program at `full` whose bytes it still is, but for the
// manifest AddStyle made from the backup's: the highest-numbered such, the
// latest kept, into `restorable`.
// kProgramChangedSince where its manifest was made from a backup's, but the
// program changed since.
DWORD FindRestorable(const std::wstring& full, std::wstring& restorable) {
    restorable.clear();
    PeImage program;
    std::string manifest;
    WORD language = 0;
    if (program.Open(full) != ERROR_SUCCESS ||
        ReadEmbeddedManifest(program, manifest, &language) != ERROR_SUCCESS ||
        !DependsOnCommonControls6(manifest))
        return ERROR_SUCCESS; // nothing of ours
    const std::string_view architecture = InspectTarget(full).architecture;
    std::vector<std::wstring> backups;
    if (ListBackupPaths(full, backups) != ERROR_SUCCESS)
        return ERROR_SUCCESS; // none to be found: nothing to put back
    DWORD outcome = ERROR_SUCCESS;
    for (const std::wstring& candidate : backups) {
        PeImage backup;
        std::string kept;
        WORD keptLanguage = 0;
        std::string merged;
        if (backup.Open(candidate) != ERROR_SUCCESS ||
            ReadEmbeddedManifest(backup, kept, &keptLanguage) != ERROR_SUCCESS ||
            keptLanguage != language ||
            AddCommonControlsDependency(kept, architecture, merged) != ERROR_SUCCESS ||
            merged != manifest)
            continue;
        if (IsOriginalWithManifest(backup, program, language, manifest)) {
            restorable = candidate;
            return ERROR_SUCCESS;
        }
        outcome = kProgramChangedSince;
    }
    return outcome;
}

} // namespace

bool OffersEmbedding(const StyleScriptOutcome& created) {
    // Without XmlLite the manifest was not judged: nothing is known to be missing.
    return created.action == StyleScriptAction::create && created.error == ERROR_SUCCESS &&
           created.embeddedManifestWins && !created.alreadyStyled && XmlReaderAvailable();
}

std::wstring ProgramBackupName(const std::wstring& targetPath) {
    std::wstring full;
    std::wstring backup;
    if (FullPathOfOrdinaryFile(targetPath, full) != ERROR_SUCCESS ||
        NextBackupPath(full, backup) != ERROR_SUCCESS)
        return L"";
    return std::wstring(SplitPath(backup).name);
}

StyleScriptOutcome AddStyleToProgram(const std::wstring& targetPath, void (*afterCopyWritten)()) {
    StyleScriptOutcome outcome;
    outcome.action = StyleScriptAction::embed;
    std::wstring backup;
    outcome.error = AddStyle(targetPath, afterCopyWritten, backup);
    if (outcome.error == ERROR_SUCCESS)
        outcome.programBackupName = SplitPath(backup).name;
    return outcome;
}

void FindProgramToRestore(const std::wstring& targetPath, std::wstring& backupName) {
    backupName.clear();
    std::wstring full;
    std::wstring backup;
    if (FullPathOfOrdinaryFile(targetPath, full) == ERROR_SUCCESS &&
        FindRestorable(full, backup) == ERROR_SUCCESS && !backup.empty())
        backupName = SplitPath(backup).name;
}

DWORD RestoreProgram(const std::wstring& targetPath, std::wstring& restoredFrom) {
    restoredFrom.clear();
    std::wstring full;
    if (const DWORD error = FullPathOfOrdinaryFile(targetPath, full))
        return error;
    std::wstring backup;
    if (const DWORD error = FindRestorable(full, backup))
        return error;
    if (backup.empty())
        return ERROR_SUCCESS;
    if (const DWORD error = CheckReplaceableProgram(full))
        return error;
    if (!ReplaceKeepingAttributes(full, backup))
        return ::GetLastError();
    restoredFrom = std::move(backup);
    return ERROR_SUCCESS;
}

} // namespace sheen
