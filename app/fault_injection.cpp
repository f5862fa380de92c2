#include "app/fault_injection.h"

#include "platform/win32_error.h"

#include <cstdlib>
#include <cstring>

namespace sheen {

void InjectFault(const char* handler) {
    const char* wanted = std::getenv("SHEENWRIGHT_FAULT");
    if (wanted && std::strcmp(wanted, handler) == 0)
        throw Win32Error(ERROR_NOT_SUPPORTED);
}

} // namespace sheen
