#pragma once
// One request of the user's: the program and what lies beside it looked at
// once, and what is then to happen to the style script and to the program,
// carried out in one place. The window and the command line decide from the
// inspection and hand over a plan; the administrator's run is handed the plan.

#include "stylescript/program_update.h"
#include "stylescript/style_script_writer.h"
#include "stylescript/target_program.h"

#include <windows.h>

#include <optional>
#include <string>

namespace sheen {

// Which manifest Windows reads when it starts the program.
enum class ManifestInUse { none, file, own };

// Everything a question or a report needs about the program at a path, read once.
struct Inspection {
    DWORD error = ERROR_SUCCESS; // no script can be named for the path; nothing below is set
    TargetProgram program;
    // The manifest beside it.
    bool scriptExists = false;
    bool scriptStyled = false;      // it asks for Common Controls 6
    bool isStyleScript = false;     // a style script of any processor, replaced without keeping
    bool hasItsStyleScript = false; // the very script a Create would write now
    std::wstring keptAs;            // the name a Create would keep it under; empty for none
    std::wstring restoredFrom;      // the earlier manifest a removal would put back; empty for none
    bool createRefused = false;     // to anyone, an administrator too (see RefusedToAnyone)
    bool removalRefused = false;
    ProgramUpdateFacts update; // the program's own manifest
};

// Looks at the program at `targetPath` and what lies beside it, changing nothing.
Inspection Inspect(const std::wstring& targetPath);

// The manifest Windows reads for the inspected program, and whether it gives Common Controls 6.
ManifestInUse UsedManifest(const Inspection& inspection);
bool GivesCommonControls6(const Inspection& inspection);

// Whether the style belongs in the program's own manifest: Windows reads it
// instead of the script, and it was read (the system has XmlLite) and found
// not to give the style. It may still be refused (inspection.update.refusal).
bool WantsStyleInProgram(const Inspection& inspection);

// What is to happen: to the style script, then to the program. A removal of
// the script is preceded by putting back the program Sheenwright changed, if
// it did; the style is added once the script's step, if any, succeeded.
enum class ScriptStep { none, create, remove };
enum class ProgramStep { none, addStyle, putBack };
struct Plan {
    ScriptStep script = ScriptStep::none;
    ProgramStep program = ProgramStep::none;
    friend bool operator==(const Plan&, const Plan&) = default;
};
inline constexpr Plan kCreatePlan = {ScriptStep::create, ProgramStep::none};
inline constexpr Plan kRemovalPlan = {ScriptStep::remove, ProgramStep::putBack};
inline constexpr Plan kAddStylePlan = {ScriptStep::none, ProgramStep::addStyle};
// The plan of one action as the command line and the relay name it.
Plan PlanOf(StyleScriptAction action);

// What each step did; a step not carried out has no outcome.
struct RequestOutcome {
    std::optional<StyleScriptOutcome> script = std::nullopt;
    std::optional<StyleScriptOutcome> program = std::nullopt;
};

// Carries out `plan` for `targetPath`, with what `inspection` found there
// (inspected again where null). Never throws: what `hooks` throw, or running
// out of memory, is the failure of the step they belong to.
RequestOutcome CarryOutPlan(const Plan& plan, const std::wstring& targetPath,
                            const Inspection* inspection = nullptr,
                            const ProgramUpdateHooks& hooks = {});

// The outcome of `plan` that stopped at `error` before its first step.
RequestOutcome PlanFailure(const Plan& plan, DWORD error);

// The first failure's code (see ExitCodeOf), or ERROR_SUCCESS.
DWORD ExitCodeOf(const RequestOutcome& outcome);

} // namespace sheen
