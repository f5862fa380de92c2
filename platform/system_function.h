#pragma once
// Functions that only newer systems export, found at run time: the program is
// built against the Windows XP headers and must still start where they are missing.

#include "platform/unique_handle.h"

#include <windows.h>

#include <cwchar>

namespace sheen {

// `name` from `module`, as a `Function`, or null where it has no such export.
template <typename Function> Function FindFunction(HMODULE module, const char* name) {
    // Through void(*)() because GCC warns about a direct cast between unrelated
    // function types.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

// `name` from the already loaded `module`, or null where the running system
// has no such export.
template <typename Function> Function FindSystemFunction(const wchar_t* module, const char* name) {
    const HMODULE loaded = ::GetModuleHandleW(module);
    return loaded ? FindFunction<Function>(loaded, name) : nullptr;
}

// Loads the system's own DLL `name` from the system folder, never one of that
// name beside the program or in the current folder; empty where it is missing.
inline UniqueModule LoadSystemModule(const wchar_t* name) {
    wchar_t path[MAX_PATH];
    const UINT folder = ::GetSystemDirectoryW(path, MAX_PATH);
    if (folder == 0 || folder + 1 + std::wcslen(name) >= MAX_PATH)
        return UniqueModule();
    path[folder] = L'\\';
    std::wcscpy(path + folder + 1, name);
    return UniqueModule(::LoadLibraryW(path));
}

// `name` from the system's own DLL `module`, loaded from the system folder by
// the first call and kept for the life of the process, as an imported DLL is;
// null where the DLL or the export is missing. For the DLLs only some actions
// need (Browse, a drop, a shortcut, Create as administrator): the program
// imports none of them, so start-up loads none of them. Keep the result in a
// function-local static, so that the lookup runs once, on first use.
template <typename Function> Function LoadSystemFunction(const wchar_t* module, const char* name) {
    const HMODULE loaded = LoadSystemModule(module).release();
    return loaded ? FindFunction<Function>(loaded, name) : nullptr;
}

} // namespace sheen

// LoadSystemFunction for the function the headers declare as `function`: its
// type comes from that declaration, so the name looked up and the calling
// convention and arguments used cannot disagree, in the 32-bit build or the
// x86-64 one.
#define SHEEN_SYSTEM_FUNCTION(module, function)                                                    \
    ::sheen::LoadSystemFunction<decltype(&::function)>(module, #function)
