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

// A message's lines as the command line writes them: CR LF after each, and
// before each `prefix` (the program's name, where it names several).
inline std::string OutputLines(const std::wstring& text, const std::wstring& prefix = L"") {
    const std::string before(prefix.begin(), prefix.end()); // ASCII: the tests' paths
    std::string lines = before;
    for (const wchar_t c : text)
        lines += c == L'\r' ? "\r\n" + before : std::string(1, char(c));
    return lines + "\r\n";
}

// After a removal.
inline const std::wstring kRemovedMessage = L"The style script was removed.";
inline std::wstring RestoredNote(const std::wstring& fileName) {
    return L"\rThe earlier manifest is back in its place, from " + fileName + L".";
}
inline const std::wstring kForeignManifestMessage =
    L"The manifest beside the program is not a style script and was left as it is.";
inline const std::wstring kNoManifestMessage =
    L"There is no manifest beside the program: nothing was removed.";

} // namespace sheen::test
