#pragma once
// One start of a program, timed from CreateProcessW until its window is ready.

#include "platform/unique_handle.h"

#include <windows.h>

#include <functional>
#include <string>

namespace sheen::bench {

struct Memory {
    SIZE_T privateBytes = 0;
    SIZE_T workingSet = 0;
};

class LaunchedProgram {
  public:
    // Starts `program`, then polls until a visible top-level window of
    // `windowClass` in the new process exists and satisfies `ready`.
    LaunchedProgram(const std::wstring& program, const wchar_t* windowClass,
                    const std::function<bool(HWND)>& ready, double timeoutMs);
    LaunchedProgram(const LaunchedProgram&) = delete;
    LaunchedProgram& operator=(const LaunchedProgram&) = delete;
    // Closes the window and waits for the process to end; ends it if it will not.
    ~LaunchedProgram();

    bool ready() const { return main_ != nullptr; }
    HWND main() const { return main_; }
    DWORD processId() const { return processId_; }
    double startupMs() const { return startupMs_; }
    // Private bytes and working set, once the program waits for input.
    Memory MemoryOnceIdle() const;

  private:
    UniqueKernelHandle process_;
    DWORD processId_ = 0;
    HWND main_ = nullptr;
    double startupMs_ = 0;
};

} // namespace sheen::bench
