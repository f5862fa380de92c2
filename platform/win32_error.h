#pragma once

#include <windows.h>

#include <exception>
#include <stdexcept>
#include <string>

namespace sheen {

// A failed Win32 call, carrying the code GetLastError() gave right after it.
class Win32Error : public std::runtime_error {
  public:
    explicit Win32Error(DWORD code);
    DWORD code() const { return code_; }

  private:
    DWORD code_;
};

// Throws Win32Error for the calling thread's last error. Call it on the line
// right after the call that failed.
[[noreturn]] void ThrowLastError();

// The Win32 error code that stands for an error: a Win32Error's own,
// ERROR_NOT_ENOUGH_MEMORY for std::bad_alloc, ERROR_INTERNAL_ERROR for any other.
DWORD ErrorCodeOf(const std::exception_ptr& error);

// The text to show a user for an error that ended a handler: the system's
// description for Win32 errors, the error's own words otherwise.
std::wstring DescribeError(const std::exception_ptr& error);

} // namespace sheen
