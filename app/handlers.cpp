// frmMain's event handlers. Errors they do not expect go to MainWindow::Run.
#include "app/main_window.h"

#include "platform/file_dialog.h"
#include "platform/message_box.h"
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

} // namespace

void MainWindow::Form_Load() {
    SetStatusText(S_, CurrentSystemDescription());
}

void MainWindow::Text1_Change() {
    ::EnableWindow(Command1_, ::GetWindowTextLengthW(Text1_) > 0);
}

void MainWindow::cmdBrowse_Click() {
    // Setting the text raises Text1_Change, which enables Create.
    if (const auto chosen = ChooseFileToOpen(hwnd(), kBrowseFilter))
        ::SetWindowTextW(Text1_, chosen->c_str());
}

void MainWindow::Command1_Click() {
    WriteStyleScript(PathText());
}

void MainWindow::About_Click() {
    ShowMessage(hwnd(), kAboutMessage, MB_ICONINFORMATION);
}

void MainWindow::Help_Click() {
    ShowMessage(hwnd(), kHelpMessage);
}

void MainWindow::WriteStyleScript(const std::wstring& targetPath) {
    sheen::WriteStyleScript(hwnd(), targetPath);
}

} // namespace sheen
