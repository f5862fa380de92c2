#include "platform/embedded_manifest.h"

#include "platform/unique_handle.h"

namespace sheen {

DWORD ReadEmbeddedManifest(const std::wstring& path, std::string& manifest) {
    // The loader appends ".dll" to a name without an extension; a trailing dot
    // tells it that the name is whole.
    std::wstring name = path;
    if (name.find(L'.', name.find_last_of(L"\\/") + 1) == std::wstring::npos)
        name += L'.';
    const UniqueModule module(::LoadLibraryExW(name.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!module)
        return ::GetLastError();
    const HRSRC found =
        ::FindResourceW(module.get(), CREATEPROCESS_MANIFEST_RESOURCE_ID, RT_MANIFEST);
    if (!found)
        return ::GetLastError();
    const DWORD size = ::SizeofResource(module.get(), found);
    const HGLOBAL loaded = ::LoadResource(module.get(), found);
    if (!loaded)
        return ::GetLastError();
    const auto* bytes = static_cast<const char*>(::LockResource(loaded));
    if (!bytes)
        return ERROR_RESOURCE_DATA_NOT_FOUND;
    manifest.assign(bytes, size);
    return ERROR_SUCCESS;
}

} // namespace sheen
