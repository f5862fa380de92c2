#pragma once
// Comparing names as Windows does: without regard to the case of their letters.

#include <cwctype>
#include <string_view>

namespace sheen {

inline bool EqualsNoCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::towupper(a[i]) != std::towupper(b[i]))
            return false;
    return true;
}

} // namespace sheen
