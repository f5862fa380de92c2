#pragma once
// Running as administrator where Windows keeps that apart from running as the
// user (User Account Control, Windows Vista and later).

#include "platform/system_info.h"
#include "platform/unique_handle.h"

#include <windows.h>

#include <string>

namespace sheen {

// Windows Vista (6.0) and later start even an administrator's programs with a
// limited token, and elevate one only through the consent prompt. Windows XP
// and Server 2003 know no such thing.
inline bool HasUserAccountControl(const OsVersion& os) {
    return IsAtLeast(os, 6, 0);
}

// True when this process's token says it is not elevated. False where the
// system cannot tell (Windows XP knows no elevation to ask about).
bool RunsWithLimitedToken();

// Starts this program again, elevated, through the consent prompt owned by
// `owner`, with `arguments` as its command line's parameters; `process`
// receives its handle and `processId` its id. Returns ERROR_SUCCESS; ERROR_CANCELLED when the user
// declined; or the error that kept it from starting. COM is initialised for
// the call, as the shell asks.
DWORD StartSelfElevated(HWND owner, const std::wstring& arguments, UniqueKernelHandle& process,
                        DWORD& processId);

} // namespace sheen
