#include "platform/file_name.h"

#include "platform/text_compare.h"

#include <array>
#include <cwctype>
#include <string_view>

namespace sheen {
namespace {

constexpr size_t kLongestPath = 32767; // what the wide file functions accept at all

bool StartsWith(std::wstring_view text, std::wstring_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool IsReservedDeviceName(std::wstring_view name) {
    // The device is what stands before the first dot, trailing blanks ignored.
    std::wstring_view base = name.substr(0, name.find(L'.'));
    while (!base.empty() && base.back() == L' ')
        base.remove_suffix(1);
    static constexpr std::array<std::wstring_view, 6> kPlain = {L"CON", L"PRN",    L"AUX",
                                                                L"NUL", L"CONIN$", L"CONOUT$"};
    for (const std::wstring_view device : kPlain)
        if (EqualsIgnoringAsciiCase(base, device))
            return true;
    // COM1 to COM9 and LPT1 to LPT9.
    return base.size() == 4 &&
           (EqualsIgnoringAsciiCase(base.substr(0, 3), L"COM") ||
            EqualsIgnoringAsciiCase(base.substr(0, 3), L"LPT")) &&
           base[3] >= L'1' && base[3] <= L'9';
}

bool HasForbiddenCharacter(std::wstring_view name) {
    for (const wchar_t c : name)
        if (c < 0x20 || std::wstring_view(L"<>:\"|?*").find(c) != std::wstring_view::npos)
            return true;
    return false;
}

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

// \\server\<share>\...: a server's pipes and mailslots look like a share.
bool IsPipeOrMailslotShare(std::wstring_view serverAndRest) {
    const size_t server = serverAndRest.find_first_of(L"\\/");
    if (server == std::wstring_view::npos)
        return false;
    std::wstring_view share = serverAndRest.substr(server + 1);
    share = share.substr(0, share.find_first_of(L"\\/"));
    return EqualsIgnoringAsciiCase(share, L"pipe") || EqualsIgnoringAsciiCase(share, L"mailslot");
}

// Whether `path` leads somewhere other than a file on a drive or a share: the
// device forms \\.\ (and //?/, which Windows reads alike) and \??\, \\?\ with
// anything but C:\, UNC\ or Volume{...}\ after it (\\?\pipe\, \\?\GLOBALROOT\),
// and a server's pipes and mailslots.
bool IsOutsideTheFileSystem(std::wstring_view path) {
    if (StartsWith(path, L"\\??\\"))
        return true;
    const bool deviceForm = path.size() >= 4 && IsSeparator(path[0]) && IsSeparator(path[1]) &&
                            (path[2] == L'.' || path[2] == L'?') && IsSeparator(path[3]);
    if (deviceForm && !StartsWith(path, kExtendedPrefix))
        return true;
    if (!deviceForm)
        return path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]) &&
               IsPipeOrMailslotShare(path.substr(2));
    const std::wstring_view rest = path.substr(kExtendedPrefix.size());
    const bool drive = rest.size() >= 3 && rest[0] < 0x80 && std::iswalpha(rest[0]) &&
                       rest[1] == L':' && rest[2] == L'\\';
    const bool volume = rest.size() >= 45 &&
                        EqualsIgnoringAsciiCase(rest.substr(0, 7), L"Volume{") &&
                        rest.substr(43, 2) == L"}\\"; // Volume{ and a GUID's 36 characters
    if (drive || volume)
        return false;
    return !EqualsIgnoringAsciiCase(rest.substr(0, 4), L"UNC\\") ||
           IsPipeOrMailslotShare(rest.substr(4));
}

bool HasLoneSurrogate(std::wstring_view path) {
    for (size_t i = 0; i < path.size(); ++i) {
        const wchar_t c = path[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < path.size() && path[i + 1] >= 0xDC00 &&
            path[i + 1] <= 0xDFFF) {
            ++i; // a proper pair
            continue;
        }
        if (c >= 0xD800 && c <= 0xDFFF)
            return true;
    }
    return false;
}

} // namespace

PathParts SplitPath(std::wstring_view path) {
    size_t cut = path.find_last_of(L"\\/") + 1; // 0 without a separator
    if (cut == 0 && path.size() >= 2 && path[1] == L':' && std::iswalpha(path[0]))
        cut = 2;
    return {path.substr(0, cut), path.substr(cut)};
}

DWORD CheckNewFileName(const std::wstring& path) {
    const std::wstring_view name = SplitPath(path).name;
    if (IsOutsideTheFileSystem(path) || IsReservedDeviceName(name) || HasForbiddenCharacter(name) ||
        HasLoneSurrogate(path))
        return ERROR_INVALID_NAME;
    return ERROR_SUCCESS;
}

DWORD CheckExistingFile(const std::wstring& path) {
    if (const DWORD error = CheckNewFileName(path))
        return error;
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return ::GetLastError();
    return attributes & FILE_ATTRIBUTE_DIRECTORY ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS;
}

DWORD FullPathForCreate(const std::wstring& path, std::wstring& full) {
    if (path.size() > kLongestPath)
        return ERROR_FILENAME_EXCED_RANGE;
    full.assign(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0)
            return ::GetLastError();
        const bool fits = length < full.size();
        full.resize(length); // when it did not fit: the size needed, terminator included
        if (fits)
            break;
    }
    if (full.size() > kLongestPath)
        return ERROR_FILENAME_EXCED_RANGE;
    if (full.size() >= MAX_PATH && !StartsWith(full, kExtendedPrefix)) {
        // Too long for the plain form: \\?\C:\... or \\?\UNC\server\share\...
        full = StartsWith(full, L"\\\\") ? std::wstring(kExtendedPrefix) + L"UNC" + full.substr(1)
                                         : std::wstring(kExtendedPrefix) + full;
    }
    return ERROR_SUCCESS;
}

DWORD FullPathOfOrdinaryFile(const std::wstring& path, std::wstring& full) {
    if (const DWORD error = CheckNewFileName(path))
        return error;
    return FullPathForCreate(path, full);
}

DWORD LongPathOf(const std::wstring& path, std::wstring& longPath) {
    std::wstring buffer(MAX_PATH, L'\0');
    // Twice is enough but for a name renamed longer meanwhile, again and again.
    for (int attempt = 0; attempt < 4; ++attempt) {
        const DWORD length = ::GetLongPathNameW(path.c_str(), buffer.data(), DWORD(buffer.size()));
        if (length == 0)
            return ::GetLastError();
        if (length < buffer.size()) {
            buffer.resize(length);
            longPath = std::move(buffer);
            return ERROR_SUCCESS;
        }
        buffer.resize(length); // too small: `length` counts the terminator too
    }
    return ERROR_INSUFFICIENT_BUFFER;
}

} // namespace sheen
