#include "platform/held_folder.h"

#include "platform/system_function.h"

namespace sheen {

DWORD HeldFolder::Open(const std::wstring& path) {
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
    return information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY ? ERROR_SUCCESS
                                                                   : ERROR_DIRECTORY;
}

DWORD HeldFolder::Identity(FolderIdentity& identity) const {
    BY_HANDLE_FILE_INFORMATION information;
    if (!::GetFileInformationByHandle(folder_.get(), &information))
        return ::GetLastError();
    identity.volume = information.dwVolumeSerialNumber;
    identity.file = ULONGLONG(information.nFileIndexHigh) << 32 | information.nFileIndexLow;
    return ERROR_SUCCESS;
}

DWORD HeldFolder::FinalPath(std::wstring& path) const {
    using GetFinalPathName = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);
    static const auto getFinalPathName =
        FindSystemFunction<GetFinalPathName>(L"kernel32.dll", "GetFinalPathNameByHandleW");
    if (!getFinalPathName)
        return ERROR_PROC_NOT_FOUND;
    path.assign(MAX_PATH, L'\0');
    for (;;) {
        // 0: FILE_NAME_NORMALIZED | VOLUME_NAME_DOS
        const DWORD length = getFinalPathName(folder_.get(), path.data(), DWORD(path.size()), 0);
        if (length == 0)
            return ::GetLastError();
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(length); // the size it needs, with its terminating null
    }
    if (path.size() > 1 && path.back() == L'\\')
        path.pop_back(); // a drive's root
    return ERROR_SUCCESS;
}

} // namespace sheen
