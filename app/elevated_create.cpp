#include "app/elevated_create.h"

#include "platform/elevation.h"
#include "platform/error_text.h"
#include "platform/file_name.h"
#include "platform/file_output.h"
#include "platform/network_path.h"
#include "resources/product.h"
#include "stylescript/style_script_writer.h"

#include <stdexcept>
#include <string_view>

namespace sheen {
namespace {

constexpr ULONG_PTR kOutcomeTag = 0x53574F43; // "SWOC": an elevated Create's outcome
constexpr DWORD kLongestOutcome = 1 << 20;    // bytes; far beyond the longest path's notes
constexpr UINT kAnswerTimeoutMs = 10000;

} // namespace

bool MayCreateAsAdministrator(const std::wstring& targetPath, DWORD error) {
    if (error != ERROR_ACCESS_DENIED || RefusesToReplace(StyleScriptPath(targetPath)))
        return false;
    try {
        if (!HasUserAccountControl(ReadOsVersion()))
            return false;
    } catch (const std::runtime_error&) {
        return false;
    }
    return RunsWithLimitedToken();
}

std::wstring PathForAdministrator(const std::wstring& targetPath) {
    std::wstring full;
    return FullPathForCreate(targetPath, full) == ERROR_SUCCESS ? WithNetworkShare(full)
                                                                : targetPath;
}

std::optional<std::wstring> ElevatedOutcomeText(DWORD error, DWORD exitCode,
                                                const std::optional<std::wstring>& relayed) {
    if (error == ERROR_CANCELLED)
        return std::nullopt; // the user said no to the consent prompt: nothing to tell
    if (error != ERROR_SUCCESS)
        return ErrorText(error);
    if (relayed)
        return relayed;
    StyleScriptOutcome outcome;
    outcome.error = exitCode;
    return StyleScriptOutcomeText(outcome);
}

void SendOutcome(HWND asking, const std::wstring& text) {
    wchar_t windowClass[64] = {};
    if (!::GetClassNameW(asking, windowClass, 64) ||
        std::wstring_view(windowClass) != L"" SHEENWRIGHT_WINDOW_CLASS)
        return;
    COPYDATASTRUCT data = {kOutcomeTag, static_cast<DWORD>(text.size() * sizeof(wchar_t)),
                           const_cast<wchar_t*>(text.data())};
    DWORD_PTR answer = 0;
    ::SendMessageTimeoutW(asking, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG,
                          kAnswerTimeoutMs, &answer);
}

std::optional<std::wstring> ReceivedOutcome(const COPYDATASTRUCT& data) {
    if (data.dwData != kOutcomeTag || data.cbData % sizeof(wchar_t) != 0 ||
        data.cbData > kLongestOutcome || (data.cbData > 0 && !data.lpData))
        return std::nullopt;
    return std::wstring(static_cast<const wchar_t*>(data.lpData), data.cbData / sizeof(wchar_t));
}

} // namespace sheen
