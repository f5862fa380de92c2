// frmMain's event handlers. Errors they do not expect go to MainWindow::RunHandler.
#include "app/main_window.h"

#include "app/administrator_relay.h"
#include "app/outcome_text.h"
#include "app/fault_injection.h"
#include "platform/dropped_files.h"
#include "platform/elevation.h"
#include "platform/file_dialog.h"
#include "platform/message_box.h"
#include "platform/message_wait.h"
#include "platform/shortcut.h"
#include "platform/status_bar.h"
#include "resources/product.h"
#include "stylescript/request.h"
#include "sysdesc/system_description.h"

namespace sheen {
namespace {

// As the user sees it: the description, then the pattern after the bar.
const std::wstring kBrowseFilter = L"Manifest Files  (*.exe)| *.exe";

// Message lines are joined by a lone CR, which a message box shows as a line break.
const std::wstring kAboutMessage = L"" SHEENWRIGHT_TITLE L"\r"
                                   L"By: " SHEENWRIGHT_COMPANY L"\r"
                                   L"https://www.corvatt.example/";

const std::wstring kHelpMessage =
    L"Instructions:\r"
    L"  1)Click on the Browse button and select the file you want to apply the visual styles\r"
    L"  2)Click on the Creat button\r"
    L"Remember that the created script file must be kept in the same directory as the original "
    L"file.";

// Follows the system's description of the denial, as a line of its own.
std::wstring AsAdministratorQuestion(const Plan& plan) {
    if (plan.script == ScriptStep::remove)
        return L"Do you want to remove the style script as administrator?";
    if (plan.script == ScriptStep::none)
        return L"Do you want to add the visual style to the program as administrator?";
    return L"Do you want to create the style script as administrator?";
}

// The same for a Create where the style belongs in the program's own
// manifest: one question for both, so that one administrator's run does all.
std::wstring AsAdministratorWithStyleQuestion(const std::wstring& programKeptAs) {
    return L"Do you want to create the style script as administrator, and add the visual style "
           L"to the program's own manifest too, which Windows reads instead? The program as it "
           L"is now is kept as " +
           ProgramKeptAs(programKeptAs) +
           L".\rYes does both, No creates the style script alone, Cancel does neither.";
}

// Whether a Create's box offers to add the style to the program's own manifest.
bool OffersStyle(const Inspection& inspection) {
    return WantsStyleInProgram(inspection) && inspection.update.refusal == ERROR_SUCCESS;
}

// Asked when Creat would write the very script the program already has.
std::wstring RemovalQuestion(const std::wstring& backupName, const std::wstring& programBackup) {
    std::wstring question = L"This program already has its style script.\rDo you want to remove it";
    if (!backupName.empty())
        question += L" and put back the earlier manifest, " + backupName;
    if (!programBackup.empty())
        question += L", and put back the program as it was, from " + programBackup;
    return question + L"?";
}

// Sets a flag for the life of a scope, whatever ends it.
class FlagScope {
  public:
    explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;
    ~FlagScope() { flag_ = false; }

  private:
    bool& flag_;
};

} // namespace

void MainWindow::OnLoad() {
    SetStatusText(control(Control::statusBar), CurrentSystemDescription());
}

void MainWindow::OnPathBoxChange() {
    ::EnableWindow(control(Control::createButton),
                   ::GetWindowTextLengthW(control(Control::pathBox)) > 0);
}

void MainWindow::OnBrowseClick() {
    // Setting the text raises OnPathBoxChange, which enables Create.
    if (const auto chosen = ChooseFileToOpen(hwnd(), kBrowseFilter))
        ::SetWindowTextW(control(Control::pathBox), chosen->c_str());
}

void MainWindow::OnCreateClick() {
    const std::wstring path = PathText();
    const Inspection inspection = Inspect(path);
    // Pressed again over its own script, Creat offers to take it away.
    Plan plan = kCreatePlan;
    if (inspection.hasItsStyleScript &&
        AskYesNo(hwnd(), RemovalQuestion(inspection.restoredFrom, inspection.update.restoredFrom)))
        plan = kRemovalPlan;
    bool styleAsked = false;
    std::optional<RequestOutcome> outcome = CarryOutOrElevate(plan, path, inspection, styleAsked);
    if (!outcome)
        return;
    const bool created = outcome->script && outcome->script->action == StyleScriptAction::create &&
                         outcome->script->error == ERROR_SUCCESS && !outcome->program;
    std::wstring told = RequestOutcomeText(*outcome);
    if (created && !styleAsked && WantsStyleInProgram(inspection)) {
        // Where the program's own manifest wins, the style can go into it instead.
        if (!OffersStyle(inspection)) {
            told += L"\r" + StyleRefusalLine(inspection.update.refusal);
        } else {
            if (!AskYesNo(hwnd(), told + L"\r" + EmbeddingQuestion(inspection.update.keptAs)))
                return;
            outcome = CarryOutOrElevate(kAddStylePlan, path, inspection, styleAsked);
            if (!outcome)
                return;
            told = RequestOutcomeText(*outcome);
        }
    }
    ShowMessage(hwnd(), told);
}

std::optional<RequestOutcome> MainWindow::CarryOutOrElevate(Plan plan, const std::wstring& path,
                                                            const Inspection& inspection,
                                                            bool& styleAsked) {
    const RequestOutcome outcome = CarryOutPlan(plan, path, &inspection, UpdateHooks());
    if (!MayRunAsAdministrator(plan, inspection, ExitCodeOf(outcome)))
        return outcome;
    const FlagScope busy(relayBusy_);
    const std::wstring denied = RequestOutcomeText(outcome) + L"\r";
    if (plan == kCreatePlan && OffersStyle(inspection)) {
        styleAsked = true;
        const int answer = AskYesNoCancel(
            hwnd(), denied + AsAdministratorWithStyleQuestion(inspection.update.keptAs));
        if (answer == IDCANCEL)
            return std::nullopt;
        if (answer == IDYES)
            plan.program = ProgramStep::addStyle;
    } else if (!AskYesNo(hwnd(), denied + AsAdministratorQuestion(plan))) {
        return std::nullopt;
    }
    return RunAsAdministrator(plan, path);
}

std::optional<RequestOutcome> MainWindow::RunAsAdministrator(const Plan& plan,
                                                             const std::wstring& path) {
    RelayRequest request = NewRelayRequest(plan, hwnd());
    std::wstring handedOver;
    if (const DWORD error = PinProgramFolder(path, handedOver, request.folder))
        return PlanFailure(plan, error);
    UniqueKernelHandle process;
    DWORD processId = 0;
    ::EnableWindow(hwnd(), FALSE);
    relayWait_.Begin(request);
    DWORD error =
        StartSelfElevated(hwnd(), RelayArguments(request, handedOver), process, processId);
    if (!hwnd())
        return std::nullopt; // closed meanwhile
    ::EnableWindow(hwnd(), TRUE);
    if (error != ERROR_SUCCESS)
        relayWait_.End(error);
    if (error == ERROR_CANCELLED)
        return std::nullopt; // the user said no to the consent prompt: nothing to tell
    if (error != ERROR_SUCCESS)
        return PlanFailure(plan, error);
    relayWait_.Started(processId);
    DWORD exitCode = 0;
    bool quit = false;
    error = WaitForProcessDroppingInput(process.get(), exitCode, quit);
    const RequestOutcome outcome = relayWait_.End(exitCode);
    if (quit)
        return std::nullopt; // the window closed; the administrator's run ends on its own
    return error == ERROR_SUCCESS ? outcome : PlanFailure(plan, error);
}

void MainWindow::OnAboutClick() {
    ShowMessage(hwnd(), kAboutMessage, MB_ICONINFORMATION);
}

void MainWindow::OnHelpClick() {
    ShowMessage(hwnd(), kHelpMessage);
}

void MainWindow::OnDropFiles(HDROP drop) {
    if (const auto dropped = FirstDroppedFile(drop))
        ShowPathOrShortcutTarget(*dropped);
}

void MainWindow::ShowPathOrShortcutTarget(const std::wstring& path) {
    // As Browse's dialog does, a shortcut gives its target; one that leads to
    // no file changes nothing, as a dropped folder does.
    // Setting the text raises OnPathBoxChange, which enables Create.
    std::wstring chosen;
    if (FollowShortcut(path, chosen) == ERROR_SUCCESS)
        ::SetWindowTextW(control(Control::pathBox), chosen.c_str());
}

} // namespace sheen
