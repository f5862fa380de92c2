#pragma once
// The visual style added to a program's own manifest, for the programs whose
// embedded manifest Windows reads instead of the style script, and taken back
// again. The program is kept byte for byte beside it first, the change is made
// on a copy, read back and checked, and only then swapped in.

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
// (kDataAfterSections), one whose manifest cannot be read (kUnreadableManifest),
// one whose layout the writer cannot change (platform/resource_writer.h).
// The program is then kept, byte for byte, as <program>.bak (.bak2, ...); a
// copy beside it is written with the merged manifest and a right checksum, and
// `afterCopyWritten`, if any, is called (it may throw). The copy must read
// back with the new manifest exactly, in the same language, and with every
// other resource, every section but the resources', the data directories and
// the entry point as they were (else kCheckAfterChangeFailed); then it
// replaces the program in one step that keeps its attributes and security.
// Any failure leaves the program, and no new backup. Running out of memory
// throws.
StyleScriptOutcome AddStyleToProgram(const std::wstring& targetPath,
                                     void (*afterCopyWritten)() = nullptr);

// Sets `backupName` to the file name of the backup a removal would put back
// in the program's place: one whose manifest with the style added is exactly
// the program's, and which the program is, but for that, still. Empty for none.
void FindProgramToRestore(const std::wstring& targetPath, std::wstring& backupName);

// For a removal: when the program at `targetPath` carries exactly the manifest
// AddStyleToProgram made from a backup, and is otherwise still that backup,
// the backup takes its place in one step (`restoredFrom` receives its path).
// A program with that manifest that has changed since is refused
// (kProgramChangedSince), as are a read-only one and one open elsewhere. Any
// other program is left alone, with ERROR_SUCCESS and nothing restored.
DWORD RestoreProgram(const std::wstring& targetPath, std::wstring& restoredFrom);

} // namespace sheen
