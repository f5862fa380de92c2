#include "support/message_box_reader.h"

#include "support/app_driver.h"
#include "support/window_text.h"

#include <gtest/gtest.h>

#include <thread>

namespace sheen::test {
namespace {

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
    // Wine shows the box before it sets the caption and the text.
    std::optional<MessageBoxView> seen;
    const DWORD start = ::GetTickCount();
    do {
        if (const HWND box = FindVisibleWindow(L"#32770", processId)) {
            seen.emplace();
            seen->window = box;
            seen->caption = WindowText(box);
            seen->text = WindowText(::GetDlgItem(box, 0xFFFF));
            if (!seen->caption.empty() && !seen->text.empty()) {
                ::EnumChildWindows(box, ReadChild, reinterpret_cast<LPARAM>(&*seen));
                return seen;
            }
        }
        ::Sleep(5);
    } while (::GetTickCount() - start < timeoutMs);
    if (seen)
        ::EnumChildWindows(seen->window, ReadChild, reinterpret_cast<LPARAM>(&*seen));
    return seen;
}

void ExpectPlainOkBox(const MessageBoxView& box, bool withIcon) {
    EXPECT_EQ(box.caption, L"Sheenwright");
    EXPECT_EQ(box.buttons, std::vector<std::wstring>{L"OK"});
    EXPECT_EQ(box.hasIcon, withIcon);
}

void ExpectYesNoQuestion(const MessageBoxView& box) {
    EXPECT_EQ(box.caption, L"Sheenwright");
    EXPECT_EQ(box.buttons, (std::vector<std::wstring>{L"&Yes", L"&No"}));
    EXPECT_FALSE(box.hasIcon);
}

std::optional<MessageBoxView> ReadAndDismissOkBox(DWORD processId, DWORD timeoutMs) {
    const auto box = WaitForMessageBox(processId, timeoutMs);
    if (box) {
        ExpectPlainOkBox(*box);
        DismissMessageBox(*box);
    }
    return box;
}

void DismissMessageBox(const MessageBoxView& box, int button) {
    ::PostMessageW(box.window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(box.window, button)));
    WaitUntil([&] { return !::IsWindow(box.window); });
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
