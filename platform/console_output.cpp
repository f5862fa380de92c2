#include "platform/console_output.h"

#include "platform/unique_handle.h"
#include "platform/utf8_text.h"

namespace sheen {
namespace {

DWORD WriteToConsole(HANDLE console, const std::wstring& text) {
    DWORD written = 0;
    return ::WriteConsoleW(console, text.data(), static_cast<DWORD>(text.size()), &written, nullptr)
               ? ERROR_SUCCESS
               : ::GetLastError();
}

DWORD WriteAsUtf8(HANDLE file, const std::wstring& text) {
    const std::string bytes = Utf8Of(text);
    // A pipe may take less than it is given.
    for (size_t at = 0; at < bytes.size();) {
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data() + at, static_cast<DWORD>(bytes.size() - at), &written,
                         nullptr))
            return ::GetLastError();
        at += written;
    }
    return ERROR_SUCCESS;
}

} // namespace

DWORD WriteOutputLines(const std::wstring& text) {
    std::wstring lines;
    for (const wchar_t c : text)
        lines += c == L'\r' ? std::wstring(L"\r\n") : std::wstring(1, c);
    lines += L"\r\n";

    const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (output && output != INVALID_HANDLE_VALUE && ::GetFileType(output) != FILE_TYPE_UNKNOWN)
        return ::GetConsoleMode(output, &mode) ? WriteToConsole(output, lines)
                                               : WriteAsUtf8(output, lines);
    // A windowed program gets no console of its own, but may use the one it was started from.
    if (!::AttachConsole(ATTACH_PARENT_PROCESS))
        return ::GetLastError();
    const UniqueFile console(::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
    if (!console)
        return ::GetLastError();
    return WriteToConsole(console.get(), lines);
}

} // namespace sheen
