#include "platform/window.h"

#include "platform/system_function.h"
#include "platform/win32_error.h"

namespace sheen {
namespace {

int SystemDpi() {
    const HDC screen = ::GetDC(nullptr);
    const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen)
        ::ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

} // namespace

int WindowDpi(HWND window) {
    // GetDpiForWindow exists from Windows 10 1607 on; earlier systems have one DPI.
    static const auto getDpiForWindow =
        FindSystemFunction<UINT(WINAPI*)(HWND)>(L"user32.dll", "GetDpiForWindow");
    if (getDpiForWindow && window)
        if (const UINT dpi = getDpiForWindow(window))
            return static_cast<int>(dpi);
    return SystemDpi();
}

UniqueFont CreateMessageFont(int dpi) {
    // The XP-sized structure: later systems accept it, XP rejects the larger one.
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof metrics;
    if (!::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
        ThrowLastError();
    // The metrics come at the system DPI; a window on another monitor needs its own.
    metrics.lfMessageFont.lfHeight = ::MulDiv(metrics.lfMessageFont.lfHeight, dpi, SystemDpi());
    UniqueFont font(::CreateFontIndirectW(&metrics.lfMessageFont));
    if (!font)
        ThrowLastError();
    return font;
}

void SetClientSize(HWND window, int clientWidth, int clientHeight) {
    RECT outer = {0, 0, clientWidth, clientHeight};
    const DWORD style = static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_EXSTYLE));
    if (!::AdjustWindowRectEx(&outer, style, FALSE, exStyle))
        ThrowLastError();
    if (!::SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                        SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE))
        ThrowLastError();
}

} // namespace sheen
