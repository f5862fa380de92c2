#include "platform/file_search.h"

namespace sheen {

FileSearch::~FileSearch() = default;

DWORD FileSearch::Next(WIN32_FIND_DATAW& found) {
    if (search_)
        return ::FindNextFileW(search_.get(), &found) ? DWORD(ERROR_SUCCESS) : ::GetLastError();
    search_.reset(::FindFirstFileW(pattern_.c_str(), &found));
    if (search_)
        return ERROR_SUCCESS;
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? DWORD(ERROR_NO_MORE_FILES) : error;
}

} // namespace sheen
