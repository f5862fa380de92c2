#include "platform/message_box.h"

#include "platform/win32_error.h"
#include "resources/product.h"

#include <exception>

namespace sheen {
namespace {

int ShowBox(HWND owner, const std::wstring& text, UINT style) {
    // With no owner the box must still block the whole program.
    const UINT modality = owner ? MB_APPLMODAL : MB_TASKMODAL;
    return ::MessageBoxW(owner, text.c_str(), L"" SHEENWRIGHT_TITLE, style | modality);
}

} // namespace

void ShowMessage(HWND owner, const std::wstring& text, UINT iconStyle) {
    ShowBox(owner, text, MB_OK | iconStyle);
}

bool AskYesNo(HWND owner, const std::wstring& question) {
    return ShowBox(owner, question, MB_YESNO) == IDYES;
}

int AskYesNoCancel(HWND owner, const std::wstring& question) {
    return ShowBox(owner, question, MB_YESNOCANCEL);
}

void ShowCurrentError(HWND owner) {
    ShowMessage(owner, DescribeError(std::current_exception()), MB_ICONERROR);
}

} // namespace sheen
