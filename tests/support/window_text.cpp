#include "support/window_text.h"

namespace sheen::test {

std::wstring ClassName(HWND window) {
    wchar_t name[64] = {};
    ::GetClassNameW(window, name, 64);
    return name;
}

// WM_GETTEXT is marshalled across processes, so this also reads other programs.
std::wstring WindowText(HWND window) {
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length))
        return {};
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    ::SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                          SMTO_ABORTIFHUNG, 5000, &copied);
    text.resize(copied);
    return text;
}

HWND FindVisibleWindow(const wchar_t* windowClass, DWORD processId) {
    // One server call per window of the class: cheap enough to poll every millisecond.
    HWND window = nullptr;
    while ((window = ::FindWindowExW(nullptr, window, windowClass, nullptr))) {
        DWORD owner = 0;
        ::GetWindowThreadProcessId(window, &owner);
        if (::IsWindowVisible(window) && (processId == 0 || owner == processId))
            return window;
    }
    return nullptr;
}

} // namespace sheen::test
