#pragma once
// Functions that only newer systems export, found at run time: the program is
// built against the Windows XP headers and must still start where they are missing.

#include <windows.h>

namespace sheen {

// `name` from the already loaded `module`, as a `Function`, or null where the
// running system has no such export.
template <typename Function> Function FindSystemFunction(const wchar_t* module, const char* name) {
    const HMODULE loaded = ::GetModuleHandleW(module);
    if (!loaded)
        return nullptr;
    // Through void(*)() because GCC warns about a direct cast between unrelated
    // function types.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(loaded, name)));
}

} // namespace sheen
