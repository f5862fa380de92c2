#pragma once
// The visual style added to a program's own manifest, for the programs whose
// embedded manifest Windows reads instead of the style script, and taken back
// again. The program is kept byte for byte beside it first; the changed
// program is written beside it by Sheenwright's own resource writer, read
// back, checked and put to the side-by-side loader, and only then swapped in.

#include "platform/file_swap.h"
#include "stylescript/style_script_writer.h"

#include <windows.h>

#include <string>

namespace sheen {

// Why a program is not changed, as error codes of their own.
inline constexpr DWORD kSignedProgram = ERROR_EXE_CANNOT_MODIFY_SIGNED_BINARY;
inline constexpr DWORD kDotNetProgram = ERROR_EXE_CANNOT_MODIFY_STRONG_SIGNED_BINARY;
inline constexpr DWORD kDataAfterSections = ERROR_EXE_MARKED_INVALID;
inline constexpr DWORD kReadOnlyProgram = ERROR_FILE_READ_ONLY;
inline constexpr DWORD kCheckAfterChangeFailed = ERROR_CRC;
inline constexpr DWORD kProgramChangedSince = ERROR_REVISION_MISMATCH;
// The side-by-side loader refuses the changed manifest, which the original's
// it accepts: Windows would not start the program.
inline constexpr DWORD kWouldNotStart = 0x20000000 | 5;

// What the tests put in the place of the update's steps, to make them fail.
struct ProgramUpdateHooks {
    void (*afterCopyWritten)() = nullptr;                 // may throw
    void (*spoilManifest)(std::string& merged) = nullptr; // before the copy is written
    ReplaceFunction replace = nullptr;                    // ReplaceFileW where null
};

// Whether a Create's outcome calls for offering to add the style to the
// program itself: its own manifest wins, and was read (the system has
// XmlLite) and found not to give the style.
bool OffersEmbedding(const StyleScriptOutcome& created);

// The file name the program at `targetPath` would be kept under; empty where
// that cannot be told.
std::wstring ProgramBackupName(const std::wstring& targetPath);

// Adds the Common Controls 6 dependency, for the processor the style script
// names, to the manifest embedded in the program at `targetPath`. Refused,
// with nothing changed: a read-only program (kReadOnlyProgram), one open
// elsewhere (the system's sharing violation), a signed one (kSignedProgram), a
// .NET one (kDotNetProgram), one with data after its last section
// (kDataAfterSections), one whose layout the resource writer cannot change
// (see platform/resource_writer.h), one whose manifest cannot be read
// (kUnreadableManifest) or already asks for other common controls
// (kOtherCommonControlsVersion). Only one update or undo of the programs of
// a folder runs at a time, in every process of the session.
//
// The program is then kept, byte for byte, as <program>.bak (.bak2, ...);
// the resource writer writes, beside it, the program with the merged
// manifest, which must read back as exactly that (else
// kCheckAfterChangeFailed), and the side-by-side loader must accept it (else
// kWouldNotStart, with its error in `systemError`), unless this system lacks
// what the original's manifest or the style names (`unproven`). It then
// takes the program's place, keeping its attributes and security. After any
// failure the program's name holds the old bytes or the new ones, and the
// backup exists whenever it holds the new ones. Running out of memory throws.
StyleScriptOutcome AddStyleToProgram(const std::wstring& targetPath,
                                     const ProgramUpdateHooks& hooks = {});

// Sets `backupName` to the file name of the backup a removal would put back
// in the program's place: one whose manifest with the style added is exactly
// the program's, and which the program is, but for that, still. Empty for none.
void FindProgramToRestore(const std::wstring& targetPath, std::wstring& backupName);

// For a removal: when the program at `targetPath` is byte for byte what
// AddStyleToProgram makes of one of its backups, that backup's bytes take its
// place (`restoredFrom` receives its path, which is then gone). A program
// whose manifest is that one, but that has changed since in any byte, is
// refused (kProgramChangedSince), as are a read-only one, one open elsewhere,
// and one that cannot be read or whose backups cannot be listed. Any other
// program is left alone, with ERROR_SUCCESS and nothing restored. Programs
// are named by their long names, so that a short name finds the same backups.
DWORD RestoreProgram(const std::wstring& targetPath, std::wstring& restoredFrom);

} // namespace sheen
