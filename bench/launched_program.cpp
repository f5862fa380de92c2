#include "bench/launched_program.h"

#include "bench/stopwatch.h"

#include <psapi.h>

namespace sheen::bench {

HWND FindVisibleWindow(const wchar_t* windowClass, DWORD processId) {
    // One server call per window of the class: cheap enough to poll every millisecond.
    HWND window = nullptr;
    while ((window = ::FindWindowExW(nullptr, window, windowClass, nullptr))) {
        DWORD owner = 0;
        ::GetWindowThreadProcessId(window, &owner);
        if (owner == processId && ::IsWindowVisible(window))
            return window;
    }
    return nullptr;
}

LaunchedProgram::LaunchedProgram(const std::wstring& program, const wchar_t* windowClass,
                                 const std::function<bool(HWND)>& ready, double timeoutMs) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    std::wstring commandLine = L"\"" + program + L"\"";
    const Stopwatch clock;
    if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &startup, &info))
        return;
    process_.reset(info.hProcess);
    const UniqueKernelHandle thread(info.hThread);
    processId_ = info.dwProcessId;
    HWND found = nullptr;
    const bool shown = PollUntil(
        [&] {
            found = FindVisibleWindow(windowClass, processId_);
            return found && ready(found);
        },
        timeoutMs);
    startupMs_ = clock.ElapsedMs();
    if (shown)
        main_ = found;
}

LaunchedProgram::~LaunchedProgram() {
    if (!process_)
        return;
    if (main_)
        ::PostMessageW(main_, WM_CLOSE, 0, 0);
    if (::WaitForSingleObject(process_.get(), 10000) != WAIT_OBJECT_0) {
        ::TerminateProcess(process_.get(), 1);
        ::WaitForSingleObject(process_.get(), 5000);
    }
}

Memory LaunchedProgram::MemoryOnceIdle() const {
    ::WaitForInputIdle(process_.get(), 5000);
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    if (!::GetProcessMemoryInfo(
            process_.get(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters))
        return {};
    // Wine leaves PrivateUsage at zero for other processes. PagefileUsage is the
    // same private commit charge on Windows; Wine fills it from Linux's count
    // of the process's anonymous memory, resident and swapped.
    const SIZE_T privateBytes =
        counters.PrivateUsage ? counters.PrivateUsage : counters.PagefileUsage;
    return {privateBytes, counters.WorkingSetSize};
}

} // namespace sheen::bench
