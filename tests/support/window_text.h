#pragma once

#include <windows.h>

#include <string>

namespace sheen::test {

// Any window's class name and text, also across processes.
std::wstring ClassName(HWND window);
std::wstring WindowText(HWND window);

// A visible top-level window of `windowClass` that belongs to process
// `processId` (or, for 0, to any process), or null.
HWND FindVisibleWindow(const wchar_t* windowClass, DWORD processId = 0);

} // namespace sheen::test
