#include "stylescript/program_update.h"

#include "platform/activation_context.h"
#include "platform/embedded_manifest.h"
#include "platform/file_attributes.h"
#include "platform/file_name.h"
#include "platform/file_read.h"
#include "platform/file_replace.h"
#include "platform/held_folder.h"
#include "platform/named_lock.h"
#include "platform/number_text.h"
#include "platform/pe_image.h"
#include "platform/resource_writer.h"
#include "platform/temporary_file.h"
#include "platform/xml_elements.h"
#include "stylescript/backups.h"
#include "stylescript/manifest_merge.h"
#include "stylescript/program_check.h"
#include "stylescript/style_script.h"
#include "stylescript/target_program.h"

#include <algorithm>
#include <vector>

namespace sheen {
namespace {

// Long enough for another run's update, a copy of a large program included.
constexpr DWORD kLockTimeoutMs = 120000;

// The program's full path with each short name long, so that every name for
// it finds the same backups.
DWORD ProgramPathOf(const std::wstring& targetPath, std::wstring& full) {
    if (const DWORD error = FullPathOfOrdinaryFile(targetPath, full))
        return error;
    std::wstring longPath;
    if (LongPathOf(full, longPath) == ERROR_SUCCESS)
        full = std::move(longPath);
    return ERROR_SUCCESS;
}

// Runs that change the programs of one folder take turns, so that none uses
// a backup that another is about to take back. The folder's identity names
// the lock, whatever path led to it.
DWORD LockFolderOf(const std::wstring& full, NamedLock& lock) {
    HeldFolder folder;
    FolderIdentity identity;
    if (const DWORD error = folder.Open(std::wstring(SplitPath(full).folder), identity))
        return error;
    return lock.Acquire(L"Sheenwright.ProgramUpdate." + HexText(identity.volume, 8) + L"." +
                            HexText(DWORD(identity.file >> 32), 8) +
                            HexText(DWORD(identity.file), 8),
                        kLockTimeoutMs);
}

// A program that is read-only, or that another process holds in a way the
// replacement would not get past (running, or open for writing or without
// sharing), is refused before anything is written.
DWORD CheckReplaceableProgram(const std::wstring& full) {
    DWORD attributes = 0;
    if (const DWORD error = FileAttributesOf(full, attributes))
        return error;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return ERROR_FILE_NOT_FOUND;
    if (attributes & FILE_ATTRIBUTE_READONLY)
        return kReadOnlyProgram;
    const DWORD error = CheckOpens(full, GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ);
    return error == ERROR_SHARING_VIOLATION ? kProgramInUse : error;
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

// What the program's own manifest becomes.
struct Merge {
    bool alreadyStyled = false; // nothing to add, however the program is laid out
    WORD language = 0;
    std::string_view architecture;
    std::string merged;
};

// Everything that refuses a program before anything is written, but its
// attributes and who holds it. `own` is its manifest as already read, or null
// to read it here, after what refuses the program whatever its manifest.
DWORD PrepareMerge(const PeImage& image, const OwnManifest* own, Merge& merge) {
    if (const DWORD error = CheckChangeable(image))
        return error;
    OwnManifest read;
    if (!own) {
        if (const DWORD error = ReadOwnManifest(image, read))
            return error;
        own = &read;
    }
    merge.language = own->language;
    merge.alreadyStyled = DependsOnCommonControls6(own->text);
    if (merge.alreadyStyled)
        return ERROR_SUCCESS;
    merge.architecture = ArchitectureOf(image);
    if (const DWORD error =
            AddCommonControlsDependency(own->text, merge.architecture, merge.merged))
        return error;
    return CheckResourceLayout(image);
}

// Whether Common Controls 6 for `architecture` is installed here: the
// context of the style script for it, written beside `full` for a moment.
bool CommonControlsInstalled(const std::wstring& full, std::string_view architecture) {
    TemporaryFile script;
    return script.Create(full) == ERROR_SUCCESS &&
           script.Write(StyleScriptFor(architecture)) == ERROR_SUCCESS &&
           script.Close() == ERROR_SUCCESS &&
           CheckCommonControlsRedirect(script.path(), ManifestSource::file) == ERROR_SUCCESS;
}

// That the system's side-by-side loader, which decides whether Windows
// starts the program at all, takes the changed manifest and gives it Common
// Controls 6. Where it cannot say, because this system lacks what the
// original's manifest or the style names, that is not the change's doing.
DWORD ProveItStarts(const std::wstring& full, const std::wstring& original,
                    const std::wstring& changed, std::string_view architecture,
                    StyleScriptOutcome& outcome) {
    const DWORD error = CheckCommonControlsRedirect(changed, ManifestSource::programResource);
    if (error == ERROR_SUCCESS)
        return ERROR_SUCCESS;
    const DWORD before = CheckCommonControlsRedirect(original, ManifestSource::programResource);
    if ((before != ERROR_SUCCESS && before != ERROR_SXS_KEY_NOT_FOUND) ||
        !CommonControlsInstalled(full, architecture)) {
        outcome.unproven = true;
        return ERROR_SUCCESS;
    }
    outcome.systemError = error;
    return kWouldNotStart;
}

DWORD AddStyle(const std::wstring& targetPath, const ProgramUpdateHooks& hooks,
               StyleScriptOutcome& outcome) {
    std::wstring full;
    if (const DWORD error = ProgramPathOf(targetPath, full))
        return error;
    NamedLock lock;
    if (const DWORD error = LockFolderOf(full, lock))
        return error;
    if (const DWORD error = CheckReplaceableProgram(full))
        return error;
    Merge merge;
    {
        PeImage image;
        if (const DWORD error = image.Open(full))
            return error;
        if (const DWORD error = PrepareMerge(image, nullptr, merge))
            return error;
        if (merge.alreadyStyled)
            return ERROR_SUCCESS;
    }
    const WORD language = merge.language;
    const std::string_view architecture = merge.architecture;
    std::string& merged = merge.merged;
    if (hooks.spoilManifest)
        hooks.spoilManifest(merged);

    std::wstring backupPath;
    bool made = false;
    if (const DWORD error = KeepBackupOf(full, backupPath, made))
        return error;
    // A backup made for a change that did not happen is taken back, but only
    // while the program in place is read back as holding its very bytes.
    ScopedDeletion backup(made ? backupPath : std::wstring(), full);
    // The new program is made from the bytes kept, which nobody else changes.
    PeImage original;
    if (const DWORD error = original.Open(backupPath))
        return error;
    TemporaryFile copy;
    if (const DWORD error = copy.Create(full))
        return error;
    FileSink sink(copy.handle());
    if (const DWORD error = WriteWithManifest(original, language, merged, sink))
        return error;
    if (const DWORD error = copy.Close())
        return error;
    if (hooks.afterCopyWritten)
        hooks.afterCopyWritten();
    {
        PeImage changed;
        if (const DWORD error = changed.Open(copy.path()))
            return error == ERROR_BAD_EXE_FORMAT ? kCheckAfterChangeFailed : error;
        if (!IsOriginalWithManifest(original, changed, language, merged))
            return kCheckAfterChangeFailed;
    }
    if (const DWORD error = ProveItStarts(full, backupPath, copy.path(), architecture, outcome))
        return error;
    const auto holdsNewProgram = [&](const std::wstring& path) {
        PeImage inPlace;
        return inPlace.Open(path) == ERROR_SUCCESS &&
               IsWrittenFrom(original, language, merged, inPlace);
    };
    if (const DWORD error = SwapFile(full, copy.path(), holdsNewProgram, hooks.replace))
        return error;
    backup.Keep();
    outcome.programBackupName = SplitPath(backupPath).name;
    return ERROR_SUCCESS;
}

// Whether a program could not be read for a reason the user must hear of
// (held open without sharing, say), rather than because there is none.
bool UnreadableProgram(const std::wstring& full, DWORD error) {
    if (error == ERROR_BAD_EXE_FORMAT || error == ERROR_FILE_NOT_FOUND ||
        error == ERROR_PATH_NOT_FOUND)
        return false;
    DWORD attributes = 0;
    return FileAttributesOf(full, attributes) != ERROR_SUCCESS ||
           !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The backup of the program at `full` that it is, byte for byte, with the
// style added: the highest-numbered such, the latest kept, into `restorable`.
// kProgramChangedSince where its manifest was made from a backup's, but the
// program is not exactly what that backup makes. `own` is the program's own
// manifest, which asks for Common Controls 6: only such a program can be one
// Sheenwright changed.
DWORD FindRestorableFor(const std::wstring& full, const PeImage& program, const OwnManifest& own,
                        std::wstring& restorable) {
    restorable.clear();
    const std::string& manifest = own.text;
    const WORD language = own.language;
    const std::string_view architecture = ArchitectureOf(program);
    std::vector<std::wstring> backups;
    if (const DWORD error = ListBackupPaths(full, backups))
        return error;
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
        if (IsWrittenFrom(backup, language, merged, program)) {
            restorable = candidate;
            return ERROR_SUCCESS;
        }
        outcome = kProgramChangedSince;
    }
    return outcome;
}

DWORD FindRestorable(const std::wstring& full, std::wstring& restorable) {
    restorable.clear();
    PeImage program;
    if (const DWORD error = program.Open(full); error != ERROR_SUCCESS)
        return UnreadableProgram(full, error) ? error
                                              : ERROR_SUCCESS; // no program: nothing of ours
    OwnManifest own;
    if (ReadOwnManifest(program, own) != ERROR_SUCCESS || !DependsOnCommonControls6(own.text))
        return ERROR_SUCCESS; // nothing of ours
    return FindRestorableFor(full, program, own, restorable);
}

// Puts the backup's bytes in the program's place, through a copy, so that
// the backup is deleted only once the program in place reads back as it.
DWORD PutBack(const std::wstring& full, const std::wstring& backup) {
    FileToRead kept;
    if (const DWORD error = OpenToRead(backup, kept))
        return error;
    TemporaryFile copy;
    if (const DWORD error = copy.Create(full))
        return error;
    if (const DWORD error = copy.WriteAllOf(kept.file.get()))
        return error;
    if (const DWORD error = copy.Close())
        return error;
    kept.file.reset();
    const auto holdsBackup = [&](const std::wstring& path) { return SameFileBytes(path, backup); };
    if (const DWORD error = SwapFile(full, copy.path(), holdsBackup))
        return error;
    DeleteAndLook(backup);
    return ERROR_SUCCESS;
}

} // namespace

ProgramUpdateFacts InspectProgramUpdate(const std::wstring& targetPath, const PeImage& image,
                                        const TargetProgram& program, const OwnManifest& own) {
    ProgramUpdateFacts facts;
    std::wstring full;
    facts.refusal = ProgramPathOf(targetPath, full);
    if (facts.refusal != ERROR_SUCCESS)
        return facts;
    std::wstring backup;
    if (program.ownManifestStyled) {
        // Nothing to add, but perhaps something to put back.
        facts.restoreError = FindRestorableFor(full, image, own, backup);
        if (facts.restoreError == ERROR_SUCCESS && !backup.empty())
            facts.restoredFrom = SplitPath(backup).name;
        return facts;
    }
    if (NextBackupPath(full, backup) == ERROR_SUCCESS)
        facts.keptAs = SplitPath(backup).name;
    DWORD attributes = 0;
    Merge merge;
    if (FileAttributesOf(full, attributes) == ERROR_SUCCESS &&
        (attributes & FILE_ATTRIBUTE_READONLY))
        facts.refusal = kReadOnlyProgram;
    else
        facts.refusal = PrepareMerge(image, &own, merge);
    return facts;
}

StyleScriptOutcome AddStyleToProgram(const std::wstring& targetPath,
                                     const ProgramUpdateHooks& hooks) {
    StyleScriptOutcome outcome;
    outcome.action = StyleScriptAction::embed;
    outcome.error = AddStyle(targetPath, hooks, outcome);
    if (outcome.error != ERROR_SUCCESS) {
        outcome.programBackupName.clear();
        outcome.unproven = false;
    }
    return outcome;
}

DWORD RestoreProgram(const std::wstring& targetPath, std::wstring& restoredFrom) {
    restoredFrom.clear();
    std::wstring full;
    if (const DWORD error = ProgramPathOf(targetPath, full))
        return error;
    std::wstring backup;
    if (const DWORD error = FindRestorable(full, backup))
        return error;
    if (backup.empty())
        return ERROR_SUCCESS; // nothing of ours: no folder to take turns on
    // Looked at again in turn, as another run may have changed it meanwhile.
    NamedLock lock;
    if (const DWORD error = LockFolderOf(full, lock))
        return error;
    if (const DWORD error = FindRestorable(full, backup))
        return error;
    if (backup.empty())
        return ERROR_SUCCESS;
    if (const DWORD error = CheckReplaceableProgram(full))
        return error;
    if (const DWORD error = PutBack(full, backup))
        return error;
    restoredFrom = std::move(backup);
    return ERROR_SUCCESS;
}

} // namespace sheen
