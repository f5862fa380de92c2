#include "stylescript/request.h"

#include "platform/file_read.h"
#include "platform/file_name.h"
#include "platform/win32_error.h"
#include "platform/xml_elements.h"
#include "stylescript/backups.h"
#include "stylescript/style_script.h"

#include <exception>

namespace sheen {
namespace {

// The manifest beside the program, as a Create and a removal would find it.
void InspectScript(const std::wstring& targetPath, Inspection& inspection) {
    const std::wstring scriptPath = StyleScriptPath(targetPath);
    std::string held;
    const DWORD read = ReadSmallFile(scriptPath, held);
    inspection.scriptExists = read != ERROR_FILE_NOT_FOUND && read != ERROR_PATH_NOT_FOUND;
    if (read == ERROR_SUCCESS) {
        inspection.isStyleScript = IsOwnStyleScript(held);
        inspection.hasItsStyleScript = held == StyleScriptFor(inspection.program.architecture);
        inspection.scriptStyled = DependsOnCommonControls6(held);
    }
    std::wstring path;
    if (inspection.scriptExists && !inspection.isStyleScript &&
        NextBackupPath(scriptPath, path) == ERROR_SUCCESS)
        inspection.keptAs = SplitPath(path).name;
    if (inspection.isStyleScript &&
        FindRestorableBackup(scriptPath, IsOwnStyleScript, path) == ERROR_SUCCESS)
        inspection.restoredFrom = SplitPath(path).name;
    // Only a manifest that is there can be read-only or a folder; only a style
    // script is taken away.
    inspection.createRefused =
        inspection.scriptExists && RefusedToAnyone(StyleScriptAction::create, targetPath);
    inspection.removalRefused =
        inspection.isStyleScript && RefusedToAnyone(StyleScriptAction::remove, targetPath);
}

StyleScriptOutcome CarryOutScript(ScriptStep step, const std::wstring& targetPath,
                                  const Inspection& inspection) {
    return step == ScriptStep::create ? WriteStyleScriptFile(targetPath, inspection.program)
                                      : RemoveStyleScriptOnly(targetPath);
}

StyleScriptOutcome CarryOutProgram(ProgramStep step, const std::wstring& targetPath,
                                   const ProgramUpdateHooks& hooks) {
    if (step == ProgramStep::putBack)
        return PutBackProgram(targetPath);
    try {
        return AddStyleToProgram(targetPath, hooks);
    } catch (...) {
        return StyleScriptFailure(StyleScriptAction::embed, ErrorCodeOf(std::current_exception()));
    }
}

} // namespace

Inspection Inspect(const std::wstring& targetPath) {
    Inspection inspection;
    inspection.error = CheckNewFileName(StyleScriptPath(targetPath));
    if (inspection.error != ERROR_SUCCESS)
        return inspection;
    // The program is opened once, for every question about it.
    std::wstring full;
    PeImage image;
    DWORD opened = FullPathForCreate(targetPath, full);
    if (opened == ERROR_SUCCESS)
        opened = image.Open(full);
    if (opened == ERROR_SUCCESS) {
        OwnManifest own;
        inspection.program = InspectTarget(image, &own);
        // Without a manifest of its own, a program has nothing to change or put back.
        if (inspection.program.hasOwnManifest)
            inspection.update = InspectProgramUpdate(targetPath, image, inspection.program, own);
    } else if (opened != ERROR_BAD_EXE_FORMAT) {
        inspection.program.readError = opened;
    }
    InspectScript(targetPath, inspection);
    return inspection;
}

ManifestInUse UsedManifest(const Inspection& inspection) {
    const TargetProgram& program = inspection.program;
    if (program.hasOwnManifest && !(program.fileComesFirst && inspection.scriptExists))
        return ManifestInUse::own;
    return inspection.scriptExists ? ManifestInUse::file : ManifestInUse::none;
}

bool GivesCommonControls6(const Inspection& inspection) {
    switch (UsedManifest(inspection)) {
    case ManifestInUse::own:
        return inspection.program.ownManifestStyled;
    case ManifestInUse::file:
        return inspection.scriptStyled;
    default:
        return false;
    }
}

bool WantsStyleInProgram(const Inspection& inspection) {
    // Without XmlLite the manifest was not judged: nothing is known to be missing.
    return inspection.program.embeddedManifestWins && !inspection.program.alreadyStyled &&
           XmlReaderAvailable();
}

Plan PlanOf(StyleScriptAction action) {
    switch (action) {
    case StyleScriptAction::remove:
        return kRemovalPlan;
    case StyleScriptAction::embed:
        return kAddStylePlan;
    default:
        return kCreatePlan;
    }
}

RequestOutcome CarryOutPlan(const Plan& plan, const std::wstring& targetPath,
                            const Inspection* inspection, const ProgramUpdateHooks& hooks) {
    Inspection inspected;
    if (!inspection && plan.script == ScriptStep::create) {
        inspected.program = InspectScriptTarget(targetPath);
        inspection = &inspected;
    }
    RequestOutcome outcome;
    // What Sheenwright changed in the program goes back before the script that came with it.
    if (plan.program == ProgramStep::putBack) {
        outcome.program = CarryOutProgram(plan.program, targetPath, hooks);
        if (outcome.program->error != ERROR_SUCCESS)
            return outcome;
    }
    if (plan.script != ScriptStep::none) {
        outcome.script =
            CarryOutScript(plan.script, targetPath, inspection ? *inspection : inspected);
        if (outcome.script->error != ERROR_SUCCESS)
            return outcome;
    }
    if (plan.program == ProgramStep::addStyle)
        outcome.program = CarryOutProgram(plan.program, targetPath, hooks);
    return outcome;
}

RequestOutcome PlanFailure(const Plan& plan, DWORD error) {
    RequestOutcome outcome;
    if (plan.script == ScriptStep::none)
        outcome.program = StyleScriptFailure(StyleScriptAction::embed, error);
    else
        outcome.script =
            StyleScriptFailure(plan.script == ScriptStep::remove ? StyleScriptAction::remove
                                                                 : StyleScriptAction::create,
                               error);
    return outcome;
}

DWORD ExitCodeOf(const RequestOutcome& outcome) {
    // The program is put back before the script goes, and styled after it is written.
    const bool programFirst =
        outcome.program && outcome.program->action == StyleScriptAction::remove;
    const std::optional<StyleScriptOutcome>* order[] = {
        programFirst ? &outcome.program : &outcome.script,
        programFirst ? &outcome.script : &outcome.program};
    for (const auto* step : order) {
        if (*step) {
            if (const DWORD code = ExitCodeOf(**step))
                return code;
        }
    }
    return ERROR_SUCCESS;
}

} // namespace sheen
