#pragma once
// A lock that every process of the session asks for by name: two runs of
// Sheenwright, the administrator's among them, take turns on one program.

#include "platform/unique_handle.h"

#include <windows.h>

#include <string>

namespace sheen {

class NamedLock {
  public:
    NamedLock() = default;
    NamedLock(const NamedLock&) = delete;
    NamedLock& operator=(const NamedLock&) = delete;
    ~NamedLock();

    // Waits at most `timeoutMs` for the lock called `name` and holds it until
    // destroyed. Returns ERROR_SUCCESS, ERROR_BUSY at the timeout, or the
    // system's error.
    DWORD Acquire(const std::wstring& name, DWORD timeoutMs);

  private:
    UniqueKernelHandle mutex_;
    bool held_ = false;
};

} // namespace sheen
