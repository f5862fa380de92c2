#include "app/main_window.h"

#include "app/fault_injection.h"
#include "platform/dropped_files.h"
#include "platform/elevation.h"
#include "platform/message_box.h"
#include "platform/win32_error.h"
#include "platform/window.h"
#include "resources/product.h"
#include "resources/resource_ids.h"

namespace sheen {
namespace {

// Fixed single border with caption, system menu and minimise: no sizing, no maximise.
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

UniqueIcon LoadAppIcon(HINSTANCE instance, int metricX, int metricY) {
    return UniqueIcon(static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(IDI_SHEENWRIGHT),
                                                      IMAGE_ICON, ::GetSystemMetrics(metricX),
                                                      ::GetSystemMetrics(metricY), 0)));
}

} // namespace

template <typename Handler> void MainWindow::RunHandler(const char* name, Handler handler) {
    try {
        InjectFault(name);
        handler();
    } catch (...) {
        ShowCurrentError(hwnd());
    }
}

void MainWindow::Create(HINSTANCE instance, int showCommand, const std::wstring& path) {
    bigIcon_ = LoadAppIcon(instance, SM_CXICON, SM_CYICON);
    smallIcon_ = LoadAppIcon(instance, SM_CXSMICON, SM_CYSMICON);

    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = bigIcon_.get();
    windowClass.hIconSm = smallIcon_.get();
    windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = L"" SHEENWRIGHT_WINDOW_CLASS;
    if (!::RegisterClassExW(&windowClass))
        ThrowLastError();

    // WM_NCCREATE adopts the handle into hwnd_; the window sizes itself in WM_CREATE.
    // WS_EX_ACCEPTFILES is all that DragAcceptFiles sets, without loading the
    // shell's DLL at start-up; drops on the controls come to the window too.
    const HWND created =
        ::CreateWindowExW(WS_EX_CONTROLPARENT | WS_EX_ACCEPTFILES, L"" SHEENWRIGHT_WINDOW_CLASS,
                          L"" SHEENWRIGHT_TITLE, kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                          CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, this);
    const DWORD error = ::GetLastError();
    if (!created) {
        if (createError_)
            std::rethrow_exception(createError_);
        throw Win32Error(error);
    }

    // Only a window that runs with more privileges than Explorer needs the drop
    // messages let through.
    if (!RunsWithLimitedToken())
        OpenPrivilegeFilterForDrops(hwnd());

    RunHandler("OnLoad", [this] { OnLoad(); });
    if (!path.empty())
        ShowPathOrShortcutTarget(path);
    ::ShowWindow(hwnd(), showCommand);
    ::SetFocus(control(Control::pathBox));
}

LRESULT CALLBACK MainWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self =
            static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->hwnd_.reset(window);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<MainWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self)
        return ::DefWindowProcW(window, message, wParam, lParam);
    return self->HandleMessage(message, wParam, lParam);
}

LRESULT MainWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        try {
            OnCreate();
        } catch (...) {
            createError_ = std::current_exception(); // Create() reports it
            return -1;
        }
        return 0;
    case WM_COMMAND:
        OnCommand(reinterpret_cast<HWND>(lParam), HIWORD(wParam));
        return 0;
    case WM_ACTIVATE:
        OnActivate(LOWORD(wParam));
        return 0;
    case WM_DROPFILES: {
        const UniqueDrop drop(
            reinterpret_cast<HDROP>(wParam)); // finished even if the handler fails
        if (!relayBusy_)
            RunHandler("OnDropFiles", [&] { OnDropFiles(drop.get()); });
        return 0;
    }
    case WM_COPYDATA:
        if (relayWait_.Receive(reinterpret_cast<HWND>(wParam),
                               *reinterpret_cast<const COPYDATASTRUCT*>(lParam)))
            return TRUE;
        break;
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    case WM_NCDESTROY:
        ::SetWindowLongPtrW(hwnd(), GWLP_USERDATA, 0);
        return ::DefWindowProcW(hwnd_.release(), message, wParam, lParam);
    }
    return ::DefWindowProcW(hwnd(), message, wParam, lParam);
}

void MainWindow::OnCreate() {
    const int dpi = WindowDpi(hwnd());
    const auto pixels = [dpi](int twips) { return TwipsToPixels(twips, dpi); };
    SetClientSize(hwnd(), pixels(kClientWidth), pixels(kClientHeight));
    font_ = CreateMessageFont(dpi);

    const ControlSpec& frame = kLayout[RowOf(Control::frame)];
    for (size_t row = 0; row < kLayout.size(); ++row) {
        const ControlSpec& spec = kLayout[row];
        const int left = spec.left + (spec.insideFrame ? frame.left : 0);
        const int top = spec.top + (spec.insideFrame ? frame.top : 0);
        // Scale edges, not sizes, so that neighbours stay neighbours at any DPI.
        const HWND created = ::CreateWindowExW(
            spec.exStyle, spec.windowClass, spec.caption, spec.style, pixels(left), pixels(top),
            pixels(left + spec.width) - pixels(left), pixels(top + spec.height) - pixels(top),
            hwnd(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstControlId + row)), nullptr,
            nullptr);
        if (!created)
            ThrowLastError();
        ::SendMessageW(created, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
        controls_[row] = created;
    }
    // The frame is a sibling of the controls it holds: keep it beneath them, or it
    // paints over them. It takes no focus, so the tab order stays as created.
    ::SetWindowPos(control(Control::frame), HWND_BOTTOM, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    // No limit beyond the edit control's own maximum: a path may be long.
    ::SendMessageW(control(Control::pathBox), EM_SETLIMITTEXT, 0, 0);
}

void MainWindow::OnCommand(HWND sender, WORD notification) {
    // IDOK and IDCANCEL (Enter and Escape) come with no control and match no route.
    // While an administrator's run goes on, a click sent by another program
    // (BM_CLICK, as screen readers and UI automation invoke a button) starts
    // nothing: only the path box still keeps Creat in step with its text.
    for (const CommandRoute& route : kCommandRoutes)
        if (sender && sender == control(route.control) && notification == route.notification &&
            (!relayBusy_ || route.control == Control::pathBox))
            RunHandler(route.name, [this, &route] { (this->*route.handler)(); });
}

void MainWindow::OnActivate(WORD state) {
    // As a dialog does: give the focus back to the control that had it.
    if (state == WA_INACTIVE) {
        focusBeforeDeactivation_ = ::GetFocus();
    } else if (focusBeforeDeactivation_ && ::IsChild(hwnd(), focusBeforeDeactivation_) &&
               ::IsWindowEnabled(focusBeforeDeactivation_)) {
        ::SetFocus(focusBeforeDeactivation_);
    }
}

std::wstring MainWindow::PathText() const {
    const HWND pathBox = control(Control::pathBox);
    const int length = ::GetWindowTextLengthW(pathBox);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(pathBox, text.data(), length + 1)));
    return text;
}

} // namespace sheen
