#pragma once

#include <string_view>

namespace sheen {

// Whether `a` and `b` are equal when only the ASCII letters a-z and A-Z are
// taken without regard to case; every other character must match exactly.
// For names whose one side is an ASCII constant of ours: switches, extensions,
// device and share names, XML names. It depends on no locale.
inline bool EqualsIgnoringAsciiCase(std::wstring_view a, std::wstring_view b) {
    const auto upper = [](wchar_t c) { return c >= L'a' && c <= L'z' ? wchar_t(c - 32) : c; };
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (upper(a[i]) != upper(b[i]))
            return false;
    return true;
}

} // namespace sheen
