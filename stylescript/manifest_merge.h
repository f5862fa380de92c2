#pragma once
// A program's own manifest with the visual style added to it, for Windows to
// read from inside the program.

#include "stylescript/reasons.h"

#include <windows.h>

#include <string>
#include <string_view>

namespace sheen {

// Sets `merged` to `manifest`, byte for byte, with one element added as the
// last child of its root: a dependency on Common Controls 6 for
// `architecture` (one of kScriptArchitectures), as the style script names it.
// It is written in the manifest's own encoding (UTF-8 with or without a
// byte-order mark, or any other that keeps ASCII as it is; UTF-16 of either
// order), in the urn:schemas-microsoft-com:asm.v1 namespace: with the root's
// prefix where the root is in it, else declaring it. The result must read,
// with the system's XML reader, as a document with the same root that depends
// on Common Controls 6. Returns ERROR_SUCCESS, kUnreadableManifest or
// kOtherCommonControlsVersion.
DWORD AddCommonControlsDependency(std::string_view manifest, std::string_view architecture,
                                  std::string& merged);

} // namespace sheen
