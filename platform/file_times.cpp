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

} // namespace sheen
