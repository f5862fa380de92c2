#pragma once
// The visual style added to a program's own manifest, for the programs whose
// embedded manifest Windows reads instead of the style script, and taken back
// again. The program is kept byte for byte beside it first; the changed
// program is written beside it by Sheenwright's own resource writer, read
// back, checked and put to the side-by-side loader, and only then swapped in.

#include "platform/file_swap.h"
#include "platform/pe_image.h"
#include "stylescript/reasons.h"
#include "stylescript/style_script_writer.h"

#include <windows.h>

#include <string>

namespace sheen {

// What the tests put in the place of the update's steps, to make them fail.
struct ProgramUpdateHooks {
    void (*afterCopyWritten)() = nullptr;                 // may throw
    void (*spoilManifest)(std::string& merged) = nullptr; // before the copy is written
    ReplaceFunction replace = nullptr;                    // ReplaceFileW where null
};

// What a program update, or its undo, would do with the program at
// `targetPath`, open as `image` and inspected as `program` (which carries a
// manifest of its own, read as `own`), found without changing anything.
struct ProgramUpdateFacts {
    // Why the style cannot be added to its own manifest (as AddStyleToProgram
    // refuses it up front, but for who holds the program); ERROR_SUCCESS where
    // it can, or where it is there already.
    DWORD refusal = ERROR_SUCCESS;
    std::wstring keptAs;                // the file name the program would be kept under
    std::wstring restoredFrom;          // the backup an undo would put back; empty for none
    DWORD restoreError = ERROR_SUCCESS; // why an undo would be refused
};
ProgramUpdateFacts InspectProgramUpdate(const std::wstring& targetPath, const PeImage& image,
                                        const TargetProgram& program, const OwnManifest& own);

// Adds the Common Controls 6 dependency, for the processor the style script
// names, to the manifest embedded in the program at `targetPath`. Refused,
// with nothing changed: a read-only program (kReadOnlyProgram), one open
// elsewhere (kProgramInUse), a signed one (kSignedProgram), a
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
