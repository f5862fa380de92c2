#pragma once
// Starts Sheenwright.exe and works its window from outside, as a user would.

#include "platform/unique_handle.h"
#include "support/window_text.h"

#include <windows.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace sheen::test {

// A rectangle as a layout gives it: corner and size, in pixels.
struct Rect {
    LONG left = 0, top = 0, width = 0, height = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
    friend std::ostream& operator<<(std::ostream& out, const Rect& r) {
        return out << "(" << r.left << ", " << r.top << ", " << r.width << " x " << r.height << ")";
    }
};

// One control of the main window, as found from outside.
struct ControlInfo {
    HWND window = nullptr;
    std::wstring windowClass;
    std::wstring text;
    Rect rect; // in the main window's client coordinates
    LONG style = 0;
};

// `relative` (which may climb with "..\\") resolved against the folder of the
// running executable: the build puts the programs it drives beside it or above it.
std::wstring BesideThisProgram(const std::wstring& relative);
// The built Sheenwright, one folder above the tests (and the benchmark).
std::wstring ProgramPath();

// `path` in double quotes, as one argument of a command line.
inline std::wstring Quoted(const std::wstring& path) {
    return L"\"" + path + L"\"";
}

// A process started by StartProgram; its thread handle is already closed.
struct StartedProgram {
    UniqueKernelHandle process; // empty if it did not start
    DWORD processId = 0;
    DWORD threadId = 0;
    DWORD error = ERROR_SUCCESS; // why it did not start
};

// How a program is started besides its command line.
struct StartAs {
    // With the limited token User Account Control gives an administrator (this
    // process's linked token), so that the program is not elevated.
    bool limitedToken = false;
    HANDLE output = nullptr; // inherited as its standard output, if set
    bool noConsole = false;  // none of its own and none to attach to, as from a scheduler
};

// Starts `program` with `arguments` after its quoted name on the command line,
// in `workingFolder` (this process's current folder if empty).
StartedProgram StartProgram(const std::wstring& program, const std::wstring& arguments = L"",
                            const std::wstring& workingFolder = L"", const StartAs& as = {});

// The event that lets the test build go on where SHEENWRIGHT_STALL makes it
// wait (app/fault_injection.h); made once for the test program: made anew for
// each test, CreateEventW came to fail under Wine with ERROR_INVALID_HANDLE
// after a few tests, and the program then did not stall.
HANDLE StallRelease();

// The id of a running process that `parentId` started, once there is one; 0 at the timeout.
DWORD WaitForChildProcess(DWORD parentId, DWORD timeoutMs = 20000);

// Runs `program` with `arguments` to its end (a failure after 30 s), its
// standard output in a file unless it is to have no console; returns its exit
// code, and its output in `output`.
DWORD RunCommand(const std::wstring& arguments, std::string& output,
                 const std::wstring& program = ProgramPath(), StartAs as = {});

// What a program shows first: its main window, or a message box (an error
// while the window loads).
enum class FirstShown { window, message };

class RunningApp {
  public:
    // Starts the program with `arguments` in `workingFolder` and, when the
    // window comes first, waits for its main window.
    explicit RunningApp(const std::wstring& workingFolder = L"",
                        const std::wstring& program = ProgramPath(),
                        FirstShown first = FirstShown::window, const std::wstring& arguments = L"",
                        const StartAs& as = {});
    // Works the main window of a program that something else started; that
    // program is left running when this object goes.
    explicit RunningApp(HWND main);
    RunningApp(const RunningApp&) = delete;
    RunningApp& operator=(const RunningApp&) = delete;
    // Closes the window; ends the process if it will not go.
    ~RunningApp();

    // Waits for the main window, as the constructor does; true once it is there.
    bool WaitForWindow(DWORD timeoutMs = 20000);
    // Waits until the main window takes input again (a modal box or dialog gone).
    bool WaitUntilUsable(DWORD timeoutMs = 10000) const;
    bool started() const { return main_ != nullptr; }
    HWND main() const { return main_; }
    DWORD processId() const { return processId_; }
    HANDLE process() const { return process_.get(); }

    // The controls in the order Windows keeps them (creation order, so tab order).
    std::vector<ControlInfo> Controls() const;
    // The visible control of `windowClass` whose text is `text` (any text if empty).
    HWND Find(const std::wstring& windowClass, const std::wstring& text = L"") const;
    HWND PathBox() const { return Find(L"Edit"); }
    HWND StatusBar() const { return Find(L"msctls_statusbar32"); }
    HWND Button(const std::wstring& caption) const { return Find(L"Button", caption); }

    std::wstring StatusText() const;
    // The control that has the keyboard focus in the program.
    HWND Focus() const;
    // Makes the window the one the keyboard reaches; true once it is.
    bool BringToFront() const;
    // Clicks a button without waiting for what the click opens.
    void Click(HWND button) const;
    // Replaces the path box's text, as Browse would.
    void SetPath(const std::wstring& text) const;
    // Drops `paths` on the window as the shell delivers a drop from Explorer,
    // and waits until the window has handled it.
    void Drop(const std::vector<std::wstring>& paths) const;
    // Puts `path` into the box, presses Create, and returns the message the
    // program then shows, once that is dismissed and the window usable again.
    std::wstring Create(const std::wstring& path) const;
    // Presses Create, expects a Yes/No question, answers it with `answer`,
    // and returns the question and the message shown after it, once that is
    // dismissed (empty where none came).
    struct Answered {
        std::wstring question;
        std::wstring told;
    };
    Answered CreateAnswering(int answer) const;
    // Closes the window as the close button does; true if the process then ended.
    bool Close(DWORD timeoutMs = 10000);
    // Whether the program, once done with what it was handling, shows no message box.
    bool ShowsNoMessage() const;

  private:
    UniqueKernelHandle process_;
    DWORD processId_ = 0;
    DWORD threadId_ = 0;
    HWND main_ = nullptr;
    bool owned_ = true; // false when attached: then the destructor leaves the program be
};

// Presses `key` once, as the user does, with `modifier` (VK_SHIFT, VK_MENU) held if given;
// it goes to the foreground window.
void PressKey(WORD key, WORD modifier = 0);

// Waits until `predicate` holds, up to `timeoutMs`.
template <typename Predicate> bool WaitUntil(Predicate predicate, DWORD timeoutMs = 10000) {
    const DWORD start = ::GetTickCount();
    while (!predicate()) {
        if (::GetTickCount() - start > timeoutMs)
            return false;
        ::Sleep(5);
    }
    return true;
}

// The program's open file dialog, once it is shown.
class FileDialog {
  public:
    static std::optional<FileDialog> WaitFor(DWORD processId, DWORD timeoutMs = 20000);
    // The filter descriptions the dialog offers.
    std::vector<std::wstring> Filters() const;
    // Types `path` into the file name box and presses Open.
    void Choose(const std::wstring& path) const;
    void Cancel() const;
    HWND window() const { return window_; }

  private:
    explicit FileDialog(HWND window) : window_(window) {}
    HWND window_;
};

} // namespace sheen::test
