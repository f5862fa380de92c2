#include "platform/file_swap.h"

#include "platform/atomic_file.h"

namespace sheen {
namespace {

bool Exists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A rename that refuses to replace anything: only an empty name is filled.
DWORD MoveInto(const std::wstring& from, const std::wstring& to) {
    return Retrying(AccessDenied::mayPass, [&] {
        return ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)
                   ? DWORD(ERROR_SUCCESS)
                   : ::GetLastError();
    });
}

// Deleted only when the file under the name is read back as holding its bytes.
void DeleteIfSameAs(const std::wstring& aside, const std::wstring& inPlace) {
    if (Exists(aside) && SameFileBytes(aside, inPlace))
        ::DeleteFileW(aside.c_str());
}

} // namespace

bool SameFileBytes(const std::wstring& one, const std::wstring& other) {
    FileToRead first;
    FileToRead second;
    return OpenToRead(one, first) == ERROR_SUCCESS && OpenToRead(other, second) == ERROR_SUCCESS &&
           first.size == second.size && SameBytes(first.file.get(), second.file.get());
}

DWORD SwapFile(const std::wstring& replaced, const std::wstring& replacement,
               const HoldsReplacement& holdsReplacement, ReplaceFunction replace) {
    if (!replace)
        replace = &::ReplaceFileW;
    // With a name to move the replaced file to, ReplaceFileW's failures are
    // documented to leave both names as they were (1175, 1176), or the
    // replaced file under that name and the replacement under its own (1177).
    std::wstring aside;
    if (const DWORD error = FreeNameBeside(replaced, aside))
        return error;
    DWORD error = Retrying(AccessDenied::mayPass, [&] {
        return replace(replaced.c_str(), replacement.c_str(), aside.c_str(), 0, nullptr, nullptr)
                   ? DWORD(ERROR_SUCCESS)
                   : ::GetLastError();
    });
    if (holdsReplacement(replaced)) {
        // What was replaced is the caller's to keep, as a backup or not at all.
        ::DeleteFileW(aside.c_str());
        return ERROR_SUCCESS;
    }
    if (error == ERROR_SUCCESS)
        error = ERROR_UNABLE_TO_MOVE_REPLACEMENT; // said done, and not done
    if (!Exists(replaced)) {
        if (Exists(replacement) && MoveInto(replacement, replaced) == ERROR_SUCCESS &&
            holdsReplacement(replaced)) {
            ::DeleteFileW(aside.c_str());
            return ERROR_SUCCESS;
        }
        if (!Exists(replaced) && Exists(aside))
            MoveInto(aside, replaced);
    }
    DeleteIfSameAs(aside, replaced);
    return error;
}

} // namespace sheen
