#include "app/outcome_text.h"

#include "platform/error_text.h"
#include "stylescript/reasons.h"
#include "stylescript/style_script.h"

namespace sheen {
namespace {

// One of Sheenwright's own reasons: why it is so, then what came of it.
struct Refusal {
    DWORD error;
    const wchar_t* reason;
    const wchar_t* consequence; // after ": "; none where the reason says it all
};

constexpr const wchar_t* kLeftAsItIs = L"it was left as it is.";
constexpr const wchar_t* kProgramLeftAsItIs = L"the program was left as it is.";

// Why a program's own manifest was not changed, or not taken back, and why
// an administrator's run did nothing.
constexpr Refusal kRefusals[] = {
    {kFolderChangedError, L"The folder changed while Sheenwright was working in it.", nullptr},
    {kSignedProgram, L"The program carries a digital signature, which the change would break",
     kLeftAsItIs},
    {kDotNetProgram,
     L"The program is a .NET program, whose own manifest Sheenwright does not change", kLeftAsItIs},
    {kDataAfterSections,
     L"The program carries data after its last section (an installer or a self-extracting "
     L"archive, for example), which the change would lose",
     kLeftAsItIs},
    {kReadOnlyProgram, L"The program is read-only", kLeftAsItIs},
    {kProgramInUse, L"The program is running or open in another program", kLeftAsItIs},
    {kUnreadableManifest, L"The program's own manifest cannot be read as XML", kProgramLeftAsItIs},
    {kOtherCommonControlsVersion,
     L"The program's own manifest already asks for another version of the common controls, "
     L"beside which Windows would not take version 6",
     kProgramLeftAsItIs},
    {kResourcesShareSection,
     L"The program keeps other data that Windows reads in its resources' section, which the "
     L"change would disturb",
     kLeftAsItIs},
    {kSectionAfterResources,
     L"The program has other sections after its resources, which the change would have to move",
     kLeftAsItIs},
    {kCheckAfterChangeFailed,
     L"The changed program did not read back as intended, so nothing was changed",
     kProgramLeftAsItIs},
    {kProgramChangedSince,
     L"The program has changed since Sheenwright added the visual style to it, so its earlier "
     L"copy was not put back",
     L"nothing was removed."},
};

const Refusal* RefusalOf(DWORD error) {
    for (const Refusal& refusal : kRefusals) {
        if (refusal.error == error)
            return &refusal;
    }
    return nullptr;
}

// Why, for a line that goes on after a colon: the reason alone, its first
// letter small; the system's description as it is.
std::wstring ReasonAfterColon(DWORD error) {
    const Refusal* refusal = RefusalOf(error);
    if (!refusal)
        return ErrorText(error);
    std::wstring reason = refusal->reason;
    if (reason[0] >= L'A' && reason[0] <= L'Z')
        reason[0] = wchar_t(reason[0] - L'A' + L'a'); // every reason begins in ASCII
    return refusal->consequence ? reason + L"." : reason;
}

std::wstring EmbeddingText(const StyleScriptOutcome& outcome) {
    if (outcome.unreported)
        return L"The administrator's run ended without an error; it did not say more.";
    if (outcome.programBackupName.empty())
        return L"The program's own manifest already gives it the visual style.";
    std::wstring text = L"The visual style was added to the program's own manifest.\r"
                        L"The program as it was is kept as " +
                        outcome.programBackupName + L".";
    if (outcome.unproven)
        text += L"\rThis system lacks an assembly that the program's manifest names, so "
                L"Sheenwright could not check here that Windows starts the changed program.";
    return text;
}

std::wstring RemovalText(const StyleScriptOutcome& outcome) {
    // The program Sheenwright changed comes back whatever is beside it.
    const std::wstring program =
        outcome.programBackupName.empty()
            ? L""
            : L"The program is back as it was, from " + outcome.programBackupName + L".";
    if (outcome.noManifest)
        return program.empty() ? L"There is no manifest beside the program: nothing was removed."
                               : program;
    if (outcome.foreignManifest)
        return L"The manifest beside the program is not a style script and was left as it is." +
               (program.empty() ? L"" : L"\r" + program);
    if (outcome.unreported)
        return L"The program has no style script any more; the administrator's run did not say "
               L"more.";
    std::wstring text = L"The style script was removed.";
    if (!outcome.backupName.empty())
        text += L"\rThe earlier manifest is back in its place, from " + outcome.backupName + L".";
    if (!program.empty())
        text += L"\r" + program;
    if (outcome.touchFailed)
        text += L"\rWindows may notice the change only after a restart.";
    return text;
}

} // namespace

std::wstring StyleScriptOutcomeText(const StyleScriptOutcome& outcome) {
    if (outcome.error == kWouldNotStart)
        return L"Windows would not start the program with the changed manifest, so nothing was "
               L"changed: the program was left as it is.\r" +
               ErrorText(outcome.systemError);
    if (outcome.error != ERROR_SUCCESS)
        return ReasonText(outcome.error);
    if (outcome.action == StyleScriptAction::remove)
        return RemovalText(outcome);
    if (outcome.action == StyleScriptAction::embed)
        return EmbeddingText(outcome);
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

std::wstring ReasonText(DWORD error) {
    const Refusal* refusal = RefusalOf(error);
    if (!refusal)
        return ErrorText(error);
    return refusal->consequence ? std::wstring(refusal->reason) + L": " + refusal->consequence
                                : std::wstring(refusal->reason);
}

std::wstring RequestOutcomeText(const RequestOutcome& outcome) {
    if (!outcome.script)
        return outcome.program ? StyleScriptOutcomeText(*outcome.program) : L"";
    if (!outcome.program)
        return StyleScriptOutcomeText(*outcome.script);
    if (outcome.program->action == StyleScriptAction::remove) {
        // One removal took back the program and the script: told as one.
        StyleScriptOutcome removal = *outcome.script;
        removal.programBackupName = outcome.program->programBackupName;
        return StyleScriptOutcomeText(removal);
    }
    return StyleScriptOutcomeText(*outcome.script) + L"\r" +
           StyleScriptOutcomeText(*outcome.program);
}

std::wstring ProgramKeptAs(const std::wstring& backupName) {
    return backupName.empty() ? L"a backup beside it" : backupName;
}

std::wstring StyleRefusalLine(DWORD refusal) {
    return L"The visual style cannot be added to the program's own manifest: " +
           ReasonAfterColon(refusal);
}

std::wstring EmbeddingQuestion(const std::wstring& backupName) {
    return L"Do you want Sheenwright to add the visual style to the program's own manifest? "
           L"The program as it is now is kept as " +
           ProgramKeptAs(backupName) + L".";
}

namespace {

std::wstring ProcessorLine(const TargetProgram& program) {
    if (!program.isProgram)
        return L"The file is not a Windows program.";
    const std::string_view architecture = program.architecture;
    const wchar_t* process = architecture == kArchitectureX86     ? L"a 32-bit x86 process"
                             : architecture == kArchitectureAmd64 ? L"an x64 process"
                             : architecture == kArchitectureArm64 ? L"an ARM64 process"
                             : architecture == kArchitectureArm   ? L"a 32-bit ARM process"
                                                                  : nullptr;
    return process ? std::wstring(L"The program runs as ") + process + L"."
                   : L"The program runs as a process of whichever processor the system has.";
}

std::wstring ManifestLine(const Inspection& inspection) {
    const std::wstring gives = GivesCommonControls6(inspection)
                                   ? L"which gives it Common Controls 6, and so the visual style."
                                   : L"which does not give it Common Controls 6.";
    switch (UsedManifest(inspection)) {
    case ManifestInUse::own:
        return L"Windows uses the program's own manifest, " + gives;
    case ManifestInUse::file:
        return L"Windows uses the manifest beside the program, " + gives;
    default:
        return L"Windows finds no manifest for the program, so it does not get Common "
               L"Controls 6.";
    }
}

std::wstring CreateLine(const Inspection& inspection) {
    if (inspection.createRefused)
        return L"Creat would be refused: the manifest beside the program is read-only or a "
               L"folder.";
    if (inspection.hasItsStyleScript)
        return L"The program already has its style script: Creat would offer to remove it.";
    if (inspection.isStyleScript)
        return L"Creat would write the style script over the one beside the program, which is "
               L"for another processor.";
    if (!inspection.keptAs.empty())
        return L"Creat would keep the earlier manifest as " + inspection.keptAs + L".";
    return L"Creat would write the style script; there is no earlier manifest to keep.";
}

std::wstring OwnManifestLine(const Inspection& inspection) {
    const TargetProgram& program = inspection.program;
    if (!program.hasOwnManifest)
        return L"The program has no manifest of its own: the style script is the one Windows "
               L"reads.";
    if (program.ownManifestStyled)
        return L"The program's own manifest already gives it the visual style.";
    if (program.fileComesFirst)
        return L"Windows reads the style script before the program's own manifest here, so "
               L"the style is not added to it.";
    if (!WantsStyleInProgram(inspection))
        return L"The program's own manifest cannot be read as XML here, so the style is not "
               L"added to it.";
    if (inspection.update.refusal != ERROR_SUCCESS)
        return StyleRefusalLine(inspection.update.refusal);
    return L"The visual style can be added to the program's own manifest; the program would "
           L"be kept as " +
           ProgramKeptAs(inspection.update.keptAs) + L".";
}

std::wstring RemovalLine(const Inspection& inspection) {
    if (inspection.update.restoreError != ERROR_SUCCESS)
        return L"A removal would be refused: " + ReasonAfterColon(inspection.update.restoreError);
    const std::wstring& program = inspection.update.restoredFrom;
    if (inspection.scriptExists && !inspection.isStyleScript)
        return L"A removal would leave the manifest beside the program as it is: it is not a "
               L"style script." +
               (program.empty()
                    ? L""
                    : L" It would put back the program as it was, from " + program + L".");
    std::wstring line;
    if (inspection.isStyleScript)
        line = inspection.restoredFrom.empty()
                   ? L"A removal would take the style script away"
                   : L"A removal would put back the earlier manifest, " + inspection.restoredFrom;
    if (!program.empty())
        line += (line.empty() ? L"A removal would put back" : L", and put back") +
                std::wstring(L" the program as it was, from ") + program;
    return line.empty() ? L"A removal would find nothing of Sheenwright's to take back."
                        : line + L".";
}

} // namespace

std::wstring InspectionText(const Inspection& inspection) {
    std::wstring text = ProcessorLine(inspection.program) + L"\r" + ManifestLine(inspection) +
                        L"\r" + CreateLine(inspection);
    if (inspection.program.isProgram)
        text += L"\r" + OwnManifestLine(inspection);
    return text + L"\r" + RemovalLine(inspection);
}

} // namespace sheen
