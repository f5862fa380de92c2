#pragma once
// What Sheenwright is asked to do on its command line: open its window, with a
// program in the path box if one is given; write or take away style scripts
// for scripts, or tell what Windows makes of programs; or, as the elevated
// instance a window started, do what that window was denied.

#include "app/administrator_relay.h"

#include <string>
#include <vector>

namespace sheen {

struct CommandLine {
    enum class Mode { window, scripted, check, usage, relayed };
    Mode mode = Mode::window;
    StyleScriptAction action = StyleScriptAction::create; // scripted and relayed
    // window: the path box's program, if one is given; scripted: every program
    // as given; relayed: the one file the window tried.
    std::vector<std::wstring> programs;
    RelayRequest relay; // relayed: what the window asked
    // scripted: /create /embed, which also adds the style to the program's own manifest
    bool embed = false;
};

// Reads the arguments that follow the program's own name: /create, /remove
// or /check (also with -, in any case) and the programs after it; /? for the usage; any
// other first argument is a program's path for the path box, and the rest is
// ignored. Right after /create may come /embed; then, and right after
// /remove or a first /embed, the /reply-to: of a window (see RelayArguments),
// and then the one file it tried.
CommandLine ParseCommandLine(const std::vector<std::wstring>& arguments);

// Carries out the scripted or usage mode without a window, and writes what it
// did to standard output or the console (see WriteOutputLines): with one
// program the lines a box would show, with several each line after the
// program as given and ": ". Shortcuts stand for their targets, and a program
// that does not exist, or is a folder, fails with its error. Returns the exit
// code: 0 when every program succeeded (for /check: was read), else the
// first failure's (see ExitCodeOf), Sheenwright's own reasons as the codes
// scripts have long known them by; ERROR_INVALID_PARAMETER, with the usage,
// for no program. Only /? shows a box, when there is nowhere to write the usage.
int RunScriptedCommand(const CommandLine& commandLine);

} // namespace sheen
