#pragma once
// Files dropped on a window the classic way: the window has WS_EX_ACCEPTFILES
// and the shell sends it WM_DROPFILES.

#include "platform/unique_handle.h"

#include <windows.h>
#include <shellapi.h>

#include <optional>
#include <string>

namespace sheen {

// Gives the shell's memory for a drop back (DragFinish).
void FinishDrop(HDROP drop);

// A drop the window has been handed; the shell's memory for it goes with it.
using UniqueDrop = UniqueHandle<HDROP, &FinishDrop, 0>;

// The first of the dropped entries that is not a folder, or nothing.
std::optional<std::wstring> FirstDroppedFile(HDROP drop);

// Lets the shell's drop messages reach `window` from programs with fewer
// privileges (User Interface Privilege Isolation, Windows Vista and
// later; nothing to do before). For a window that runs elevated.
void OpenPrivilegeFilterForDrops(HWND window);

} // namespace sheen
