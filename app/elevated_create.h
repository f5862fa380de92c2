#pragma once
// Create as administrator where Windows guards the program's folder: whether
// to offer it, and the outcome of the elevated instance, carried back whole.

#include <windows.h>

#include <optional>
#include <string>

namespace sheen {

// Whether Create may offer to write as administrator after `error` for
// `targetPath`: Windows denied the write, not Sheenwright itself (a read-only
// earlier manifest stays refused for anyone), on a system with User Account
// Control, to a process that is not elevated.
bool MayCreateAsAdministrator(const std::wstring& targetPath, DWORD error);

// `targetPath` as another account's process reaches it from anywhere: full,
// and on a mapped network drive, on its share.
std::wstring PathForAdministrator(const std::wstring& targetPath);

// What the window tells after an elevated Create: nothing when the user
// declined the consent prompt (`error` ERROR_CANCELLED); the error that kept
// it from starting or from being awaited; else the outcome it relayed or,
// failing that, what its exit code says.
std::optional<std::wstring> ElevatedOutcomeText(DWORD error, DWORD exitCode,
                                                const std::optional<std::wstring>& relayed);

// The outcome goes back to the asking window with WM_COPYDATA: a higher
// integrity level may send to a lower one, and the two accounts need to share
// no TEMP folder, registry or drive. Sent only to a window of Sheenwright's
// own class, and given up on if it does not answer.
void SendOutcome(HWND asking, const std::wstring& text);
// The text of such a message; nothing for any other WM_COPYDATA.
std::optional<std::wstring> ReceivedOutcome(const COPYDATASTRUCT& data);

} // namespace sheen
