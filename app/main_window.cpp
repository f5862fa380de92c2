#include "app/main_window.h"

#include "app/fault_injection.h"
#include "platform/message_box.h"
#include "platform/win32_error.h"
#include "platform/window.h"
#include "resources/product.h"
#include "resources/resource_ids.h"

#include <exception>

namespace sheen {
namespace {

constexpr wchar_t kWindowClass[] = L"Sheenwright.frmMain";
// Fixed single border with caption, system menu and minimise: no sizing, no maximise.
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

UniqueIcon LoadAppIcon(HINSTANCE instance, int metricX, int metricY) {
    return UniqueIcon(static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(IDI_SHEENWRIGHT),
                                                      IMAGE_ICON, ::GetSystemMetrics(metricX),
                                                      ::GetSystemMetrics(metricY), 0)));
}

} // namespace

void MainWindow::Create(HINSTANCE instance, int showCommand) {
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
    windowClass.lpszClassName = kWindowClass;
    if (!::RegisterClassExW(&windowClass))
        ThrowLastError();

    // WM_NCCREATE adopts the handle into hwnd_; the window sizes itself in WM_CREATE.
    const HWND created = ::CreateWindowExW(
        WS_EX_CONTROLPARENT, kWindowClass, L"" SHEENWRIGHT_TITLE, kWindowStyle, CW_USEDEFAULT,
        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, this);
    const DWORD error = ::GetLastError();
    if (!created) {
        if (createError_)
            std::rethrow_exception(createError_);
        throw Win32Error(error);
    }

    Run(&MainWindow::Form_Load, "Form_Load");
    ::ShowWindow(hwnd(), showCommand);
    ::SetFocus(Text1_);
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
    case WM_CLOSE:
        ::DestroyWindow(hwnd());
        return 0;
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    case WM_NCDESTROY:
        ::SetWindowLongPtrW(hwnd(), GWLP_USERDATA, 0);
        return ::DefWindowProcW(hwnd_.release(), message, wParam, lParam);
    }
    return ::DefWindowProcW(hwnd(), message, wParam, lParam);
}

HWND& MainWindow::Handle(Control control) {
    switch (control) {
    case Control::Command1:
        return Command1_;
    case Control::Frame1:
        return Frame1_;
    case Control::lblPath:
        return lblPath_;
    case Control::Text1:
        return Text1_;
    case Control::cmdBrowse:
        return cmdBrowse_;
    case Control::About:
        return About_;
    case Control::S:
        return S_;
    case Control::Help:
        return Help_;
    }
    throw std::logic_error("unknown control");
}

void MainWindow::OnCreate() {
    const int dpi = WindowDpi(hwnd());
    const auto pixels = [dpi](int twips) { return TwipsToPixels(twips, dpi); };
    SetClientSize(hwnd(), pixels(kClientWidth), pixels(kClientHeight));
    font_ = CreateMessageFont(dpi);

    const ControlSpec& frame = FrameSpec();
    int id = kFirstControlId;
    for (const ControlSpec& spec : kLayout) {
        const int left = spec.left + (spec.insideFrame ? frame.left : 0);
        const int top = spec.top + (spec.insideFrame ? frame.top : 0);
        // Scale edges, not sizes, so that neighbours stay neighbours at any DPI.
        const HWND control = ::CreateWindowExW(
            spec.exStyle, spec.windowClass, spec.caption, spec.style, pixels(left), pixels(top),
            pixels(left + spec.width) - pixels(left), pixels(top + spec.height) - pixels(top),
            hwnd(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(id++)), nullptr, nullptr);
        if (!control)
            ThrowLastError();
        ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
        Handle(spec.control) = control;
    }
    // The frame is a sibling of the controls it holds: keep it beneath them, or it
    // paints over them. It takes no focus, so the tab order stays as created.
    ::SetWindowPos(Frame1_, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    // No limit beyond the edit control's own maximum: a path may be long.
    ::SendMessageW(Text1_, EM_SETLIMITTEXT, 0, 0);
}

void MainWindow::OnCommand(HWND control, WORD notification) {
    // IDOK and IDCANCEL (Enter and Escape) come with no control and do nothing.
    if (!control)
        return;
    if (control == Text1_ && notification == EN_CHANGE)
        Run(&MainWindow::Text1_Change, "Text1_Change");
    if (notification != BN_CLICKED)
        return;
    if (control == cmdBrowse_)
        Run(&MainWindow::cmdBrowse_Click, "cmdBrowse_Click");
    else if (control == Command1_)
        Run(&MainWindow::Command1_Click, "Command1_Click");
    else if (control == About_)
        Run(&MainWindow::About_Click, "About_Click");
    else if (control == Help_)
        Run(&MainWindow::Help_Click, "Help_Click");
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

void MainWindow::Run(void (MainWindow::*handler)(), const char* name) {
    try {
        InjectFault(name);
        (this->*handler)();
    } catch (...) {
        ShowMessage(hwnd(), DescribeError(std::current_exception()), MB_ICONERROR);
    }
}

std::wstring MainWindow::PathText() const {
    const int length = ::GetWindowTextLengthW(Text1_);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(Text1_, text.data(), length + 1)));
    return text;
}

} // namespace sheen
