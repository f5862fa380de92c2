#include "platform/unique_handle.h"

namespace sheen {

void CloseKernelObject(HANDLE handle) {
    ::CloseHandle(handle);
}

} // namespace sheen
