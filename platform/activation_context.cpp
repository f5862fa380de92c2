#include "platform/activation_context.h"

#include "platform/unique_handle.h"

namespace sheen {

DWORD CheckCommonControlsRedirect(const std::wstring& path, ManifestSource source) {
    ACTCTXW request = {};
    request.cbSize = sizeof request;
    request.lpSource = path.c_str();
    if (source == ManifestSource::programResource) {
        request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
        request.lpResourceName = MAKEINTRESOURCEW(1); // the manifest a process starts with
    }
    const UniqueActivationContext context(::CreateActCtxW(&request));
    if (!context)
        return ::GetLastError();
    ULONG_PTR cookie = 0;
    if (!::ActivateActCtx(context.get(), &cookie))
        return ::GetLastError();
    ACTCTX_SECTION_KEYED_DATA found = {};
    found.cbSize = sizeof found;
    const BOOL redirected = ::FindActCtxSectionStringW(
        0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION, L"comctl32.dll", &found);
    ::DeactivateActCtx(0, cookie);
    return redirected ? ERROR_SUCCESS : DWORD(ERROR_SXS_KEY_NOT_FOUND);
}

} // namespace sheen
