#include "platform/system_info.h"

#include "platform/system_function.h"

namespace sheen {
namespace {

bool ReadThroughNtdll(OSVERSIONINFOW& info) {
    // Windows 9x has no ntdll export to find; GetVersionExW serves it below.
    const auto rtlGetVersion =
        FindSystemFunction<LONG(WINAPI*)(OSVERSIONINFOW*)>(L"ntdll.dll", "RtlGetVersion");
    return rtlGetVersion && rtlGetVersion(&info) == 0; // STATUS_SUCCESS
}

} // namespace

DWORD ReadOsVersion(OsVersion& os) {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    // From Windows 8.1 on, GetVersionExW tells a program without a
    // compatibility manifest that it runs on 8.0; RtlGetVersion tells the truth.
    if (!ReadThroughNtdll(info)) {
        info = OSVERSIONINFOW{};
        info.dwOSVersionInfoSize = sizeof info;
        if (!::GetVersionExW(&info))
            return ::GetLastError();
    }
    os = {info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber};
    return ERROR_SUCCESS;
}

} // namespace sheen
