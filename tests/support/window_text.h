#pragma once

#include <windows.h>

#include <string>

namespace sheen::test {

// Any window's class name and text, also across processes.
std::wstring ClassName(HWND window);
std::wstring WindowText(HWND window);

} // namespace sheen::test
