#pragma once

#include <string>

namespace sheen::test {

// What the user must read after a successful Create, character for character.
inline const std::wstring kSuccessMessage = L"Style script created successfully.\r"
                                            L"Note: The created script file must be kept in the "
                                            L"same directory as the .exe file!";

// The lines that may follow it, each begun by a lone CR, in this order.
inline std::wstring BackupNote(const std::wstring& fileName) {
    return L"\rThe earlier manifest was kept as " + fileName + L".";
}
inline const std::wstring kEmbeddedManifestNote =
    L"\rWindows uses the program's own embedded manifest instead of this file.";
inline const std::wstring kAlreadyStyledNote =
    L"\rThe program's own manifest already gives it the visual style.";
inline const std::wstring kRestartNote = L"\rWindows may use the script only after a restart.";

} // namespace sheen::test
