#include "platform/file_dialog.h"

#include "platform/number_text.h"
#include "platform/system_function.h"
#include "platform/win32_error.h"

#include <commdlg.h>
#include <cderr.h>

#include <stdexcept>
#include <vector>

namespace sheen {
namespace {

// Enough for any path Windows can name, so a long one comes back whole.
constexpr DWORD kPathCapacity = 32768;

} // namespace

std::wstring DialogFilter(const std::wstring& filter) {
    const size_t bar = filter.find(L'|');
    const std::wstring description = filter.substr(0, bar);
    std::wstring pattern = bar == std::wstring::npos ? L"*.*" : filter.substr(bar + 1);
    pattern.erase(0, pattern.find_first_not_of(L' '));
    pattern.erase(pattern.find_last_not_of(L' ') + 1);
    return description + L'\0' + pattern + L'\0' + L'\0';
}

std::optional<std::wstring> ChooseFileToOpen(HWND owner, const std::wstring& filter) {
    // The dialog's DLL, and the shell DLLs it brings in, load on the first Browse.
    static const auto getOpenFileName = SHEEN_SYSTEM_FUNCTION(L"comdlg32.dll", GetOpenFileNameW);
    static const auto extendedError = SHEEN_SYSTEM_FUNCTION(L"comdlg32.dll", CommDlgExtendedError);
    if (!getOpenFileName || !extendedError)
        throw Win32Error(ERROR_PROC_NOT_FOUND);
    const std::wstring dialogFilter = DialogFilter(filter);
    std::vector<wchar_t> path(kPathCapacity, L'\0');
    std::vector<wchar_t> title(kPathCapacity, L'\0');

    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = dialogFilter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path.data();
    dialog.nMaxFile = kPathCapacity;
    dialog.lpstrFileTitle = title.data();
    dialog.nMaxFileTitle = kPathCapacity;
    // OFN_NOCHANGEDIR: browsing must not move the current directory under relative paths.
    dialog.Flags =
        OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    if (!getOpenFileName(&dialog)) {
        // Zero means the user cancelled; anything else is the dialog's own failure.
        const DWORD failure = extendedError();
        if (failure == 0)
            return std::nullopt;
        if (failure == FNERR_BUFFERTOOSMALL)
            throw Win32Error(ERROR_INSUFFICIENT_BUFFER);
        throw std::runtime_error("The file dialog failed (error 0x" +
                                 HexText<char>(failure, 4, true) + ").");
    }
    // An empty file title means no file was chosen, whatever the path says.
    if (title[0] == L'\0')
        return std::nullopt;
    return std::wstring(path.data());
}

} // namespace sheen
