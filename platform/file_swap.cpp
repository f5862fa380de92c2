#include "platform/file_swap.h"

#include "platform/file_read.h"
#include "platform/file_replace.h"
#include "platform/retrying.h"
#include "platform/temporary_file.h"

namespace sheen {
namespace {

bool Exists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

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
    // Deleted, on the ways out that do not say, only when the file under the
    // name is read back as holding its bytes.
    const ScopedDeletion asideCopy(aside, replaced);
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
        if (Exists(replacement) &&
            Rename(replacement, replaced, IfExisting::fail) == ERROR_SUCCESS &&
            holdsReplacement(replaced)) {
            ::DeleteFileW(aside.c_str());
            return ERROR_SUCCESS;
        }
        if (!Exists(replaced) && Exists(aside))
            Rename(aside, replaced, IfExisting::fail);
    }
    return error;
}

} // namespace sheen
