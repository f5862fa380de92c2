#pragma once

#include <windows.h>

#include <string>

namespace sheen {

// Sets `manifest` to the bytes of the manifest the program at `path` carries
// as its resource RT_MANIFEST 1, the one Windows reads when it starts it. The
// file is opened by the system loader as data, so no code of it runs. Returns
// ERROR_SUCCESS; ERROR_RESOURCE_TYPE_NOT_FOUND or ERROR_RESOURCE_NAME_NOT_FOUND
// when it carries none; or the loader's error (ERROR_BAD_EXE_FORMAT for a file
// that is not a program). `path` must be a full path to an ordinary file.
DWORD ReadEmbeddedManifest(const std::wstring& path, std::string& manifest);

} // namespace sheen
