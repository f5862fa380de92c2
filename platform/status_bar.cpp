#include "platform/status_bar.h"

#include "platform/win32_error.h"

namespace sheen {

void SetStatusText(HWND statusBar, const std::wstring& text) {
    ::SendMessageW(statusBar, SB_SIMPLE, TRUE, 0);
    if (!::SendMessageW(statusBar, SB_SETTEXTW, SB_SIMPLEID,
                        reinterpret_cast<LPARAM>(text.c_str())))
        throw Win32Error(ERROR_INVALID_WINDOW_HANDLE);
}

} // namespace sheen
