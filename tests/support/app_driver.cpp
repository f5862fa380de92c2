#include "support/app_driver.h"

#include "resources/product.h"
#include "support/message_box_reader.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <dlgs.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <cstring>

namespace sheen::test {
namespace {

struct ChildList {
    HWND parent;
    std::vector<ControlInfo> controls;
};

BOOL CALLBACK CollectChild(HWND child, LPARAM context) {
    auto* list = reinterpret_cast<ChildList*>(context);
    if (::GetParent(child) != list->parent)
        return TRUE; // only the window's own controls, not their inner parts
    ControlInfo info;
    info.window = child;
    info.windowClass = ClassName(child);
    info.text = WindowText(child);
    RECT rect = {};
    ::GetWindowRect(child, &rect);
    ::MapWindowPoints(nullptr, list->parent, reinterpret_cast<POINT*>(&rect), 2);
    info.rect = {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
    info.style = ::GetWindowLongW(child, GWL_STYLE);
    list->controls.push_back(info);
    return TRUE;
}

// This process's linked token made a primary one: under Wine every process is
// elevated, and its linked token is the limited one.
UniqueKernelHandle LimitedToken() {
    HANDLE own = nullptr;
    ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, &own);
    const UniqueKernelHandle ownToken(own);
    TOKEN_LINKED_TOKEN linked = {};
    DWORD size = 0;
    ::GetTokenInformation(own, TokenLinkedToken, &linked, sizeof linked, &size);
    const UniqueKernelHandle linkedToken(linked.LinkedToken);
    HANDLE primary = nullptr;
    ::DuplicateTokenEx(linked.LinkedToken, MAXIMUM_ALLOWED, nullptr, SecurityImpersonation,
                       TokenPrimary, &primary);
    return UniqueKernelHandle(primary);
}

} // namespace

std::wstring BesideThisProgram(const std::wstring& relative) {
    wchar_t self[MAX_PATH + 1];
    const DWORD length = ::GetModuleFileNameW(nullptr, self, MAX_PATH + 1);
    const std::wstring path(self, length);
    const std::wstring joined = path.substr(0, path.find_last_of(L"\\/") + 1) + relative;
    wchar_t full[MAX_PATH + 1];
    const DWORD fullLength = ::GetFullPathNameW(joined.c_str(), MAX_PATH + 1, full, nullptr);
    return fullLength > 0 && fullLength <= MAX_PATH ? std::wstring(full, fullLength) : joined;
}

std::wstring ProgramPath() {
    return BesideThisProgram(L"..\\Sheenwright.exe");
}

HANDLE StallRelease() {
    static const HANDLE release = CreateEventW(nullptr, TRUE, FALSE, L"SheenwrightStallRelease");
    return release;
}

StartedProgram StartProgram(const std::wstring& program, const std::wstring& arguments,
                            const std::wstring& workingFolder, const StartAs& as) {
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    if (as.output) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = as.output;
    }
    PROCESS_INFORMATION info = {};
    std::wstring commandLine = Quoted(program);
    if (!arguments.empty())
        commandLine += L" " + arguments;
    StartedProgram started;
    const UniqueKernelHandle token = as.limitedToken ? LimitedToken() : UniqueKernelHandle();
    const wchar_t* folder = workingFolder.empty() ? nullptr : workingFolder.c_str();
    const BOOL inherit = as.output != nullptr;
    const DWORD flags = as.noConsole ? DETACHED_PROCESS : 0;
    const BOOL ok =
        as.limitedToken
            ? ::CreateProcessAsUserW(token.get(), program.c_str(), commandLine.data(), nullptr,
                                     nullptr, inherit, flags, nullptr, folder, &startup, &info)
            : ::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, inherit,
                               flags, nullptr, folder, &startup, &info);
    if (!ok) {
        started.error = ::GetLastError();
        return started;
    }
    started.process.reset(info.hProcess);
    const UniqueKernelHandle thread(info.hThread);
    started.processId = info.dwProcessId;
    started.threadId = info.dwThreadId;
    return started;
}

DWORD WaitForChildProcess(DWORD parentId, DWORD timeoutMs) {
    DWORD child = 0;
    WaitUntil(
        [&] {
            const UniqueKernelHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
            PROCESSENTRY32W entry = {};
            entry.dwSize = sizeof entry;
            for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
                 more = ::Process32NextW(snapshot.get(), &entry))
                if (entry.th32ParentProcessID == parentId)
                    child = entry.th32ProcessID;
            return child != 0;
        },
        timeoutMs);
    return child;
}

DWORD RunCommand(const std::wstring& arguments, std::string& output, const std::wstring& program,
                 StartAs as) {
    const ScratchFolder folder;
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    UniqueFile file(::CreateFileW((folder / L"out.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                  &inherited, CREATE_ALWAYS, 0, nullptr));
    if (!as.noConsole)
        as.output = file.get();
    const StartedProgram started = StartProgram(program, arguments, L"", as);
    file.reset();
    DWORD exitCode = STILL_ACTIVE;
    if (::WaitForSingleObject(started.process.get(), 30000) != WAIT_OBJECT_0) {
        ::TerminateProcess(started.process.get(), STILL_ACTIVE);
        ADD_FAILURE() << "still running, maybe showing a box: "
                      << testing::PrintToString(arguments);
    }
    ::GetExitCodeProcess(started.process.get(), &exitCode);
    output = ReadFileBytes(folder / L"out.txt");
    return exitCode;
}

RunningApp::RunningApp(const std::wstring& workingFolder, const std::wstring& program,
                       FirstShown first, const std::wstring& arguments, const StartAs& as) {
    StartedProgram started = StartProgram(program, arguments, workingFolder, as);
    if (!started.process) {
        ADD_FAILURE() << "cannot start the program, error " << started.error;
        return;
    }
    process_ = std::move(started.process);
    processId_ = started.processId;
    threadId_ = started.threadId;
    if (first == FirstShown::window && !WaitForWindow())
        ADD_FAILURE() << "the main window did not appear";
}

bool RunningApp::WaitForWindow(DWORD timeoutMs) {
    ::WaitForInputIdle(process_.get(), timeoutMs);
    return WaitUntil(
        [this] {
            return (main_ = FindVisibleWindow(L"" SHEENWRIGHT_WINDOW_CLASS, processId_)) != nullptr;
        },
        timeoutMs);
}

bool RunningApp::WaitUntilUsable(DWORD timeoutMs) const {
    return WaitUntil([this] { return ::IsWindowEnabled(main_) != FALSE; }, timeoutMs);
}

RunningApp::RunningApp(HWND main) : main_(main), owned_(false) {
    threadId_ = ::GetWindowThreadProcessId(main, &processId_);
    process_.reset(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, processId_));
}

RunningApp::~RunningApp() {
    if (!process_ || !owned_)
        return;
    if (!Close(5000))
        ::TerminateProcess(process_.get(), 1);
    ::WaitForSingleObject(process_.get(), 5000);
}

bool RunningApp::Close(DWORD timeoutMs) {
    if (::WaitForSingleObject(process_.get(), 0) == WAIT_OBJECT_0)
        return true;
    // Anything modal still open would keep the close from the window.
    for (int attempt = 0; attempt < 5; ++attempt) {
        const HWND box = FindVisibleWindow(L"#32770", processId_);
        if (!box)
            break;
        ::SendMessageTimeoutW(box, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG, 2000, nullptr);
    }
    ::PostMessageW(main_, WM_SYSCOMMAND, SC_CLOSE, 0);
    return ::WaitForSingleObject(process_.get(), timeoutMs) == WAIT_OBJECT_0;
}

bool RunningApp::ShowsNoMessage() const {
    // Answered only once the handler has returned, or from a box's own message loop.
    ::SendMessageTimeoutW(main_, WM_NULL, 0, 0, SMTO_NORMAL, 10000, nullptr);
    return !FindVisibleWindow(L"#32770", processId_);
}

std::vector<ControlInfo> RunningApp::Controls() const {
    ChildList list{main_, {}};
    ::EnumChildWindows(main_, CollectChild, reinterpret_cast<LPARAM>(&list));
    return list.controls;
}

HWND RunningApp::Find(const std::wstring& windowClass, const std::wstring& text) const {
    for (const ControlInfo& control : Controls())
        if (control.windowClass == windowClass && (text.empty() || control.text == text))
            return control.window;
    return nullptr;
}

std::wstring RunningApp::StatusText() const {
    // The bar's text must be read into memory of the program's own.
    const HWND bar = StatusBar();
    const UniqueKernelHandle target(::OpenProcess(
        PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId_));
    constexpr size_t kChars = 1024;
    void* remote = ::VirtualAllocEx(target.get(), nullptr, kChars * sizeof(wchar_t),
                                    MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    std::wstring text;
    // Simple mode answers under index 0 in Wine and SB_SIMPLEID in Windows.
    for (const WPARAM part : {WPARAM(0), WPARAM(SB_SIMPLEID)}) {
        wchar_t buffer[kChars] = {};
        ::WriteProcessMemory(target.get(), remote, buffer, sizeof buffer, nullptr);
        ::SendMessageW(bar, SB_GETTEXTW, part, reinterpret_cast<LPARAM>(remote));
        ::ReadProcessMemory(target.get(), remote, buffer, sizeof buffer, nullptr);
        buffer[kChars - 1] = L'\0';
        text = buffer;
        if (!text.empty())
            break;
    }
    ::VirtualFreeEx(target.get(), remote, 0, MEM_RELEASE);
    return text;
}

HWND RunningApp::Focus() const {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    ::GetGUIThreadInfo(threadId_, &info);
    return info.hwndFocus;
}

bool RunningApp::BringToFront() const {
    return WaitUntil([this] {
        ::SetForegroundWindow(main_);
        return ::GetForegroundWindow() == main_;
    });
}

void PressKey(WORD key, WORD modifier) {
    std::vector<INPUT> inputs;
    const auto add = [&](WORD vk, DWORD flags) {
        INPUT input = {};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = vk;
        input.ki.dwFlags = flags;
        inputs.push_back(input);
    };
    if (modifier)
        add(modifier, 0);
    add(key, 0);
    add(key, KEYEVENTF_KEYUP);
    if (modifier)
        add(modifier, KEYEVENTF_KEYUP);
    ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

void RunningApp::Click(HWND button) const {
    ::PostMessageW(button, BM_CLICK, 0, 0);
}

std::wstring RunningApp::Create(const std::wstring& path) const {
    SetPath(path);
    Click(Button(L"Creat"));
    const auto box = ReadAndDismissOkBox(processId_);
    if (!box) {
        ADD_FAILURE() << "Create showed no message";
        return {};
    }
    EXPECT_TRUE(WaitUntilUsable());
    return box->text;
}

RunningApp::Answered RunningApp::CreateAnswering(int answer) const {
    Click(Button(L"Creat"));
    const auto question = WaitForMessageBox(processId_);
    if (!question) {
        ADD_FAILURE() << "Create asked nothing";
        return {};
    }
    ExpectYesNoQuestion(*question);
    DismissMessageBox(*question, answer);
    const auto told = ReadAndDismissOkBox(processId_);
    return {question->text, told ? told->text : L""};
}

void RunningApp::SetPath(const std::wstring& text) const {
    ::SendMessageW(PathBox(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void RunningApp::Drop(const std::vector<std::wstring>& paths) const {
    // The shell's block: DROPFILES, then the wide names, each ended by NUL, and one more NUL.
    std::vector<BYTE> block(sizeof(DROPFILES));
    DROPFILES header = {};
    header.pFiles = sizeof header;
    header.fWide = TRUE;
    std::memcpy(block.data(), &header, sizeof header);
    for (const std::wstring& path : paths) {
        const auto* bytes = reinterpret_cast<const BYTE*>(path.c_str());
        block.insert(block.end(), bytes, bytes + (path.size() + 1) * sizeof(wchar_t));
    }
    block.resize(block.size() + sizeof(wchar_t), 0);
    // The program releases the block with DragFinish, so it must be the program's memory.
    const UniqueKernelHandle target(
        ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, processId_));
    void* remote = ::VirtualAllocEx(target.get(), nullptr, block.size(), MEM_COMMIT | MEM_RESERVE,
                                    PAGE_READWRITE);
    ASSERT_NE(remote, nullptr) << "error " << ::GetLastError();
    ::WriteProcessMemory(target.get(), remote, block.data(), block.size(), nullptr);
    // Sent rather than posted, as the shell does, so that it has been handled on return.
    ::SendMessageTimeoutW(main_, WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0,
                          SMTO_ABORTIFHUNG, 10000, nullptr);
}

std::optional<FileDialog> FileDialog::WaitFor(DWORD processId, DWORD timeoutMs) {
    HWND dialog = nullptr;
    // The explorer-style dialog is the #32770 that holds the file name combo.
    WaitUntil(
        [&] {
            dialog = FindVisibleWindow(L"#32770", processId);
            return dialog && ::GetDlgItem(dialog, cmb13);
        },
        timeoutMs);
    if (!dialog || !::GetDlgItem(dialog, cmb13))
        return std::nullopt;
    return FileDialog(dialog);
}

std::vector<std::wstring> FileDialog::Filters() const {
    const HWND types = ::GetDlgItem(window_, cmb1);
    std::vector<std::wstring> filters;
    const LRESULT count = ::SendMessageW(types, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        std::wstring text(::SendMessageW(types, CB_GETLBTEXTLEN, i, 0) + 1, L'\0');
        text.resize(::SendMessageW(types, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data())));
        filters.push_back(text);
    }
    return filters;
}

void FileDialog::Choose(const std::wstring& path) const {
    const HWND nameBox = ::GetDlgItem(window_, cmb13);
    const HWND edit = ::FindWindowExW(nameBox, nullptr, L"Edit", nullptr);
    ::SendMessageW(edit ? edit : nameBox, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    ::PostMessageW(window_, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

void FileDialog::Cancel() const {
    ::PostMessageW(window_, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

} // namespace sheen::test
