#include "stylescript/style_script_writer.h"

#include "platform/error_text.h"
#include "platform/file_name.h"
#include "platform/file_output.h"
#include "platform/file_times.h"
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

std::wstring FileNameOf(const std::wstring& path) {
    return path.substr(path.find_last_of(L"\\/") + 1);
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
    outcome.backupName = FileNameOf(backup);
    outcome.embeddedManifestWins = program.embeddedManifestWins;
    outcome.alreadyStyled = program.alreadyStyled;
    outcome.touchFailed = TouchFails(program, target);
    return outcome;
}

StyleScriptOutcome RemoveOwnStyleScript(const std::wstring& targetPath) {
    StyleScriptOutcome outcome;
    outcome.action = StyleScriptAction::remove;
    std::wstring restored;
    const DWORD error = RemoveFileContents(StyleScriptPath(targetPath), IsOwnStyleScript, restored);
    if (error == ERROR_FILE_NOT_FOUND) {
        outcome.noManifest = true;
    } else if (error == ERROR_INVALID_DATA) {
        outcome.foreignManifest = true;
    } else if (error != ERROR_SUCCESS) {
        outcome.error = error;
    } else {
        outcome.backupName = FileNameOf(restored);
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

std::wstring RemovalText(const StyleScriptOutcome& outcome) {
    if (outcome.noManifest)
        return L"There is no manifest beside the program: nothing was removed.";
    if (outcome.foreignManifest)
        return L"The manifest beside the program is not a style script and was left as it is.";
    if (outcome.unreported)
        return L"The program has no style script any more; the administrator's run did not say "
               L"more.";
    std::wstring text = L"The style script was removed.";
    if (!outcome.backupName.empty())
        text += L"\rThe earlier manifest is back in its place, from " + outcome.backupName + L".";
    if (outcome.touchFailed)
        text += L"\rWindows may notice the change only after a restart.";
    return text;
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
    FindRestorableBackup(scriptPath, backup);
    backupName = FileNameOf(backup);
    return true;
}

std::wstring StyleScriptOutcomeText(const StyleScriptOutcome& outcome) {
    if (outcome.error != ERROR_SUCCESS)
        return ErrorText(outcome.error);
    if (outcome.action == StyleScriptAction::remove)
        return RemovalText(outcome);
    // One CR alone breaks the line in a message box.
    std::wstring text =
        L"Style script created successfully.\r"
        L"Note: The created script file must be kept in the same directory as the .exe file!";
    if (!outcome.backupName.empty())
        text += L"\rThe earlier manifest was kept as " + outcome.backupName + L".";
    if (outcome.embeddedManifestWins) {
        text += L"\rWindows uses the program's own embedded manifest instead of this file.";
        if (outcome.alreadyStyled)
            text += L"\rThe program's own manifest already gives it the visual style.";
    }
    if (outcome.touchFailed)
        text += L"\rWindows may use the script only after a restart.";
    return text;
}

} // namespace sheen
