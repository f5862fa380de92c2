#include "platform/registry.h"

#include "platform/unique_handle.h"

namespace sheen {

DWORD ReadRegistryNumber(HKEY root, const wchar_t* key, const wchar_t* name, DWORD& value) {
    HKEY opened = nullptr;
    // The Reg functions return their error instead of setting the last error.
    if (const LONG error =
            ::RegOpenKeyExW(root, key, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &opened))
        return static_cast<DWORD>(error);
    const UniqueRegistryKey owner(opened);
    DWORD type = 0;
    DWORD number = 0;
    DWORD size = sizeof number;
    if (const LONG error = ::RegQueryValueExW(owner.get(), name, nullptr, &type,
                                              reinterpret_cast<BYTE*>(&number), &size))
        return error == ERROR_MORE_DATA ? ERROR_INVALID_DATA : static_cast<DWORD>(error);
    if (type != REG_DWORD || size != sizeof number)
        return ERROR_INVALID_DATA;
    value = number;
    return ERROR_SUCCESS;
}

} // namespace sheen
