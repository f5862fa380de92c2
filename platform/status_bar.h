#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

namespace sheen {

// Window class and styles of a status bar that stays exactly where it is put:
// no self-sizing, no docking of its own, no size grip (the window has a fixed size).
inline constexpr const wchar_t* kStatusBarClass = STATUSCLASSNAMEW;
inline constexpr DWORD kStatusBarStyle = CCS_NORESIZE | CCS_NOPARENTALIGN | CCS_NODIVIDER;

// Shows `text` as the bar's one simple text, across its whole width.
void SetStatusText(HWND statusBar, const std::wstring& text);

} // namespace sheen
