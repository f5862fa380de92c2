#pragma once
// What Sheenwright is asked to do on its command line: open its window, with a
// program in the path box if one is given, or write style scripts for scripts.

#include <windows.h>

#include <string>
#include <vector>

namespace sheen {

struct CommandLine {
    enum class Mode { window, create, usage };
    Mode mode = Mode::window;
    // window: the path box's program, if one is given; create: every program.
    std::vector<std::wstring> programs;
    HWND replyTo = nullptr; // create: the window that asked for it as administrator
};

// Reads the arguments that follow the program's own name: /create (also
// -create, in any case) and the programs after it; /? for the usage; any other
// first argument is a program's path for the path box, and the rest is
// ignored. Right after /create may come the window to send the outcome to,
// which CreateArguments puts there.
CommandLine ParseCommandLine(const std::vector<std::wstring>& arguments);

// The parameters that make another instance create the style script of
// `program` and send the outcome to `replyTo` instead of writing it out.
std::wstring CreateArguments(HWND replyTo, const std::wstring& program);

// Carries out the create or usage mode without a window; returns the exit
// code: 0 when every script was written, else the error code of the first
// failure; ERROR_INVALID_PARAMETER for /create without a program.
int RunCommandLine(const CommandLine& commandLine);

} // namespace sheen
