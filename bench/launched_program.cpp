#include "bench/launched_program.h"

#include "bench/stopwatch.h"
#include "support/app_driver.h"

#include <psapi.h>

namespace sheen::bench {

LaunchedProgram::LaunchedProgram(const std::wstring& program, const wchar_t* windowClass,
                                 const std::function<bool(HWND)>& ready, double timeoutMs) {
    const Stopwatch clock;
    test::StartedProgram started = test::StartProgram(program);
    if (!started.process)
        return;
    process_ = std::move(started.process);
    processId_ = started.processId;
    HWND found = nullptr;
    const bool shown = PollUntil(
        [&] {
            found = test::FindVisibleWindow(windowClass, processId_);
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
