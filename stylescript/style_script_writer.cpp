#include "stylescript/style_script_writer.h"

#include "platform/file_name.h"
#include "platform/file_read.h"
#include "platform/file_replace.h"
#include "platform/file_times.h"
#include "stylescript/backups.h"
#include "stylescript/program_update.h"
#include "stylescript/style_script.h"
#include "stylescript/target_program.h"

#include <new>

namespace sheen {

std::wstring StyleScriptPath(const std::wstring& targetPath) {
    return targetPath + L".manifest";
}

namespace {

// The program at `targetPath`, inspected; `fullPath` receives its full path.
TargetProgram Inspect(const std::wstring& targetPath, std::wstring& fullPath) {
    // A device name must not be opened to be read; writing or removing refuses it.
    const bool inspectable = CheckNewFileName(StyleScriptPath(targetPath)) == ERROR_SUCCESS &&
                             FullPathForCreate(targetPath, fullPath) == ERROR_SUCCESS;
    return inspectable ? InspectTarget(fullPath) : TargetProgram{};
}

// So that Windows looks at the program's manifest again at its next start.
bool TouchFails(const TargetProgram& program, const std::wstring& fullPath) {
    return program.needsTouch && TouchLastWriteTime(fullPath) != ERROR_SUCCESS;
}

StyleScriptOutcome WriteFittingStyleScript(const std::wstring& targetPath) {
    std::wstring target;
    const TargetProgram program = Inspect(targetPath, target);
    StyleScriptOutcome outcome;
    std::wstring backup;
    outcome.error =
        ReplaceFileContents(StyleScriptPath(targetPath), StyleScriptFor(program.architecture),
                            &backup, IsOwnStyleScript);
    if (outcome.error != ERROR_SUCCESS)
        return outcome;
    outcome.backupName = SplitPath(backup).name;
    outcome.embeddedManifestWins = program.embeddedManifestWins;
    outcome.alreadyStyled = program.alreadyStyled;
    outcome.touchFailed = TouchFails(program, target);
    return outcome;
}

StyleScriptOutcome RemoveOwnStyleScript(const std::wstring& targetPath) {
    StyleScriptOutcome outcome;
    outcome.action = StyleScriptAction::remove;
    // The program's own manifest first, if Sheenwright added the style to it.
    std::wstring restored;
    outcome.error = RestoreProgram(targetPath, restored);
    if (outcome.error != ERROR_SUCCESS)
        return outcome;
    if (!restored.empty())
        outcome.programBackupName = SplitPath(restored).name;
    Removal removal = Removal::removed;
    outcome.error =
        RemoveFileContents(StyleScriptPath(targetPath), IsOwnStyleScript, removal, restored);
    if (outcome.error != ERROR_SUCCESS)
        return outcome;
    if (removal == Removal::nothingThere) {
        outcome.noManifest = true;
    } else if (removal == Removal::notOurs) {
        outcome.foreignManifest = true;
    } else {
        outcome.backupName = SplitPath(restored).name;
        std::wstring target;
        outcome.touchFailed = TouchFails(Inspect(targetPath, target), target);
    }
    return outcome;
}

// `carryOut`'s outcome; running out of memory is an error like any other.
template <typename CarryOut>
StyleScriptOutcome WithoutThrowing(StyleScriptAction action, CarryOut carryOut) {
    try {
        return carryOut();
    } catch (const std::bad_alloc&) {
        return StyleScriptFailure(action, ERROR_NOT_ENOUGH_MEMORY);
    }
}

} // namespace

DWORD ExitCodeOf(const StyleScriptOutcome& outcome) {
    if (outcome.error != ERROR_SUCCESS)
        return outcome.error;
    return outcome.foreignManifest ? kForeignManifestExitCode : ERROR_SUCCESS;
}

StyleScriptOutcome WriteStyleScriptFile(const std::wstring& targetPath) {
    return WithoutThrowing(StyleScriptAction::create,
                           [&] { return WriteFittingStyleScript(targetPath); });
}

StyleScriptOutcome RemoveStyleScriptFile(const std::wstring& targetPath) {
    return WithoutThrowing(StyleScriptAction::remove,
                           [&] { return RemoveOwnStyleScript(targetPath); });
}

StyleScriptOutcome CarryOutStyleScript(StyleScriptAction action, const std::wstring& targetPath) {
    if (action == StyleScriptAction::embed)
        return WithoutThrowing(action, [&] { return AddStyleToProgram(targetPath); });
    return action == StyleScriptAction::remove ? RemoveStyleScriptFile(targetPath)
                                               : WriteStyleScriptFile(targetPath);
}

StyleScriptOutcome StyleScriptFailure(StyleScriptAction action, DWORD error) {
    StyleScriptOutcome outcome;
    outcome.action = action;
    outcome.error = error;
    return outcome;
}

bool HasItsStyleScript(const std::wstring& targetPath, std::wstring& backupName) {
    const std::wstring scriptPath = StyleScriptPath(targetPath);
    std::string held;
    // Only one of its own is worth inspecting the program for, which Create does again.
    if (ReadSmallFile(scriptPath, held) != ERROR_SUCCESS || !IsOwnStyleScript(held))
        return false;
    std::wstring target;
    if (held != StyleScriptFor(Inspect(targetPath, target).architecture))
        return false;
    std::wstring backup;
    FindRestorableBackup(scriptPath, IsOwnStyleScript, backup);
    backupName = SplitPath(backup).name;
    return true;
}

bool RefusedToAnyone(StyleScriptAction action, const std::wstring& targetPath) {
    // A program update refuses a read-only program with an error of its own.
    if (action == StyleScriptAction::embed)
        return false;
    const std::wstring scriptPath = StyleScriptPath(targetPath);
    if (RefusesToReplace(scriptPath))
        return true;
    std::wstring backup;
    return action == StyleScriptAction::remove &&
           FindRestorableBackup(scriptPath, IsOwnStyleScript, backup) == ERROR_SUCCESS &&
           !backup.empty() && RefusesToReplace(backup);
}

} // namespace sheen
