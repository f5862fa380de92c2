#pragma once
// A program's file changed with the system's own resource update, and its PE
// checksum made right again. Only for a copy nobody else has open: the update
// rewrites the whole file.

#include <windows.h>

#include <string>
#include <string_view>

namespace sheen {

// Makes `manifest` the program's RT_MANIFEST 1 in `language`, in place of the
// one there (BeginUpdateResourceW, UpdateResourceW, EndUpdateResourceW); every
// other resource stays. Returns ERROR_SUCCESS or the system's error.
DWORD ReplaceManifestResource(const std::wstring& path, WORD language, std::string_view manifest);

// Sets the checksum in the PE header of the program at `path` to the one the
// system computes for it (imagehlp's CheckSumMappedFile, loaded on first use).
// Returns ERROR_SUCCESS; ERROR_PROC_NOT_FOUND where the system has none;
// ERROR_BAD_EXE_FORMAT for a file it cannot read as a program; or the error of
// mapping it.
DWORD UpdatePeChecksum(const std::wstring& path);

} // namespace sheen
