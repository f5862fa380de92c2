#pragma once

#include <windows.h>

namespace sheen {

// 64 bits from the system's own random number generator, as no other process
// can guess them.
ULONGLONG RandomNumber();

} // namespace sheen
