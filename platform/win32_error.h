#pragma once
// How errors travel. A function that can fail returns the Win32 error code
// (DWORD): ERROR_SUCCESS, or the code GetLastError() gave on the line after
// the call that failed; what it found goes to out-parameters, and what it did
// when it did not fail is told apart from the error, never coded as one.
// HRESULTs become codes through ErrorOfResult. Exceptions are only for where
// the window is built and its handlers run: Win32Error, and std::bad_alloc,
// end the handler, and the user reads their text (DescribeError).

#include <windows.h>

#include <exception>
#include <optional>
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

// The Win32 error code an HRESULT carries. A result of another facility
// becomes `otherFacility` when given; otherwise it stands as it is (the
// system's error texts know most of them too), E_OUTOFMEMORY as
// ERROR_NOT_ENOUGH_MEMORY.
DWORD ErrorOfResult(HRESULT result, std::optional<DWORD> otherFacility = std::nullopt);

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
