#pragma once
// Numbers as text without the printf family, which would add tens of
// kilobytes to a program that prints nothing else.

#include <charconv>
#include <cstdint>
#include <string>

namespace sheen {

// Plain decimal: no blanks, no leading zeros, no grouping, "-" if negative.
template <typename Char = wchar_t> std::basic_string<Char> DecimalText(std::int64_t value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    return std::basic_string<Char>(digits, end);
}

// Hexadecimal, zero-padded to at least `width` digits.
template <typename Char = wchar_t>
std::basic_string<Char> HexText(std::uint32_t value, int width, bool upperCase = false) {
    char digits[16];
    const auto end = std::to_chars(digits, digits + sizeof digits, value, 16).ptr;
    std::basic_string<Char> text(width > end - digits ? width - (end - digits) : 0, Char('0'));
    for (const char* digit = digits; digit != end; ++digit)
        text += Char(upperCase && *digit >= 'a' ? *digit - 'a' + 'A' : *digit);
    return text;
}

} // namespace sheen
