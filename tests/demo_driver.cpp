// Works a Sheenwright that something else started (tools/run-demo starts it in
// a Wine desktop), one step per run, so that screenshots can go between steps:
//
//   demo_driver [--desktop NAME] wait-main | browse PATH | create | dismiss | close
//
// Exits 0 once the step has happened, else 1 with the reason on stderr.
#include "resources/product.h"
#include "support/app_driver.h"
#include "support/message_box_reader.h"

#include <windows.h>

#include <string>
#include <string_view>

namespace sheen {
namespace {

using test::RunningApp;
using test::WaitUntil;
using test::WindowText;

constexpr DWORD kPatienceMs = 30000; // a cold Wine may take long to show a window

void Write(DWORD stream, const std::wstring& text) {
    // Lone CRs (message box line breaks) would overwrite the line on a terminal.
    std::wstring lines;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'\r')
            lines += text[i];
        else if (i + 1 == text.size() || text[i + 1] != L'\n')
            lines += L'\n';
    }
    lines += L'\n';
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, lines.data(), int(lines.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string bytes(size, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, lines.data(), int(lines.size()), bytes.data(), size, nullptr,
                          nullptr);
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(stream), bytes.data(), DWORD(bytes.size()), &written, nullptr);
}

int Fail(const std::wstring& why) {
    Write(STD_ERROR_HANDLE, L"demo_driver: " + why);
    return 1;
}

// The program's queue has been served and its windows painted, as far as a
// second process can tell; the pause lets Wine hand the pixels to X.
void Settle(const RunningApp& app) {
    ::SendMessageTimeoutW(app.main(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
    ::Sleep(300);
}

bool WindowBack(const RunningApp& app) {
    return app.WaitUntilUsable(kPatienceMs);
}

int Browse(const RunningApp& app, const std::wstring& path) {
    app.Click(app.Button(L"Browse"));
    const auto dialog = test::FileDialog::WaitFor(app.processId(), kPatienceMs);
    if (!dialog)
        return Fail(L"the file dialog did not open");
    dialog->Choose(path);
    if (!WaitUntil([&] { return WindowText(app.PathBox()) == path; }, kPatienceMs))
        return Fail(L"the path box holds \"" + WindowText(app.PathBox()) + L"\", not " + path);
    if (!WindowBack(app) || !::IsWindowEnabled(app.Button(L"Creat")))
        return Fail(L"the window did not come back with Creat enabled");
    Settle(app);
    Write(STD_OUTPUT_HANDLE, L"path box: " + path);
    return 0;
}

int Create(const RunningApp& app) {
    const HWND create = app.Button(L"Creat");
    if (!create || !::IsWindowEnabled(create))
        return Fail(L"Creat is not there to press");
    app.Click(create);
    const auto box = test::WaitForMessageBox(app.processId(), kPatienceMs);
    if (!box)
        return Fail(L"no message box after Creat");
    Settle(app);
    Write(STD_OUTPUT_HANDLE, L"message box \"" + box->caption + L"\": " + box->text);
    return 0;
}

int Dismiss(const RunningApp& app) {
    const auto box = test::WaitForMessageBox(app.processId(), kPatienceMs);
    if (!box)
        return Fail(L"no message box to dismiss");
    test::DismissMessageBox(*box);
    if (!WindowBack(app))
        return Fail(L"the window stayed disabled after the message box");
    return 0;
}

int Run(std::wstring_view command, const wchar_t* argument) {
    const bool known = command == L"wait-main" || (command == L"browse" && argument) ||
                       command == L"create" || command == L"dismiss" || command == L"close";
    if (!known)
        return Fail(L"usage: demo_driver [--desktop NAME] "
                    L"wait-main | browse PATH | create | dismiss | close");
    HWND main = nullptr;
    const DWORD patience = command == L"wait-main" ? kPatienceMs : 2000;
    if (!WaitUntil([&] { return (main = test::FindVisibleWindow(L"" SHEENWRIGHT_WINDOW_CLASS)); },
                   patience))
        return Fail(L"no Sheenwright window on this desktop");
    RunningApp app(main);
    if (command == L"wait-main") {
        // The window shows before its first paint; wait for the status line too.
        WaitUntil([&] { return !app.StatusText().empty(); }, kPatienceMs);
        Settle(app);
        Write(STD_OUTPUT_HANDLE, L"main window: \"" + WindowText(main) + L"\"");
        return 0;
    }
    if (command == L"browse")
        return Browse(app, argument);
    if (command == L"create")
        return Create(app);
    if (command == L"dismiss")
        return Dismiss(app);
    return app.Close(kPatienceMs) ? 0 : Fail(L"the program did not end when closed");
}

} // namespace
} // namespace sheen

int wmain(int argc, wchar_t** argv) {
    int next = 1;
    if (argc > next + 1 && std::wstring_view(argv[next]) == L"--desktop") {
        // Windows are seen only from their own desktop, and a Wine desktop
        // started by explorer /desktop is not the one this process starts on.
        // Explorer may not have made it yet.
        HDESK desktop = nullptr;
        sheen::test::WaitUntil(
            [&] { return (desktop = ::OpenDesktopW(argv[next + 1], 0, FALSE, GENERIC_ALL)); },
            sheen::kPatienceMs);
        if (!desktop || !::SetThreadDesktop(desktop))
            return sheen::Fail(L"cannot join the desktop " + std::wstring(argv[next + 1]));
        next += 2;
    }
    if (argc <= next)
        return sheen::Run(L"", nullptr);
    return sheen::Run(argv[next], argc > next + 1 ? argv[next + 1] : nullptr);
}
