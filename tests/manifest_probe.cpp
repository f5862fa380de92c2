// Reports, as its exit code, where its comctl32 comes from:
//   bit 0: the activation context redirects comctl32.dll (a manifest asked for it)
//   bit 1: the loaded comctl32.dll lies in the side-by-side store (WinSxS)
// Built without C runtime or manifest of its own, so that only a manifest file
// beside it can change the answer.
#include <windows.h>

namespace {

bool ContainsNoCase(const wchar_t* text, const wchar_t* part) {
    auto lower = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? wchar_t(c - L'A' + L'a') : c; };
    for (; *text; ++text) {
        const wchar_t* a = text;
        const wchar_t* b = part;
        while (*a && *b && lower(*a) == lower(*b)) {
            ++a;
            ++b;
        }
        if (!*b)
            return true;
    }
    return false;
}

} // namespace

extern "C" void ProbeMain() {
    ACTCTX_SECTION_KEYED_DATA data;
    SecureZeroMemory(&data, sizeof data);
    data.cbSize = sizeof data;
    const bool redirected = ::FindActCtxSectionStringW(
        0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION, L"comctl32.dll", &data);

    wchar_t path[MAX_PATH + 1];
    SecureZeroMemory(path, sizeof path);
    if (HMODULE comctl = ::LoadLibraryW(L"comctl32.dll"))
        ::GetModuleFileNameW(comctl, path, MAX_PATH);
    const bool sideBySide = ContainsNoCase(path, L"\\winsxs\\");

    ::ExitProcess((redirected ? 1u : 0u) | (sideBySide ? 2u : 0u));
}
