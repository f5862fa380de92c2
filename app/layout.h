#pragma once
// The main window's controls, in tab order, with their places in twips.

#include "platform/status_bar.h"

#include <windows.h>

#include <array>

namespace sheen {

// Which member of the main window keeps a control's handle.
enum class Control { Command1, Frame1, lblPath, Text1, cmdBrowse, About, S, Help };

struct ControlSpec {
    Control control;
    int tabIndex;
    const wchar_t* windowClass;
    const wchar_t* caption;
    bool insideFrame; // left and top count from the frame's outer corner, not the client area
    int left, top, width, height; // twips
    DWORD style;
    DWORD exStyle;
};

inline constexpr DWORD kChild = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
inline constexpr DWORD kButton = kChild | WS_TABSTOP | BS_PUSHBUTTON;

// Created in tab order: Command1, Text1, cmdBrowse, About and Help take the
// focus; the frame, the label and the status bar never do.
// Enter and Escape reach the window as IDOK and IDCANCEL, so control ids start
// above them.
inline constexpr int kFirstControlId = 100;
inline constexpr std::array<ControlSpec, 8> kLayout = {{
    {Control::Command1, 0, L"Button", L"Creat", false, 120, 1560, 1335, 375, kButton | WS_DISABLED,
     0},
    {Control::Frame1, 1, L"Button", L"Application Information", false, 120, 120, 4095, 1215,
     kChild | BS_GROUPBOX, 0},
    {Control::lblPath, 2, L"Static", L"Path: ", true, 120, 360, 420, 195,
     kChild | SS_LEFT | SS_NOPREFIX, 0},
    {Control::Text1, 3, L"Edit", L"", true, 120, 600, 2655, 285,
     kChild | WS_TABSTOP | ES_AUTOHSCROLL | ES_READONLY, WS_EX_CLIENTEDGE},
    {Control::cmdBrowse, 4, L"Button", L"Browse", true, 2880, 480, 1095, 375, kButton, 0},
    {Control::About, 5, L"Button", L"About", false, 1560, 1560, 1215, 375, kButton, 0},
    {Control::S, 6, kStatusBarClass, L"", false, 0, 2100, 4410, 255, kChild | kStatusBarStyle, 0},
    {Control::Help, 7, L"Button", L"Help", false, 2880, 1560, 1095, 375, kButton, 0},
}};

// Windows keeps the tab order as the order of creation.
constexpr bool InTabOrder() {
    for (size_t i = 0; i < kLayout.size(); ++i)
        if (kLayout[i].tabIndex != static_cast<int>(i))
            return false;
    return true;
}
static_assert(InTabOrder(), "controls must be listed in tab order");

inline constexpr int kClientWidth = 4410, kClientHeight = 2355; // twips

// The frame, which the controls inside it are measured from.
constexpr const ControlSpec& FrameSpec() {
    for (const ControlSpec& spec : kLayout)
        if (spec.control == Control::Frame1)
            return spec;
    throw "the layout has no frame";
}

} // namespace sheen
