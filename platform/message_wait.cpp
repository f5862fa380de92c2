#include "platform/message_wait.h"

namespace sheen {
namespace {

// Keys and clicks for the controls; the frame's own (the WM_NC mouse messages,
// and the system keys of Alt+F4 and Alt+Space) go through.
bool IsInputForControls(UINT message) {
    return message == WM_KEYDOWN || message == WM_KEYUP || message == WM_CHAR ||
           message == WM_DEADCHAR || (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST);
}

} // namespace

DWORD WaitForProcessDroppingInput(HANDLE process, DWORD& exitCode, bool& quit) {
    quit = false;
    for (;;) {
        // Also for messages that arrived before the wait and were seen but not taken.
        const DWORD woken =
            ::MsgWaitForMultipleObjectsEx(1, &process, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woken == WAIT_OBJECT_0)
            break;
        if (woken != WAIT_OBJECT_0 + 1)
            return ::GetLastError();
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                ::PostQuitMessage(static_cast<int>(message.wParam));
                quit = true;
                return ERROR_SUCCESS;
            }
            if (IsInputForControls(message.message))
                continue;
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
    return ::GetExitCodeProcess(process, &exitCode) ? ERROR_SUCCESS : ::GetLastError();
}

} // namespace sheen
