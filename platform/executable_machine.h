#pragma once

#include <windows.h>

#include <string>

namespace sheen {

// Sets `machine` to the processor the program at `path` is built for, from the
// machine field of its PE file header (IMAGE_FILE_MACHINE_I386, _AMD64, ...).
// Only the DOS header and the file header are read, each with a read of fixed
// size, and the header's offset is checked against the file's size before it
// is followed. Returns ERROR_SUCCESS; ERROR_BAD_EXE_FORMAT for anything that is
// not a disk file holding whole DOS and PE headers; or the error of opening it.
DWORD ReadExecutableMachine(const std::wstring& path, WORD& machine);

} // namespace sheen
