#pragma once
// One file put in the place of another, keeping the replaced file's
// attributes and security, where every way it can fail still leaves a whole
// file under the name: the old one or the new one.

#include <windows.h>

#include <functional>
#include <string>

namespace sheen {

// ReplaceFileW's shape; the tests hand in stand-ins that fail as it is
// documented to fail.
using ReplaceFunction = BOOL(WINAPI*)(LPCWSTR replaced, LPCWSTR replacement, LPCWSTR backup,
                                      DWORD flags, LPVOID, LPVOID);

// Whether the file at a path holds the replacement's bytes; a read that
// fails says no.
using HoldsReplacement = std::function<bool(const std::wstring& path)>;

// Puts the flushed file `replacement` in the place of the existing
// `replaced` (same folder) with `replace` (ReplaceFileW where null), which
// moves the replaced file aside under a free name of ours, so that each of
// its documented failures leaves a known state; a sharing violation, as a
// scanner's, is waited out. Afterwards the file under `replaced` is read
// back: when `holdsReplacement` accepts it, that is success, whatever
// `replace` said. Otherwise, where the name is empty, the replacement is
// moved into it, or else the replaced file back from aside. The file set
// aside is deleted only once the file under the name has been read back as
// the replacement or as that very file. Returns ERROR_SUCCESS, or the first
// error with the old file under the name (or, if even that could not be
// done, a file nowhere but where it was moved: the caller's copies stay).
DWORD SwapFile(const std::wstring& replaced, const std::wstring& replacement,
               const HoldsReplacement& holdsReplacement, ReplaceFunction replace = nullptr);

} // namespace sheen
