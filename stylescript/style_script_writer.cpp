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

StyleScriptOutcome WriteFittingStyleScript(const std::wstring& targetPath) {
    const std::wstring scriptPath = StyleScriptPath(targetPath);
    // A device name must not be opened to be read; the write below refuses it.
    std::wstring target;
    const bool inspectable = CheckNewFileName(scriptPath) == ERROR_SUCCESS &&
                             FullPathForCreate(targetPath, target) == ERROR_SUCCESS;
    const TargetProgram program = inspectable ? InspectTarget(target) : TargetProgram{};

    StyleScriptOutcome outcome;
    std::wstring backup;
    outcome.error = ReplaceFileContents(scriptPath, StyleScriptFor(program.architecture), &backup,
                                        IsOwnStyleScript);
    if (outcome.error != ERROR_SUCCESS)
        return outcome;
    outcome.backupName = backup.substr(backup.find_last_of(L"\\/") + 1);
    outcome.embeddedManifestWins = program.embeddedManifestWins;
    outcome.alreadyStyled = program.alreadyStyled;
    if (program.needsTouch)
        outcome.touchFailed = TouchLastWriteTime(target) != ERROR_SUCCESS;
    return outcome;
}

} // namespace

StyleScriptOutcome WriteStyleScriptFile(const std::wstring& targetPath) {
    try {
        return WriteFittingStyleScript(targetPath);
    } catch (const std::bad_alloc&) {
        StyleScriptOutcome outcome;
        outcome.error = ERROR_NOT_ENOUGH_MEMORY;
        return outcome;
    }
}

std::wstring StyleScriptOutcomeText(const StyleScriptOutcome& outcome) {
    if (outcome.error != ERROR_SUCCESS)
        return ErrorText(outcome.error);
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
