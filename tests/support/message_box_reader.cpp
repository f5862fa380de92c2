#include "support/message_box_reader.h"

#include "support/window_text.h"

#include <thread>

namespace sheen::test {
namespace {

struct Search {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK FindBox(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<Search*>(context);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !::IsWindowVisible(window) || ClassName(window) != L"#32770")
        return TRUE;
    search->found = window;
    return FALSE;
}

BOOL CALLBACK ReadChild(HWND child, LPARAM context) {
    auto* view = reinterpret_cast<MessageBoxView*>(context);
    if (!::IsWindowVisible(child))
        return TRUE;
    const LONG style = ::GetWindowLongW(child, GWL_STYLE);
    const std::wstring kind = ClassName(child);
    if (kind == L"Button" &&
        ((style & BS_TYPEMASK) == BS_PUSHBUTTON || (style & BS_TYPEMASK) == BS_DEFPUSHBUTTON))
        view->buttons.push_back(WindowText(child));
    if (kind == L"Static" && (style & SS_TYPEMASK) == SS_ICON &&
        ::SendMessageW(child, STM_GETICON, 0, 0) != 0)
        view->hasIcon = true;
    return TRUE;
}

} // namespace

std::optional<MessageBoxView> WaitForMessageBox(DWORD processId, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    do {
        Search search{processId, nullptr};
        ::EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
        if (search.found) {
            MessageBoxView view;
            view.window = search.found;
            view.caption = WindowText(search.found);
            view.text = WindowText(::GetDlgItem(search.found, 0xFFFF));
            ::EnumChildWindows(search.found, ReadChild, reinterpret_cast<LPARAM>(&view));
            return view;
        }
        ::Sleep(5);
    } while (::GetTickCount() - start < timeoutMs);
    return std::nullopt;
}

void DismissMessageBox(const MessageBoxView& box) {
    ::PostMessageW(box.window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(box.window, IDOK)));
}

std::optional<MessageBoxView> CaptureMessageBox(const std::function<void()>& action) {
    std::optional<MessageBoxView> seen;
    std::thread reader([&seen] {
        seen = WaitForMessageBox(::GetCurrentProcessId());
        if (seen)
            DismissMessageBox(*seen);
    });
    action();
    reader.join();
    return seen;
}

} // namespace sheen::test
