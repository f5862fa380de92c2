#include "platform/message_box.h"

#include "platform/win32_error.h"
#include "resources/product.h"

#include <exception>

namespace sheen {

void ShowMessage(HWND owner, const std::wstring& text, UINT iconStyle) {
    // With no owner the box must still block the whole program.
    const UINT modality = owner ? MB_APPLMODAL : MB_TASKMODAL;
    ::MessageBoxW(owner, text.c_str(), L"" SHEENWRIGHT_TITLE, MB_OK | iconStyle | modality);
}

void ShowCurrentError(HWND owner) {
    ShowMessage(owner, DescribeError(std::current_exception()), MB_ICONERROR);
}

} // namespace sheen
