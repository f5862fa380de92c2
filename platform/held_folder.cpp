#include "platform/held_folder.h"

#include "platform/system_function.h"

namespace sheen {

DWORD HeldFolder::Open(const std::wstring& path, FolderIdentity& identity) {
    // Backup semantics open a folder; FILE_SHARE_DELETE left out keeps it,
    // and so the folders above it, where they are.
    folder_.reset(::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!folder_)
        return ::GetLastError();
    BY_HANDLE_FILE_INFORMATION information;
    if (!::GetFileInformationByHandle(folder_.get(), &information))
        return ::GetLastError();
    identity.volume = information.dwVolumeSerialNumber;
    identity.file = ULONGLONG(information.nFileIndexHigh) << 32 | information.nFileIndexLow;
    return information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? ERROR_SUCCESS
                                                                   : ERROR_DIRECTORY;
}

DWORD HeldFolder::FinalPath(std::wstring& path) const {
    using GetFinalPathName = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);
    const auto getFinalPathName =
        FindSystemFunction<GetFinalPathName>(L"kernel32.dll", "GetFinalPathNameByHandleW");
    if (!getFinalPathName)
        return ERROR_PROC_NOT_FOUND;
    // Asked with no room, it tells the room the path needs, its null included;
    // 0: FILE_NAME_NORMALIZED | VOLUME_NAME_DOS.
    const DWORD needed = getFinalPathName(folder_.get(), nullptr, 0, 0);
    if (needed == 0)
        return ::GetLastError();
    path.resize(needed);
    const DWORD length = getFinalPathName(folder_.get(), path.data(), needed, 0);
    if (length == 0)
        return ::GetLastError();
    path.resize(length < needed ? length : 0);
    if (!path.empty() && path.back() == L'\\')
        path.pop_back(); // a drive's root
    return path.empty() ? ERROR_BAD_LENGTH : ERROR_SUCCESS;
}

} // namespace sheen
