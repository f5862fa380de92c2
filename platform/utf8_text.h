#pragma once

#include <string>
#include <string_view>

namespace sheen {

// `text` in UTF-8.
std::string Utf8Of(std::wstring_view text);

} // namespace sheen
