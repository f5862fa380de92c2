// frmMain's event handlers. Errors they do not expect go to MainWindow::Run.
#include "app/main_window.h"

#include "app/command_line.h"
#include "app/elevated_create.h"
#include "platform/dropped_files.h"
#include "platform/elevation.h"
#include "platform/file_dialog.h"
#include "platform/message_box.h"
#include "platform/shortcut.h"
#include "platform/status_bar.h"
#include "resources/product.h"
#include "stylescript/style_script_writer.h"
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
const std::wstring kAsAdministratorQuestion =
    L"Do you want to create the style script as administrator?";

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
    const StyleScriptOutcome outcome = WriteStyleScriptFile(path);
    const std::wstring told = StyleScriptOutcomeText(outcome);
    if (!MayCreateAsAdministrator(path, outcome.error)) {
        ShowMessage(hwnd(), told);
    } else if (AskYesNo(hwnd(), told + L"\r" + kAsAdministratorQuestion)) {
        if (const auto elevatedTold = CreateAsAdministrator(path))
            ShowMessage(hwnd(), *elevatedTold);
    }
}

std::optional<std::wstring> MainWindow::CreateAsAdministrator(const std::wstring& path) {
    UniqueKernelHandle process;
    DWORD error =
        StartSelfElevated(hwnd(), CreateArguments(hwnd(), PathForAdministrator(path)), process);
    DWORD exitCode = ERROR_SUCCESS;
    std::optional<std::wstring> relayed;
    if (error == ERROR_SUCCESS) {
        relayed_ = &relayed;
        ::EnableWindow(hwnd(), FALSE);
        error = WaitPumpingMessages(process.get(), exitCode);
        ::EnableWindow(hwnd(), TRUE);
        relayed_ = nullptr;
    }
    return ElevatedOutcomeText(error, exitCode, relayed);
}

void MainWindow::OnAboutClick() {
    ShowMessage(hwnd(), kAboutMessage, MB_ICONINFORMATION);
}

void MainWindow::OnHelpClick() {
    ShowMessage(hwnd(), kHelpMessage);
}

void MainWindow::OnDropFiles(HDROP drop) {
    if (const auto dropped = FirstDroppedFile(drop))
        ShowChosenPath(*dropped);
}

void MainWindow::ShowChosenPath(const std::wstring& path) {
    // As Browse's dialog does, a shortcut gives its target; one that leads to
    // no file changes nothing, as a dropped folder does.
    const std::optional<std::wstring> chosen = FollowShortcut(path);
    // Setting the text raises OnPathBoxChange, which enables Create.
    if (chosen)
        ::SetWindowTextW(control(Control::pathBox), chosen->c_str());
}

} // namespace sheen
