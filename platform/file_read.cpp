#include "platform/file_read.h"

#include "platform/file_name.h"
#include "platform/retrying.h"

namespace sheen {
namespace {

DWORD SizeOf(HANDLE file, ULONGLONG& size) {
    LARGE_INTEGER value = {};
    if (!::GetFileSizeEx(file, &value))
        return ::GetLastError();
    size = static_cast<ULONGLONG>(value.QuadPart);
    return ERROR_SUCCESS;
}

} // namespace

DWORD OpenToRead(const std::wstring& path, FileToRead& opened) {
    opened.file.reset(::CreateFileW(path.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!opened.file)
        return ::GetLastError();
    return SizeOf(opened.file.get(), opened.size);
}

DWORD ReadWhole(const FileToRead& file, std::string& bytes) {
    bytes.clear();
    return ReadInChunks(file.file.get(), [&](std::string_view chunk) {
        bytes.append(chunk.substr(0, static_cast<size_t>(file.size) - bytes.size()));
        return bytes.size() < file.size;
    });
}

bool SameBytes(HANDLE one, HANDLE other) {
    // Reading `one` through would take a longer `other` for the same.
    ULONGLONG oneSize = 0;
    ULONGLONG otherSize = 0;
    if (SizeOf(one, oneSize) != ERROR_SUCCESS || SizeOf(other, otherSize) != ERROR_SUCCESS ||
        oneSize != otherSize || !::SetFilePointerEx(other, LARGE_INTEGER{}, nullptr, FILE_BEGIN))
        return false;
    bool same = true;
    const DWORD error = ReadInChunks(one, [&](std::string_view chunk) {
        char theirs[kFileChunk];
        DWORD read = 0;
        same = ::ReadFile(other, theirs, static_cast<DWORD>(chunk.size()), &read, nullptr) &&
               std::string_view(theirs, read) == chunk;
        return same;
    });
    return error == ERROR_SUCCESS && same;
}

bool SameFileBytes(const std::wstring& one, const std::wstring& other) {
    FileToRead first;
    FileToRead second;
    return OpenToRead(one, first) == ERROR_SUCCESS && OpenToRead(other, second) == ERROR_SUCCESS &&
           SameBytes(first.file.get(), second.file.get());
}

DWORD ReadSmall(const std::wstring& full, FileToRead& file, std::string& bytes) {
    if (const DWORD error = Retrying(AccessDenied::stays, [&] { return OpenToRead(full, file); }))
        return error;
    if (file.size > kFileChunk)
        return ERROR_FILE_TOO_LARGE;
    return ReadWhole(file, bytes);
}

DWORD ReadSmallFile(const std::wstring& path, std::string& bytes) {
    std::wstring full;
    if (const DWORD error = FullPathOfOrdinaryFile(path, full))
        return error;
    FileToRead file;
    return ReadSmall(full, file, bytes);
}

} // namespace sheen
