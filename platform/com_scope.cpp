#include "platform/com_scope.h"

#include "platform/system_function.h"

namespace sheen {

ComScope::ComScope() {
    static const auto initialize = SHEEN_SYSTEM_FUNCTION(L"ole32.dll", CoInitializeEx);
    result_ = initialize ? initialize(nullptr, COINIT_APARTMENTTHREADED)
                         : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
}

ComScope::~ComScope() {
    static const auto uninitialize = SHEEN_SYSTEM_FUNCTION(L"ole32.dll", CoUninitialize);
    if (SUCCEEDED(result_) && uninitialize)
        uninitialize();
}

HRESULT CreateInProcessObject(REFCLSID server, REFIID wanted, void** object) {
    static const auto create = SHEEN_SYSTEM_FUNCTION(L"ole32.dll", CoCreateInstance);
    *object = nullptr;
    return create ? create(server, nullptr, CLSCTX_INPROC_SERVER, wanted, object) : E_NOINTERFACE;
}

} // namespace sheen
