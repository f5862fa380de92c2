#pragma once
// The main window's controls, in tab order, with their places in twips.

#include "platform/status_bar.h"

#include <windows.h>

#include <array>
#include <cstddef>

namespace sheen {

// The controls, in the order of kLayout's rows.
enum class Control {
    createButton,
    frame,
    pathLabel,
    pathBox,
    browseButton,
    aboutButton,
    statusBar,
    helpButton,
};

struct ControlSpec {
    Control control;
    const wchar_t* windowClass;
    const wchar_t* caption;
    bool insideFrame; // left and top count from the frame's outer corner, not the client area
    int left, top, width, height; // twips
    DWORD style;
    DWORD exStyle;
};

inline constexpr DWORD kChild = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
inline constexpr DWORD kButton = kChild | WS_TABSTOP | BS_PUSHBUTTON;

// Created in this order, which Windows keeps as the tab order: Create, the path
// box, Browse, About and Help take the focus; the frame, the label and the
// status bar never do. Enter and Escape reach the window as IDOK and IDCANCEL,
// so control ids start above them.
inline constexpr int kFirstControlId = 100;
// "Creat", without the e, is the product's own spelling of the caption: users and
// their scripts know the button by it.
inline constexpr std::array<ControlSpec, 8> kLayout = {{
    {Control::createButton, L"Button", L"Creat", false, 120, 1560, 1335, 375, kButton | WS_DISABLED,
     0},
    {Control::frame, L"Button", L"Application Information", false, 120, 120, 4095, 1215,
     kChild | BS_GROUPBOX, 0},
    {Control::pathLabel, L"Static", L"Path: ", true, 120, 360, 420, 195,
     kChild | SS_LEFT | SS_NOPREFIX, 0},
    {Control::pathBox, L"Edit", L"", true, 120, 600, 2655, 285,
     kChild | WS_TABSTOP | ES_AUTOHSCROLL | ES_READONLY, WS_EX_CLIENTEDGE},
    {Control::browseButton, L"Button", L"Browse", true, 2880, 480, 1095, 375, kButton, 0},
    {Control::aboutButton, L"Button", L"About", false, 1560, 1560, 1215, 375, kButton, 0},
    {Control::statusBar, kStatusBarClass, L"", false, 0, 2100, 4410, 255, kChild | kStatusBarStyle,
     0},
    {Control::helpButton, L"Button", L"Help", false, 2880, 1560, 1095, 375, kButton, 0},
}};

constexpr std::size_t RowOf(Control control) {
    return static_cast<std::size_t>(control);
}

// The window keeps its controls' handles by row, so each row must be its own control's.
constexpr bool RowsFollowTheControls() {
    for (std::size_t row = 0; row < kLayout.size(); ++row)
        if (RowOf(kLayout[row].control) != row)
            return false;
    return true;
}
static_assert(RowsFollowTheControls(), "kLayout's rows must follow the order of Control");

inline constexpr int kClientWidth = 4410, kClientHeight = 2355; // twips

} // namespace sheen
