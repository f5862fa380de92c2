#include "platform/error_text.h"

#include "platform/number_text.h"
#include "platform/unique_handle.h"

namespace sheen {

std::wstring ErrorText(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    if (length == 0)
        return L"Error " + DecimalText(code) + L".";
    const UniqueLocalMemory owner(buffer);
    std::wstring text(buffer, length);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n'))
        text.pop_back();
    return text;
}

} // namespace sheen
