#include "platform/win32_error.h"

#include "platform/error_text.h"
#include "platform/number_text.h"

#include <new>

namespace sheen {

Win32Error::Win32Error(DWORD code)
    : std::runtime_error("Win32 error " + DecimalText<char>(code)), code_(code) {}

DWORD ErrorOfResult(HRESULT result, std::optional<DWORD> otherFacility) {
    if (HRESULT_FACILITY(result) == FACILITY_WIN32)
        return HRESULT_CODE(result);
    if (otherFacility)
        return *otherFacility;
    return result == E_OUTOFMEMORY ? DWORD(ERROR_NOT_ENOUGH_MEMORY) : DWORD(result);
}

void ThrowLastError() {
    throw Win32Error(::GetLastError());
}

DWORD ErrorCodeOf(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const Win32Error& failure) {
        return failure.code();
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    } catch (...) {
        return ERROR_INTERNAL_ERROR;
    }
}

std::wstring DescribeError(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const Win32Error& failure) {
        return ErrorText(failure.code());
    } catch (const std::bad_alloc&) {
        return ErrorText(ERROR_NOT_ENOUGH_MEMORY);
    } catch (const std::exception& failure) {
        // Our own descriptions are ASCII.
        const std::string what = failure.what();
        return std::wstring(what.begin(), what.end());
    } catch (...) {
        return ErrorText(ERROR_INTERNAL_ERROR);
    }
}

} // namespace sheen
