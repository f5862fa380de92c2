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

// So that Windows looks at the program's manifest again at its next start.
bool TouchFails(const TargetProgram& program, const std::wstring& targetPath) {
    std::wstring full;
    return program.needsTouch && FullPathForCreate(targetPath, full) == ERROR_SUCCESS &&
           TouchLastWriteTime(full) != ERROR_SUCCESS;
}

StyleScriptOutcome WriteFittingStyleScript(const std::wstring& targetPath,
                                           const TargetProgram& program) {
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
    outcome.touchFailed = TouchFails(program, targetPath);
    return outcome;
}

StyleScriptOutcome RemoveOwnStyleScript(const std::wstring& targetPath) {
    StyleScriptOutcome outcome;
    outcome.action = StyleScriptAction::remove;
    std::wstring restored;
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
        outcome.touchFailed = TouchFails(InspectScriptTarget(targetPath), targetPath);
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

TargetProgram InspectScriptTarget(const std::wstring& targetPath) {
    // A device name must not be opened to be read; writing or removing refuses it.
    std::wstring full;
    const bool inspectable = CheckNewFileName(StyleScriptPath(targetPath)) == ERROR_SUCCESS &&
                             FullPathForCreate(targetPath, full) == ERROR_SUCCESS;
    return inspectable ? InspectTarget(full) : TargetProgram{};
}

StyleScriptOutcome WriteStyleScriptFile(const std::wstring& targetPath) {
    return WithoutThrowing(StyleScriptAction::create, [&] {
        return WriteFittingStyleScript(targetPath, InspectScriptTarget(targetPath));
    });
}

StyleScriptOutcome WriteStyleScriptFile(const std::wstring& targetPath,
                                        const TargetProgram& program) {
    return WithoutThrowing(StyleScriptAction::create,
                           [&] { return WriteFittingStyleScript(targetPath, program); });
}

StyleScriptOutcome PutBackProgram(const std::wstring& targetPath) {
    return WithoutThrowing(StyleScriptAction::remove, [&] {
        StyleScriptOutcome outcome;
        outcome.action = StyleScriptAction::remove;
        std::wstring restored;
        outcome.error = RestoreProgram(targetPath, restored);
        if (outcome.error == ERROR_SUCCESS && !restored.empty())
            outcome.programBackupName = SplitPath(restored).name;
        return outcome;
    });
}

StyleScriptOutcome RemoveStyleScriptOnly(const std::wstring& targetPath) {
    return WithoutThrowing(StyleScriptAction::remove,
                           [&] { return RemoveOwnStyleScript(targetPath); });
}

StyleScriptOutcome RemoveStyleScriptFile(const std::wstring& targetPath) {
    // The program's own manifest first, if Sheenwright added the style to it.
    StyleScriptOutcome program = PutBackProgram(targetPath);
    if (program.error != ERROR_SUCCESS)
        return program;
    StyleScriptOutcome outcome = RemoveStyleScriptOnly(targetPath);
    if (outcome.error == ERROR_SUCCESS)
        outcome.programBackupName = std::move(program.programBackupName);
    return outcome;
}

StyleScriptOutcome StyleScriptFailure(StyleScriptAction action, DWORD error) {
    StyleScriptOutcome outcome;
    outcome.action = action;
    outcome.error = error;
    return outcome;
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
