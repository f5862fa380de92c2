#include "app/fault_injection.h"

#include "platform/unique_handle.h"
#include "platform/win32_error.h"

#include <cstdlib>
#include <cstring>

namespace sheen {
namespace {

bool Names(const char* variable, const char* point) {
    const char* wanted = std::getenv(variable);
    return wanted && std::strcmp(wanted, point) == 0;
}

} // namespace

void InjectFault(const char* point) {
    if (Names("SHEENWRIGHT_FAULT", point))
        throw Win32Error(ERROR_NOT_SUPPORTED);
}

void InjectStall(const char* point) {
    if (!Names("SHEENWRIGHT_STALL", point))
        return;
    // The test that asks for the stall holds the event; once it is gone, so is the stall.
    const UniqueKernelHandle release(::OpenEventW(SYNCHRONIZE, FALSE, L"SheenwrightStallRelease"));
    if (release)
        ::WaitForSingleObject(release.get(), INFINITE);
}

} // namespace sheen
