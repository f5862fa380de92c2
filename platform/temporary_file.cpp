#include "platform/temporary_file.h"

#include "platform/file_name.h"
#include "platform/file_read.h"
#include "platform/number_text.h"

namespace sheen {

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

ScopedDeletion& ScopedDeletion::operator=(ScopedDeletion&& other) noexcept {
    if (this != &other) {
        DeleteUnlessKept();
        path_ = std::move(other.path_);
        other.path_.clear();
        sameAs_ = std::move(other.sameAs_);
    }
    return *this;
}

void ScopedDeletion::DeleteUnlessKept() {
    if (!path_.empty() && (sameAs_.empty() || SameFileBytes(path_, sameAs_)))
        ::DeleteFileW(path_.c_str());
}

DWORD TemporaryFile::Create(const std::wstring& destination) {
    std::wstring path;
    const DWORD error = CreateFileBeside(destination, file_, path);
    if (error == ERROR_SUCCESS)
        deletion_ = ScopedDeletion(std::move(path));
    return error;
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
    if (const DWORD error = Rename(path(), destination, ifExisting))
        return error;
    deletion_.Keep();
    return ERROR_SUCCESS;
}

} // namespace sheen
