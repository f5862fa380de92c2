#pragma once

#include "platform/unique_handle.h"

#include <windows.h>

#include <string>
#include <utility>

namespace sheen {

// The entries that match a pattern (a path whose last name may hold * and
// ?), matched as the file system compares names: on Windows without regard
// to case.
class FileSearch {
  public:
    explicit FileSearch(std::wstring pattern) : pattern_(std::move(pattern)) {}
    FileSearch(const FileSearch&) = delete;
    FileSearch& operator=(const FileSearch&) = delete;
    ~FileSearch(); // out of line: the search handle is closed in platform/ only

    // Sets `found` to the next entry. Returns ERROR_SUCCESS;
    // ERROR_NO_MORE_FILES once none is left, none having matched included;
    // or the error of searching.
    DWORD Next(WIN32_FIND_DATAW& found);

  private:
    std::wstring pattern_;
    UniqueFind search_;
};

} // namespace sheen
