#include "platform/resource_update.h"

#include "platform/system_function.h"
#include "platform/unique_handle.h"

#include <imagehlp.h>

#include <string>

namespace sheen {

DWORD ReplaceManifestResource(const std::wstring& path, WORD language, std::string_view manifest) {
    const HANDLE update = ::BeginUpdateResourceW(path.c_str(), FALSE);
    if (!update)
        return ::GetLastError();
    // UpdateResourceW takes the data through a pointer to non-const.
    std::string bytes(manifest);
    if (!::UpdateResourceW(update, MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1), language,
                           bytes.data(), DWORD(bytes.size()))) {
        const DWORD error = ::GetLastError();
        ::EndUpdateResourceW(update, TRUE); // discards the update
        return error;
    }
    if (!::EndUpdateResourceW(update, FALSE))
        return ::GetLastError();
    return ERROR_SUCCESS;
}

DWORD UpdatePeChecksum(const std::wstring& path) {
    static const auto checkSumMappedFile =
        SHEEN_SYSTEM_FUNCTION(L"imagehlp.dll", CheckSumMappedFile);
    if (!checkSumMappedFile)
        return ERROR_PROC_NOT_FOUND;
    const UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return ::GetLastError();
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(file.get(), &size))
        return ::GetLastError();
    if (size.QuadPart < LONGLONG(sizeof(IMAGE_DOS_HEADER)) || size.QuadPart > MAXDWORD)
        return ERROR_BAD_EXE_FORMAT;
    const UniqueKernelHandle mapping(
        ::CreateFileMappingW(file.get(), nullptr, PAGE_READWRITE, 0, 0, nullptr));
    if (!mapping)
        return ::GetLastError();
    const UniqueMappedView view(::MapViewOfFile(mapping.get(), FILE_MAP_WRITE, 0, 0, 0));
    if (!view)
        return ::GetLastError();
    DWORD headerSum = 0;
    DWORD checkSum = 0;
    // The field lies at the same offset in PE32 and PE32+ headers.
    const PIMAGE_NT_HEADERS headers =
        checkSumMappedFile(view.get(), DWORD(size.QuadPart), &headerSum, &checkSum);
    if (!headers)
        return ERROR_BAD_EXE_FORMAT;
    headers->OptionalHeader.CheckSum = checkSum;
    if (!::FlushViewOfFile(view.get(), 0))
        return ::GetLastError();
    if (!::FlushFileBuffers(file.get()))
        return ::GetLastError();
    return ERROR_SUCCESS;
}

} // namespace sheen
