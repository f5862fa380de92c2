#include "platform/dropped_files.h"

#include "platform/system_function.h"

namespace sheen {
namespace {

// Not in the Windows XP headers.
constexpr UINT kCopyGlobalData = 0x0049;
constexpr DWORD kAllowMessage = 1; // MSGFLT_ALLOW, and MSGFLT_ADD for the older function

// The shell's DLL loads on the first drop.
UINT QueryDroppedFile(HDROP drop, UINT index, wchar_t* path, UINT capacity) {
    static const auto dragQueryFile = SHEEN_SYSTEM_FUNCTION(L"shell32.dll", DragQueryFileW);
    return dragQueryFile ? dragQueryFile(drop, index, path, capacity) : 0;
}

std::wstring DroppedEntry(HDROP drop, UINT index) {
    const UINT length = QueryDroppedFile(drop, index, nullptr, 0);
    std::wstring path(length + 1, L'\0');
    path.resize(QueryDroppedFile(drop, index, path.data(), length + 1));
    return path;
}

} // namespace

void FinishDrop(HDROP drop) {
    static const auto dragFinish = SHEEN_SYSTEM_FUNCTION(L"shell32.dll", DragFinish);
    if (dragFinish)
        dragFinish(drop);
}

std::optional<std::wstring> FirstDroppedFile(HDROP drop) {
    const UINT count = QueryDroppedFile(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT index = 0; index < count; ++index) {
        std::wstring path = DroppedEntry(drop, index);
        const DWORD attributes = ::GetFileAttributesW(path.c_str());
        const bool folder =
            attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
        if (!path.empty() && !folder)
            return path;
    }
    return std::nullopt;
}

void OpenPrivilegeFilterForDrops(HWND window) {
    // The per-window filter exists from Windows 7 on, the per-process one on Vista.
    static const auto perWindow = FindSystemFunction<BOOL(WINAPI*)(HWND, UINT, DWORD, void*)>(
        L"user32.dll", "ChangeWindowMessageFilterEx");
    static const auto perProcess =
        FindSystemFunction<BOOL(WINAPI*)(UINT, DWORD)>(L"user32.dll", "ChangeWindowMessageFilter");
    // WM_DROPFILES hands over the drop and WM_COPYGLOBALDATA copies the block
    // it names into this process. WM_COPYDATA goes with them because the
    // established recipe for drops onto elevated windows has it (Wine filters
    // nothing, so whether a drop still needs it cannot be seen here): any
    // program may then send it, so its handler believes no sender unchecked.
    for (const UINT message : {UINT(WM_DROPFILES), UINT(WM_COPYDATA), kCopyGlobalData}) {
        if (perWindow)
            perWindow(window, message, kAllowMessage, nullptr);
        else if (perProcess)
            perProcess(message, kAllowMessage);
    }
}

} // namespace sheen
