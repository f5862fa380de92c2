#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace sheen::test {

// What a shown message box says, read back from its window.
struct MessageBoxView {
    HWND window = nullptr;
    std::wstring caption;
    std::wstring text;
    std::vector<std::wstring> buttons; // captions of the visible push buttons
    bool hasIcon = false;
};

// Waits until process `processId` shows a message box with its caption and
// text set, and reads it. A box still without them at the timeout is read as it is.
std::optional<MessageBoxView> WaitForMessageBox(DWORD processId, DWORD timeoutMs = 20000);

// Expects the program's own kind of box: captioned with its title, OK alone,
// and an icon or none.
void ExpectPlainOkBox(const MessageBoxView& box, bool withIcon = false);

// Expects the program's own question: captioned with its title, Yes and No, no icon.
void ExpectYesNoQuestion(const MessageBoxView& box);

// Presses the box's OK button, or the one given (IDYES, IDNO), and waits until it is gone.
void DismissMessageBox(const MessageBoxView& box, int button = IDOK);

// Waits for the plain OK box process `processId` shows next, expects it to be
// one (ExpectPlainOkBox), dismisses it and returns what it said; nothing if
// none came.
std::optional<MessageBoxView> ReadAndDismissOkBox(DWORD processId, DWORD timeoutMs = 20000);

// Runs `action` on this thread while a second thread reads and dismisses the
// first message box this process shows.
std::optional<MessageBoxView> CaptureMessageBox(const std::function<void()>& action);

} // namespace sheen::test
