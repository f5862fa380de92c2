#include "platform/system_dlls.h"

#include "platform/system_function.h"

#include <commctrl.h>

namespace sheen {

void KeepDllSearchesToSystemFolder() {
    constexpr DWORD kSearchSystem32 = 0x00000800; // LOAD_LIBRARY_SEARCH_SYSTEM32
    using SetDefaultDllDirectories = BOOL(WINAPI*)(DWORD);
    using SetDllDirectory = BOOL(WINAPI*)(LPCWSTR);
    if (const auto setDefault = FindSystemFunction<SetDefaultDllDirectories>(
            L"kernel32.dll", "SetDefaultDllDirectories");
        setDefault && setDefault(kSearchSystem32))
        return;
    // Windows XP before its first service pack has neither: it searches as it always did.
    if (const auto setDirectory =
            FindSystemFunction<SetDllDirectory>(L"kernel32.dll", "SetDllDirectoryW"))
        setDirectory(L"");
}

void LoadCommonControls(DWORD classes) {
    // By name, not by path, so that the activation context of the program's
    // manifest gives version 6; it stays loaded for the life of the process.
    const HMODULE controls = ::LoadLibraryW(L"comctl32.dll");
    const auto initialize =
        controls ? FindFunction<decltype(&::InitCommonControlsEx)>(controls, "InitCommonControlsEx")
                 : nullptr;
    INITCOMMONCONTROLSEX wanted = {sizeof wanted, classes};
    if (initialize)
        initialize(&wanted);
}

} // namespace sheen
