#include "app/fault_injection.h"

#include "platform/unique_handle.h"
#include "platform/win32_error.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace sheen {
namespace {

bool Names(const char* variable, const char* point) {
    const char* wanted = std::getenv(variable);
    return wanted && std::strcmp(wanted, point) == 0;
}

// ReplaceFileW's failures, each as its documentation tells what it leaves.
BOOL WINAPI ReplacedGone(LPCWSTR replaced, LPCWSTR, LPCWSTR, DWORD, LPVOID, LPVOID) {
    // 1176 without a backup name: the replaced file no longer exists, the
    // replacement is under its own name.
    ::DeleteFileW(replaced);
    ::SetLastError(ERROR_UNABLE_TO_MOVE_REPLACEMENT);
    return FALSE;
}

BOOL WINAPI ReplacedAside(LPCWSTR replaced, LPCWSTR, LPCWSTR backup, DWORD, LPVOID, LPVOID) {
    // 1177: the replaced file under the backup name, the replacement under its own.
    ::MoveFileW(replaced, backup);
    ::SetLastError(ERROR_UNABLE_TO_MOVE_REPLACEMENT_2);
    return FALSE;
}

BOOL WINAPI ReplacementLost(LPCWSTR replaced, LPCWSTR replacement, LPCWSTR backup, DWORD, LPVOID,
                            LPVOID) {
    // As a replace that is not atomic can end: the replaced file moved aside
    // and the replacement gone with a scanner or a full disk.
    ::MoveFileW(replaced, backup);
    ::DeleteFileW(replacement);
    ::SetLastError(ERROR_UNABLE_TO_MOVE_REPLACEMENT_2);
    return FALSE;
}

BOOL WINAPI DoneButFailed(LPCWSTR replaced, LPCWSTR replacement, LPCWSTR backup, DWORD flags,
                          LPVOID, LPVOID) {
    ::ReplaceFileW(replaced, replacement, backup, flags, nullptr, nullptr);
    ::SetLastError(ERROR_UNABLE_TO_REMOVE_REPLACED);
    return FALSE;
}

} // namespace

void InjectFault(const char* point) {
    if (Names("SHEENWRIGHT_FAULT", point))
        throw Win32Error(ERROR_NOT_SUPPORTED);
}

bool FaultNamed(const char* point) {
    return Names("SHEENWRIGHT_FAULT", point);
}

ReplaceFunction ReplaceStandIn() {
    struct StandIn {
        const char* name;
        ReplaceFunction replace;
    };
    static constexpr StandIn kStandIns[] = {{"ReplacedGone", &ReplacedGone},
                                            {"ReplacedAside", &ReplacedAside},
                                            {"ReplacementLost", &ReplacementLost},
                                            {"DoneButFailed", &DoneButFailed}};
    for (const StandIn& standIn : kStandIns) {
        if (Names("SHEENWRIGHT_REPLACE", standIn.name))
            return standIn.replace;
    }
    return nullptr;
}

void InjectStall(const char* point) {
    // So that a test can count the runs that passed `point`, in every process.
    if (const wchar_t* log = _wgetenv(L"SHEENWRIGHT_RUN_LOG")) {
        const UniqueFile file(::CreateFileW(log, FILE_APPEND_DATA,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_ALWAYS, 0, nullptr));
        const std::string line = std::string(point) + "\n";
        DWORD written = 0;
        ::WriteFile(file.get(), line.data(), DWORD(line.size()), &written, nullptr);
    }
    if (!Names("SHEENWRIGHT_STALL", point))
        return;
    // The test that asks for the stall holds the event; once it is gone, so is the stall.
    const UniqueKernelHandle release(::OpenEventW(SYNCHRONIZE, FALSE, L"SheenwrightStallRelease"));
    if (release)
        ::WaitForSingleObject(release.get(), INFINITE);
}

namespace {

void AfterCopyWritten() {
    InjectStall("ProgramCopyWritten");
    InjectFault("ProgramCopyWritten");
}

// A dependency the side-by-side loader cannot find, in a manifest still well-formed.
void SpoilManifest(std::string& merged) {
    if (!FaultNamed("SpoilMergedManifest"))
        return;
    const size_t token = merged.find("6595b64144ccf1df");
    if (token != std::string::npos)
        merged.replace(token, 16, "0000000000000000");
}

} // namespace

ProgramUpdateHooks UpdateHooks() {
    return {&AfterCopyWritten, &SpoilManifest, ReplaceStandIn()};
}

} // namespace sheen
