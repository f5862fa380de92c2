#include "platform/system_info.h"

#include <stdexcept>

namespace sheen {

namespace {

// Declared here because the XP headers we build against have no RtlGetVersion.
using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);

bool ReadThroughNtdll(OSVERSIONINFOW& info) {
    // Windows 9x has no ntdll export to find; GetVersionExW serves it below.
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    if (!ntdll)
        return false;
    const FARPROC address = ::GetProcAddress(ntdll, "RtlGetVersion");
    if (!address)
        return false;
    // Through void(*)() because GCC warns about a direct cast between unrelated
    // function types.
    const auto rtlGetVersion =
        reinterpret_cast<RtlGetVersionFunction>(reinterpret_cast<void (*)()>(address));
    return rtlGetVersion(&info) == 0; // STATUS_SUCCESS
}

} // namespace

OsVersion ReadOsVersion() {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    // From Windows 8.1 on, GetVersionExW tells a program without a
    // compatibility manifest that it runs on 8.0; RtlGetVersion tells the truth.
    if (!ReadThroughNtdll(info)) {
        info = OSVERSIONINFOW{};
        info.dwOSVersionInfoSize = sizeof info;
        if (!::GetVersionExW(&info))
            throw std::runtime_error("The Windows version could not be read.");
    }
    return {info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber};
}

} // namespace sheen
