#pragma once

#include <string>

namespace sheen::test {

// What the user must read after a successful Create, character for character.
inline const std::wstring kSuccessMessage = L"Style script created successfully.\r"
                                            L"Note: The created script file must be kept in the "
                                            L"same directory as the .exe file!";

} // namespace sheen::test
