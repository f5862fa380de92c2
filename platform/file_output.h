#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace sheen {

// Makes the file at `path` hold exactly `bytes`, or leaves it as it was.
//
// The bytes go to a new temporary file in the same folder, are flushed to the
// disk, and the temporary file then takes the place of `path` in one rename, so
// a failure at any step can never leave a truncated file behind. Refused before
// anything is written: a name that would not make an ordinary file (see
// CheckNewFileName), and an existing file that is read-only, a folder, or held
// open without sharing (after a short wait, in case that passes). Relative
// paths resolve against the current directory. Returns ERROR_SUCCESS or the
// code of the first error; no temporary file survives a failure.
DWORD ReplaceFileContents(const std::wstring& path, std::string_view bytes);

} // namespace sheen
