#pragma once

#include <windows.h>

#include <string>

namespace sheen {

// Shows `text` in the program's modal message box: OK only, captioned with the
// application title, and the given icon style (0 for none). Returns once the
// user has dismissed it.
void ShowMessage(HWND owner, const std::wstring& text, UINT iconStyle = 0);

// Asks `question` in the same kind of box, with Yes and No and no icon; true
// when the user answered Yes.
bool AskYesNo(HWND owner, const std::wstring& question);
// The same with Cancel as well; returns IDYES, IDNO or IDCANCEL.
int AskYesNoCancel(HWND owner, const std::wstring& question);

// Inside a catch block: shows the error being handled (see DescribeError) with
// the error icon.
void ShowCurrentError(HWND owner);

} // namespace sheen
