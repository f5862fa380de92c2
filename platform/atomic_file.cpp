#include "platform/atomic_file.h"

#include "platform/file_name.h"
#include "platform/number_text.h"

namespace sheen {
namespace {

// Windows already refuses to rename over a read-only file, but Wine does not,
// and an administrator's open ignores the attribute: check it here.
bool IsReadOnlyOrFolder(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY));
}

} // namespace

DWORD OpenToRead(const std::wstring& path, FileToRead& opened) {
    opened.file.reset(::CreateFileW(path.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!opened.file)
        return ::GetLastError();
    LARGE_INTEGER size = {};
    if (!::GetFileSizeEx(opened.file.get(), &size))
        return ::GetLastError();
    opened.size = static_cast<ULONGLONG>(size.QuadPart);
    return ERROR_SUCCESS;
}

DWORD ReadWhole(const FileToRead& file, std::string& bytes) {
    bytes.clear();
    return ReadInChunks(file.file.get(), [&](std::string_view chunk) {
        bytes.append(chunk.substr(0, static_cast<size_t>(file.size) - bytes.size()));
        return bytes.size() < file.size;
    });
}

bool SameBytes(HANDLE one, HANDLE other) {
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

TemporaryFile::~TemporaryFile() {
    file_.reset();
    if (!path_.empty())
        ::DeleteFileW(path_.c_str());
}

DWORD CreateFileBeside(const std::wstring& destination, UniqueFile& file, std::wstring& path) {
    // In the destination's folder, so that a rename stays on one volume.
    const std::wstring folder(SplitPath(destination).folder);
    const DWORD seed = ::GetTickCount() ^ (::GetCurrentProcessId() << 16);
    for (DWORD attempt = 0; attempt < 64; ++attempt) {
        std::wstring candidate = folder + L"~sw" + HexText(seed + attempt, 8) + L".tmp";
        file.reset(::CreateFileW(candidate.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file) {
            path = std::move(candidate);
            return ERROR_SUCCESS;
        }
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
            return error;
    }
    return ERROR_FILE_EXISTS;
}

DWORD FreeNameBeside(const std::wstring& destination, std::wstring& name) {
    UniqueFile file;
    if (const DWORD error = CreateFileBeside(destination, file, name))
        return error;
    file.reset();
    // Free again at once: only a process picking the same random name could take it.
    return ::DeleteFileW(name.c_str()) ? DWORD(ERROR_SUCCESS) : ::GetLastError();
}

DWORD TemporaryFile::Create(const std::wstring& destination) {
    return CreateFileBeside(destination, file_, path_);
}

DWORD TemporaryFile::Write(std::string_view bytes) {
    DWORD written = 0;
    if (!::WriteFile(file_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr))
        return ::GetLastError();
    // A disk file takes all of a write or fails; anything short means no room.
    return written == bytes.size() ? ERROR_SUCCESS : ERROR_HANDLE_DISK_FULL;
}

DWORD TemporaryFile::WriteAllOf(HANDLE source) {
    DWORD written = ERROR_SUCCESS;
    const DWORD read = ReadInChunks(source, [&](std::string_view chunk) {
        written = Write(chunk);
        return written == ERROR_SUCCESS;
    });
    return read != ERROR_SUCCESS ? read : written;
}

DWORD TemporaryFile::Close(const FILETIME* stamp) {
    if (!::FlushFileBuffers(file_.get()))
        return ::GetLastError();
    if (stamp && !::SetFileTime(file_.get(), nullptr, nullptr, stamp))
        return ::GetLastError();
    if (!::CloseHandle(file_.release()))
        return ::GetLastError();
    return ERROR_SUCCESS;
}

DWORD TemporaryFile::RenameTo(const std::wstring& destination, IfExisting ifExisting) {
    const DWORD flags = MOVEFILE_WRITE_THROUGH |
                        (ifExisting == IfExisting::replace ? MOVEFILE_REPLACE_EXISTING : 0);
    return Retrying(AccessDenied::mayPass, [&] {
        if (!::MoveFileExW(path_.c_str(), destination.c_str(), flags))
            return ::GetLastError();
        path_.clear();
        return DWORD(ERROR_SUCCESS);
    });
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
    const UniqueFile existing(::CreateFileW(
        path.c_str(), GENERIC_WRITE | DELETE,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return existing ? ERROR_SUCCESS : ::GetLastError();
}

DWORD FullPathOfOrdinaryFile(const std::wstring& path, std::wstring& full) {
    if (const DWORD error = CheckNewFileName(path))
        return error;
    return FullPathForCreate(path, full);
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

bool RefusesToReplace(const std::wstring& path) {
    std::wstring full;
    return FullPathForCreate(path, full) == ERROR_SUCCESS &&
           IsReadOnlyOrFolder(::GetFileAttributesW(full.c_str()));
}

} // namespace sheen
