#pragma once

#include <windows.h>

namespace sheen {

// Sets `value` to the REG_DWORD `name` under `root`\`key`, read from the
// system's own view of the registry: a 32-bit program on 64-bit Windows would
// otherwise read the copy under Wow6432Node, which the system does not consult.
// Returns ERROR_SUCCESS; ERROR_FILE_NOT_FOUND when key or value is absent;
// ERROR_INVALID_DATA when the value is of another type; or the error's code.
DWORD ReadRegistryNumber(HKEY root, const wchar_t* key, const wchar_t* name, DWORD& value);

} // namespace sheen
