#include "platform/file_output.h"

#include "platform/unique_handle.h"

#include <cwchar>

namespace sheen {
namespace {

// The folder part of `path` as given, separator included ("" for a bare name),
// so that the temporary file lands on the same volume as its destination.
std::wstring FolderPrefix(const std::wstring& path) {
    const size_t cut = path.find_last_of(L"\\/:");
    return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut + 1);
}

// A temporary file that is deleted again unless it was renamed into place.
class TemporaryFile {
  public:
    TemporaryFile() = default;
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        file_.reset();
        if (!path_.empty())
            ::DeleteFileW(path_.c_str());
    }

    // Creates a file of a name nobody else uses in the folder of `destination`.
    DWORD Create(const std::wstring& destination) {
        const std::wstring folder = FolderPrefix(destination);
        const DWORD seed = ::GetTickCount() ^ (::GetCurrentProcessId() << 16);
        for (DWORD attempt = 0; attempt < 64; ++attempt) {
            wchar_t name[16];
            std::swprintf(name, 16, L"~sw%08lx.tmp", static_cast<unsigned long>(seed + attempt));
            std::wstring candidate = folder + name;
            UniqueFile file(::CreateFileW(candidate.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
            const DWORD error = file ? ERROR_SUCCESS : ::GetLastError();
            if (file) {
                file_ = std::move(file);
                path_ = std::move(candidate);
                return ERROR_SUCCESS;
            }
            if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
                return error;
        }
        return ERROR_FILE_EXISTS;
    }

    // Writes all of `bytes`, forces them to the disk, and closes the file.
    DWORD WriteAndClose(std::string_view bytes) {
        DWORD written = 0;
        if (!::WriteFile(file_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                         nullptr))
            return ::GetLastError();
        // A disk file takes all of a write or fails; anything short means no room.
        if (written != bytes.size())
            return ERROR_HANDLE_DISK_FULL;
        if (!::FlushFileBuffers(file_.get()))
            return ::GetLastError();
        if (!::CloseHandle(file_.release()))
            return ::GetLastError();
        return ERROR_SUCCESS;
    }

    DWORD RenameTo(const std::wstring& destination) {
        if (!::MoveFileExW(path_.c_str(), destination.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return ::GetLastError();
        path_.clear();
        return ERROR_SUCCESS;
    }

  private:
    std::wstring path_;
    UniqueFile file_;
};

// Refuses an existing destination that the rename must not or cannot replace.
// Windows already refuses to rename over a read-only file, but Wine does not,
// and an administrator's open ignores the attribute: check it here.
DWORD CheckReplaceable(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return ERROR_SUCCESS; // absent, or a path the create step will report on
    if (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))
        return ERROR_ACCESS_DENIED;
    // Open it the way the replacement needs it, sharing everything, to learn
    // whether another process holds it without sharing.
    const UniqueFile existing(::CreateFileW(path.c_str(), GENERIC_WRITE | DELETE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                            nullptr));
    return existing ? ERROR_SUCCESS : ::GetLastError();
}

} // namespace

DWORD ReplaceFileContents(const std::wstring& path, std::string_view bytes) {
    if (const DWORD error = CheckReplaceable(path))
        return error;
    TemporaryFile temporary;
    if (const DWORD error = temporary.Create(path))
        return error;
    if (const DWORD error = temporary.WriteAndClose(bytes))
        return error;
    return temporary.RenameTo(path);
}

} // namespace sheen
