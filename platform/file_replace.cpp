#include "platform/file_replace.h"

#include "platform/file_name.h"
#include "platform/retrying.h"
#include "platform/temporary_file.h"
#include "platform/unique_handle.h"

namespace sheen {
namespace {

// Windows already refuses to rename over a read-only file, but Wine does not,
// and an administrator's open ignores the attribute: check it here.
bool IsReadOnlyOrFolder(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY));
}

DWORD DeleteOnceAndLook(const std::wstring& path) {
    if (!::DeleteFileW(path.c_str()))
        return ::GetLastError();
    if (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)
        return ERROR_ACCESS_DENIED;
    const DWORD error = ::GetLastError();
    const bool goneOrPending = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
                               error == ERROR_ACCESS_DENIED;
    return goneOrPending ? DWORD(ERROR_SUCCESS) : error;
}

} // namespace

DWORD Rename(const std::wstring& from, const std::wstring& to, IfExisting ifExisting) {
    const DWORD flags = MOVEFILE_WRITE_THROUGH |
                        (ifExisting == IfExisting::replace ? MOVEFILE_REPLACE_EXISTING : 0);
    return Retrying(AccessDenied::mayPass, [&] {
        return ::MoveFileExW(from.c_str(), to.c_str(), flags) ? DWORD(ERROR_SUCCESS)
                                                              : ::GetLastError();
    });
}

DWORD DeleteAndLook(const std::wstring& path) {
    return Retrying(AccessDenied::mayPass, [&] { return DeleteOnceAndLook(path); });
}

DWORD CheckOpens(const std::wstring& path, DWORD access, DWORD share, DWORD flags) {
    const UniqueFile file(
        ::CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, flags, nullptr));
    return file ? ERROR_SUCCESS : ::GetLastError();
}

DWORD CheckReplaceable(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return ERROR_SUCCESS; // absent, or a path the create step will report on
    if (IsReadOnlyOrFolder(attributes))
        return ERROR_ACCESS_DENIED;
    // Open it the way the replacement needs it, sharing everything, to learn
    // whether another process holds it without sharing. A link is what the
    // rename replaces or the deletion takes away, not what it leads to.
    return CheckOpens(path, GENERIC_WRITE | DELETE,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT);
}

DWORD PrepareReplacement(const std::wstring& path, std::wstring& full) {
    if (const DWORD error = FullPathOfOrdinaryFile(path, full))
        return error;
    // A read-only file or a folder stays so; only a sharing violation passes.
    return Retrying(AccessDenied::stays, [&] { return CheckReplaceable(full); });
}

DWORD WriteInPlaceOf(const std::wstring& full, std::string_view bytes, const FILETIME* stamp) {
    TemporaryFile temporary;
    if (const DWORD error = temporary.Create(full))
        return error;
    if (const DWORD error = temporary.Write(bytes))
        return error;
    if (const DWORD error = temporary.Close(stamp))
        return error;
    return temporary.RenameTo(full, IfExisting::replace);
}

bool RefusesToReplace(const std::wstring& path) {
    std::wstring full;
    return FullPathForCreate(path, full) == ERROR_SUCCESS &&
           IsReadOnlyOrFolder(::GetFileAttributesW(full.c_str()));
}

} // namespace sheen
