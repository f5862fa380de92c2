#include "platform/file_times.h"

#include "platform/unique_handle.h"

namespace sheen {

DWORD TouchLastWriteTime(const std::wstring& path) {
    const UniqueFile file(::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return ::GetLastError();
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    if (!::SetFileTime(file.get(), nullptr, nullptr, &now))
        return ::GetLastError();
    return ERROR_SUCCESS;
}

DWORD LastWriteTimeOf(const std::wstring& path, FILETIME& written) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return ::GetLastError();
    written = data.ftLastWriteTime;
    return ERROR_SUCCESS;
}

DWORD LastWriteTimeOf(HANDLE file, FILETIME& written) {
    return ::GetFileTime(file, nullptr, nullptr, &written) ? DWORD(ERROR_SUCCESS)
                                                           : ::GetLastError();
}

} // namespace sheen
