#include "platform/network_path.h"

#include "platform/file_name.h"
#include "platform/system_function.h"

#include <windows.h>
#include <winnetwk.h>

#include <string_view>

namespace sheen {

std::wstring WithNetworkShare(const std::wstring& fullPath) {
    const bool extended =
        std::wstring_view(fullPath).substr(0, kExtendedPrefix.size()) == kExtendedPrefix;
    const std::wstring_view local =
        std::wstring_view(fullPath).substr(extended ? kExtendedPrefix.size() : 0);
    if (local.size() < 3 || local[1] != L':' || local[2] != L'\\')
        return fullPath;
    // The network's DLL loads only for a Create as administrator.
    static const auto getConnection = SHEEN_SYSTEM_FUNCTION(L"mpr.dll", WNetGetConnectionW);
    if (!getConnection)
        return fullPath;
    const wchar_t drive[] = {local[0], L':', L'\0'};
    std::wstring share(MAX_PATH, L'\0');
    for (;;) {
        DWORD size = static_cast<DWORD>(share.size());
        const DWORD error = getConnection(drive, share.data(), &size);
        if (error == ERROR_MORE_DATA) {
            share.resize(size);
            continue;
        }
        if (error != NO_ERROR)
            return fullPath; // a local drive, or none that can be asked about
        share.resize(share.find(L'\0'));
        break;
    }
    const std::wstring rest(local.substr(2));
    return extended ? std::wstring(kExtendedPrefix) + L"UNC" + share.substr(1) + rest
                    : share + rest;
}

} // namespace sheen
