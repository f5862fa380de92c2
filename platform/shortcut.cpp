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

bool IsFileOnADriveOrShare(const std::wstring& path) {
    if (path.empty() || CheckNewFileName(path) != ERROR_SUCCESS)
        return false;
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace

bool IsShortcut(const std::wstring& path) {
    constexpr std::wstring_view kExtension = L".lnk";
    return path.size() > kExtension.size() &&
           EqualsNoCase(std::wstring_view(path).substr(path.size() - kExtension.size()),
                        kExtension);
}

std::optional<std::wstring> ShortcutTarget(const std::wstring& shortcut) {
    if (!IsFileOnADriveOrShare(shortcut))
        return std::nullopt;
    const ComScope com;
    if (!com.usable())
        return std::nullopt;
    IShellLinkW* createdLink = nullptr;
    if (FAILED(CreateInProcessObject(CLSID_ShellLink, IID_IShellLinkW,
                                     reinterpret_cast<void**>(&createdLink))))
        return std::nullopt;
    const UniqueComPointer<IShellLinkW> link(createdLink);
    IPersistFile* persistFile = nullptr;
    if (FAILED(
            link.get()->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persistFile))))
        return std::nullopt;
    const UniqueComPointer<IPersistFile> file(persistFile);
    // Without SLR_UPDATE the shortcut is not rewritten, even when its target moved.
    if (FAILED(file.get()->Load(shortcut.c_str(), STGM_READ)) ||
        link.get()->Resolve(nullptr, SLR_NO_UI | SLR_NOSEARCH | SLR_NOTRACK) != S_OK)
        return std::nullopt;
    std::wstring target(kPathCapacity, L'\0');
    if (link.get()->GetPath(target.data(), kPathCapacity, nullptr, 0) != S_OK)
        return std::nullopt; // S_FALSE: it points to no file, a printer for example
    target.resize(target.find(L'\0'));
    if (!IsFileOnADriveOrShare(target))
        return std::nullopt;
    return target;
}

std::optional<std::wstring> FollowShortcut(const std::wstring& path) {
    return IsShortcut(path) ? ShortcutTarget(path) : path;
}

} // namespace sheen
