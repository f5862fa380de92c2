#pragma once
// What the system's side-by-side loader makes of a manifest, asked without
// starting anything: the activation context a program would start with.

#include <windows.h>

#include <string>

namespace sheen {

// Where the manifest is read from.
enum class ManifestSource {
    programResource, // the program at the path, its RT_MANIFEST 1
    file,            // a manifest file
};

// Builds the activation context of the manifest at `path` and asks it where
// comctl32.dll comes from. Returns ERROR_SUCCESS when the context builds and
// redirects comctl32.dll to a side-by-side assembly (Common Controls 6);
// ERROR_SXS_KEY_NOT_FOUND when it builds without that; else the system's
// error of building it (ERROR_SXS_CANT_GEN_ACTCTX for a manifest Windows
// would not start a program with, or for an assembly it names that is not
// installed).
DWORD CheckCommonControlsRedirect(const std::wstring& path, ManifestSource source);

} // namespace sheen
