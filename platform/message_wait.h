#pragma once

#include <windows.h>

namespace sheen {

// Waits until `process` ends and sets `exitCode` to its exit code, while this
// thread's windows keep painting and answering messages. Of the user's input,
// only what works a window's frame gets through: the caption's buttons, the
// system menu and Alt+F4, so the user can still move, minimise or close the
// window; keys and clicks meant for its controls are dropped. A WM_QUIT (the
// window closed) ends the wait early: `quit` is then set and the WM_QUIT
// posted again, and the process is left to finish on its own. Returns
// ERROR_SUCCESS or the error.
DWORD WaitForProcessDroppingInput(HANDLE process, DWORD& exitCode, bool& quit);

} // namespace sheen
