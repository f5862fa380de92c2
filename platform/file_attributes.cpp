#include "platform/file_attributes.h"

namespace sheen {

DWORD FileAttributesOf(const std::wstring& path, DWORD& attributes) {
    attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES ? DWORD(ERROR_SUCCESS) : ::GetLastError();
}

} // namespace sheen
