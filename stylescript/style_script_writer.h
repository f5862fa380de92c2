#pragma once

#include "stylescript/target_program.h"

#include <windows.h>

#include <string>

namespace sheen {

// The style script's file name: the target path with ".manifest" appended,
// nothing trimmed or resolved.
std::wstring StyleScriptPath(const std::wstring& targetPath);

// What the user asks for: the style script written, or taken away again; or
// the visual style added to the program's own manifest (see program_update.h).
enum class StyleScriptAction { create, remove, embed };

// What a Create or a removal did, and what the user should know about it besides.
struct StyleScriptOutcome {
    DWORD error = ERROR_SUCCESS; // the first error; then nothing else below is set
    // Create: where the earlier manifest was kept; removal: the backup put
    // back as the manifest. File name only; empty for none.
    std::wstring backupName;
    bool embeddedManifestWins = false; // Windows reads the program's own manifest instead
    bool alreadyStyled = false;        // which already gives the program the visual style
    bool touchFailed = false;          // Windows may go on using what it remembers
    StyleScriptAction action = StyleScriptAction::create;
    bool noManifest = false;      // removal: there was none, so nothing was done
    bool foreignManifest = false; // removal: not a style script, so it was left alone
    bool unreported = false;      // it succeeded, but did not say what it found or did
    // embed: where the program as it was is kept; removal: the backup the
    // program came back from. File name only; empty for none.
    std::wstring programBackupName = {};
    // embed: the side-by-side loader's own error behind kWouldNotStart
    DWORD systemError = ERROR_SUCCESS;
    // embed: this system lacks what the manifest names, so it could not show
    // that Windows starts the changed program
    bool unproven = false;
};

// The exit code for an outcome: 0 for success (a removal with nothing to
// remove included), kForeignManifestExitCode for a manifest that is not a
// style script, else the error.
inline constexpr DWORD kForeignManifestExitCode = ERROR_INVALID_DATA;
DWORD ExitCodeOf(const StyleScriptOutcome& outcome);

// Writes the style script that fits the program at `targetPath` (its
// processor's, see StyleScriptFor): afterwards its manifest holds the whole
// script, or whatever it held before. An earlier manifest with other bytes,
// unless it is a style script of any processor, is first kept as
// <manifest>.bak (or .bak2, ...), and that backup marked as the one a removal
// puts back. On systems that remember a program's manifest, a target read as
// a program then has its last-write time set to now. Never throws: running
// out of memory is ERROR_NOT_ENOUGH_MEMORY.
StyleScriptOutcome WriteStyleScriptFile(const std::wstring& targetPath);

// The same, for the program as InspectScriptTarget found it.
StyleScriptOutcome WriteStyleScriptFile(const std::wstring& targetPath,
                                        const TargetProgram& program);

// The program at `targetPath` as Create reads it: nothing for a name it would refuse.
TargetProgram InspectScriptTarget(const std::wstring& targetPath);

// Takes the style script of `targetPath` away again: if its manifest is
// exactly a style script (of any processor), the earlier manifest the last
// Create kept (see RemoveFileContents) is put back in its place in one step,
// or without one the manifest is deleted; then the program is touched as by
// Create. A manifest that is not a style script, and every backup, stays as
// it is (foreignManifest); with no manifest nothing is done (noManifest). The
// path is checked as Create checks it. Never throws.
StyleScriptOutcome RemoveStyleScriptFile(const std::wstring& targetPath);

// Whether `action` for `targetPath` is refused whoever asks, an administrator
// too: the manifest, or the backup a removal would put back, is read-only or a
// folder.
bool RefusedToAnyone(StyleScriptAction action, const std::wstring& targetPath);

// The two halves of RemoveStyleScriptFile, each alone: the program put back
// (see RestoreProgram), its backup's name in `programBackupName`; and the
// script taken away, the program left as it is.
StyleScriptOutcome PutBackProgram(const std::wstring& targetPath);
StyleScriptOutcome RemoveStyleScriptOnly(const std::wstring& targetPath);

// The outcome of `action` that stopped at `error`.
StyleScriptOutcome StyleScriptFailure(StyleScriptAction action, DWORD error);

} // namespace sheen
