#include "platform/session_drive.h"

#include "platform/file_name.h"
#include "platform/system_function.h"

#include <windows.h>
#include <winnetwk.h>

#include <string_view>

namespace sheen {
namespace {

// What a SUBST drive's device name starts with; a share follows it as UNC\.
constexpr std::wstring_view kSubstitutePrefix = L"\\??\\";

// The share a mapped network drive stands for, as \\server\share; empty for any other drive.
std::wstring NetworkShare(const wchar_t* drive) {
    // The network's DLL loads only for a start as administrator.
    static const auto getConnection = SHEEN_SYSTEM_FUNCTION(L"mpr.dll", WNetGetConnectionW);
    if (!getConnection)
        return {};
    std::wstring share(MAX_PATH, L'\0');
    for (;;) {
        DWORD size = static_cast<DWORD>(share.size());
        const DWORD error = getConnection(drive, share.data(), &size);
        if (error == ERROR_MORE_DATA) {
            share.resize(size);
            continue;
        }
        if (error != NO_ERROR)
            return {}; // a local drive, or none that can be asked about
        share.resize(share.find(L'\0'));
        return share;
    }
}

// The folder a SUBST drive stands for (C:\Apps, or \\server\share\dir); empty
// for any other drive.
std::wstring SubstitutedFolder(const wchar_t* drive) {
    std::wstring device(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::QueryDosDeviceW(drive, device.data(), static_cast<DWORD>(device.size()));
        if (length != 0)
            break;
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || device.size() >= 32768)
            return {};
        device.resize(device.size() * 2);
    }
    device.resize(device.find(L'\0'));
    if (!device.starts_with(kSubstitutePrefix))
        return {}; // a volume, or a redirector's device for a network drive
    std::wstring folder = device.substr(kSubstitutePrefix.size());
    if (folder.starts_with(L"UNC\\"))
        folder = L"\\" + folder.substr(3);
    while (!folder.empty() && folder.back() == L'\\')
        folder.pop_back();
    return folder;
}

} // namespace

std::wstring ResolveSessionDrive(const std::wstring& fullPath) {
    const bool extended = std::wstring_view(fullPath).starts_with(kExtendedPrefix);
    std::wstring local = fullPath.substr(extended ? kExtendedPrefix.size() : 0);
    // A SUBST drive may stand for a folder on another such drive; no chain is longer than the
    // alphabet.
    for (int step = 0; step < 26; ++step) {
        if (local.size() < 3 || local[1] != L':' || local[2] != L'\\')
            break;
        const wchar_t drive[] = {local[0], L':', L'\0'};
        std::wstring resolved = NetworkShare(drive);
        if (resolved.empty())
            resolved = SubstitutedFolder(drive);
        if (resolved.empty())
            break;
        local = resolved + local.substr(2);
    }
    if (!extended)
        return local;
    return std::wstring(kExtendedPrefix) +
           (local.starts_with(L"\\\\") ? L"UNC" + local.substr(1) : local);
}

} // namespace sheen
