#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace sheen {

// Shows the system's modal file-open dialog with one filter given in the
// "Description|pattern" form, and returns the chosen file's full path, or
// nothing when the user cancelled. Throws Win32Error when the chosen path does
// not fit, and std::runtime_error naming the dialog's own error code when the
// dialog itself fails.
std::optional<std::wstring> ChooseFileToOpen(HWND owner, const std::wstring& filter);

// The filter in the dialog's own form: description NUL pattern NUL NUL. Blanks
// around the pattern are dropped: they take no part in matching, and not every
// system ignores them.
std::wstring DialogFilter(const std::wstring& filter);

} // namespace sheen
