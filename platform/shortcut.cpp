#include "platform/shortcut.h"

#include "platform/com_scope.h"
#include "platform/file_name.h"
#include "platform/text_compare.h"
#include "platform/unique_handle.h"

#include <windows.h>
#include <shlobj.h>

namespace sheen {
namespace {

// Enough for any path Windows can name.
constexpr int kPathCapacity = 32768;

} // namespace

bool IsShortcut(const std::wstring& path) {
    constexpr std::wstring_view kExtension = L".lnk";
    return path.size() > kExtension.size() &&
           EqualsIgnoringAsciiCase(std::wstring_view(path).substr(path.size() - kExtension.size()),
                                   kExtension);
}

DWORD ShortcutTarget(const std::wstring& shortcut, std::wstring& target) {
    if (const DWORD error = CheckExistingFile(shortcut))
        return error;
    const ComScope com;
    if (const DWORD error = com.error())
        return error;
    IShellLinkW* createdLink = nullptr;
    if (const HRESULT result = CreateInProcessObject(CLSID_ShellLink, IID_IShellLinkW,
                                                     reinterpret_cast<void**>(&createdLink));
        FAILED(result))
        return ErrorOfResult(result);
    const UniqueComPointer<IShellLinkW> link(createdLink);
    IPersistFile* persistFile = nullptr;
    if (const HRESULT result =
            link.get()->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persistFile));
        FAILED(result))
        return ErrorOfResult(result);
    const UniqueComPointer<IPersistFile> file(persistFile);
    if (const HRESULT result = file.get()->Load(shortcut.c_str(), STGM_READ); FAILED(result))
        return ErrorOfResult(result, ERROR_BAD_FORMAT); // of another facility: no shortcut
    // Without SLR_UPDATE the shortcut is not rewritten, even when its target moved.
    if (link.get()->Resolve(nullptr, SLR_NO_UI | SLR_NOSEARCH | SLR_NOTRACK) != S_OK)
        return ERROR_FILE_NOT_FOUND; // its target is gone
    std::wstring found(kPathCapacity, L'\0');
    if (link.get()->GetPath(found.data(), kPathCapacity, nullptr, 0) != S_OK)
        return ERROR_FILE_NOT_FOUND; // S_FALSE: it points to no file, a printer for example
    found.resize(found.find(L'\0'));
    if (const DWORD error = CheckExistingFile(found))
        return error;
    target = std::move(found);
    return ERROR_SUCCESS;
}

DWORD FollowShortcut(const std::wstring& path, std::wstring& file) {
    if (!IsShortcut(path)) {
        file = path;
        return ERROR_SUCCESS;
    }
    return ShortcutTarget(path, file);
}

} // namespace sheen
