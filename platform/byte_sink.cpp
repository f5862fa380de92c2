#include "platform/byte_sink.h"

#include <algorithm>

namespace sheen {

DWORD FileSink::Put(std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD size = DWORD(std::min<size_t>(bytes.size(), 1 << 20));
        DWORD written = 0;
        if (!::WriteFile(file_, bytes.data(), size, &written, nullptr))
            return ::GetLastError();
        if (written == 0)
            return ERROR_WRITE_FAULT;
        bytes.remove_prefix(written);
    }
    return ERROR_SUCCESS;
}

} // namespace sheen
