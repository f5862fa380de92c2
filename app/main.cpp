// Sheenwright: gives a program the visual style by writing a manifest beside it.
#include "app/command_line.h"
#include "app/main_window.h"

#include "platform/message_box.h"
#include "platform/system_dlls.h"
#include "platform/win32_error.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

namespace {

// The modes without a window; an error nobody expected ends them with its code.
int RunWithoutWindow(const sheen::CommandLine& commandLine) {
    try {
        if (commandLine.mode != sheen::CommandLine::Mode::relayed)
            return sheen::RunScriptedCommand(commandLine);
        if (commandLine.programs.size() != 1)
            return ERROR_INVALID_PARAMETER;
        return sheen::RunRelayedRequest(commandLine.relay, commandLine.programs.front());
    } catch (...) {
        return static_cast<int>(sheen::ErrorCodeOf(std::current_exception()));
    }
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    // First, before the Common Controls, the shell or COM load anything by name.
    sheen::KeepDllSearchesToSystemFolder();
    // A program opened with Sheenwright, dropped on its icon or sent to it
    // arrives as the first argument, split by the C runtime as Windows splits
    // command lines (quotes group blanks); /create and /remove ask for no
    // window at all.
    sheen::CommandLine commandLine;
    try {
        commandLine = sheen::ParseCommandLine(
            __argc > 1 && __wargv ? std::vector<std::wstring>(__wargv + 1, __wargv + __argc)
                                  : std::vector<std::wstring>());
    } catch (...) {
        return static_cast<int>(sheen::ErrorCodeOf(std::current_exception()));
    }
    if (commandLine.mode != sheen::CommandLine::Mode::window)
        return RunWithoutWindow(commandLine);

    sheen::LoadCommonControls(ICC_BAR_CLASSES | ICC_STANDARD_CLASSES);

    sheen::MainWindow frmMain;
    try {
        frmMain.Create(instance, showCommand,
                       commandLine.programs.empty() ? L"" : commandLine.programs.front());
    } catch (...) {
        sheen::ShowCurrentError(nullptr);
        return 1;
    }

    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        // The dialog manager gives Tab, Shift+Tab and the arrow keys their usual meaning.
        if (::IsDialogMessageW(frmMain.hwnd(), &message))
            continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
