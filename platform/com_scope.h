#pragma once
// COM for one action on this thread. Its DLL (ole32) loads on the first use,
// a shortcut read or a start as administrator, never at start-up.

#include "platform/win32_error.h"

#include <windows.h>
#include <objbase.h>

namespace sheen {

// COM, apartment-threaded as the shell's objects and ShellExecuteExW ask, on
// this thread for as long as the object lives.
class ComScope {
  public:
    ComScope();
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    ~ComScope();
    // ERROR_SUCCESS when COM can be used; another model already chosen on
    // this thread serves as well.
    DWORD error() const {
        return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE ? ERROR_SUCCESS
                                                                   : ErrorOfResult(result_);
    }

  private:
    HRESULT result_;
};

// CoCreateInstance of an in-process server; an error where the system has no COM.
HRESULT CreateInProcessObject(REFCLSID server, REFIID wanted, void** object);

} // namespace sheen
