#pragma once

#include <windows.h>

#include <string>

namespace sheen {

// Sets `attributes` to the FILE_ATTRIBUTE_* of the file or folder at `path`.
// Returns ERROR_SUCCESS or the error of asking (ERROR_FILE_NOT_FOUND, ...).
DWORD FileAttributesOf(const std::wstring& path, DWORD& attributes);

} // namespace sheen
