#pragma once

#include "platform/pe_image.h"

#include <windows.h>

#include <string>

namespace sheen {

// Sets `manifest` to the bytes of the manifest `image` carries as its resource
// RT_MANIFEST 1 (in the first language listed), the one Windows reads when it
// starts the program. Each step through the resource directory, and the
// manifest itself, is a bounded read checked against the file's size; a
// manifest over 1 MiB, far beyond any real one, counts as damage. Returns
// ERROR_SUCCESS; ERROR_RESOURCE_TYPE_NOT_FOUND, _NAME_NOT_FOUND or
// _LANG_NOT_FOUND when it carries none; ERROR_BAD_EXE_FORMAT for resources
// that do not add up; ERROR_NOT_ENOUGH_MEMORY. With `language`, that receives
// the resource's language.
DWORD ReadEmbeddedManifest(const PeImage& image, std::string& manifest, WORD* language = nullptr);

} // namespace sheen
