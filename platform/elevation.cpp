#include "platform/elevation.h"

#include "platform/com_scope.h"
#include "platform/session_drive.h"
#include "platform/system_function.h"

#include <shellapi.h>

namespace sheen {
namespace {

DWORD OwnProgramPath(std::wstring& path) {
    path.assign(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return ::GetLastError();
        // A name cut to fit is as long as the buffer (Windows XP leaves it unterminated).
        if (length < path.size()) {
            path.resize(length);
            return ERROR_SUCCESS;
        }
        path.resize(path.size() * 2);
    }
}

} // namespace

bool RunsWithLimitedToken() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    const UniqueKernelHandle owner(token);
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    return ::GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
           !elevation.TokenIsElevated;
}

DWORD StartSelfElevated(HWND owner, const std::wstring& arguments, UniqueKernelHandle& process,
                        DWORD& processId) {
    static const auto shellExecuteEx = SHEEN_SYSTEM_FUNCTION(L"shell32.dll", ShellExecuteExW);
    if (!shellExecuteEx)
        return ERROR_PROC_NOT_FOUND;
    std::wstring self;
    if (const DWORD error = OwnProgramPath(self))
        return error;
    // An elevated process does not see the drive letters of the user's session.
    self = ResolveSessionDrive(self);
    SHELLEXECUTEINFOW start = {};
    start.cbSize = sizeof start;
    // No error box of the shell's own: the caller reports the error.
    start.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    start.hwnd = owner; // so that the consent prompt is not hidden behind the window
    start.lpVerb = L"runas";
    start.lpFile = self.c_str();
    start.lpParameters = arguments.c_str();
    start.nShow = SW_HIDE;
    const ComScope com;
    if (!shellExecuteEx(&start))
        return ::GetLastError();
    if (!start.hProcess)
        return ERROR_INVALID_HANDLE; // nothing to wait for
    process.reset(start.hProcess);
    // Not in Windows XP before its first service pack; every system that elevates has it.
    static const auto getProcessId =
        FindSystemFunction<decltype(&::GetProcessId)>(L"kernel32.dll", "GetProcessId");
    processId = getProcessId ? getProcessId(process.get()) : 0;
    return processId ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

} // namespace sheen
