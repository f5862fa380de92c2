#include "app/command_line.h"

#include "app/fault_injection.h"
#include "app/outcome_text.h"
#include "platform/console_output.h"
#include "platform/file_name.h"
#include "platform/message_box.h"
#include "platform/shortcut.h"
#include "platform/text_compare.h"
#include "platform/win32_error.h"
#include "stylescript/reasons.h"
#include "stylescript/request.h"

#include <exception>
#include <optional>
#include <string_view>
#include <utility>

namespace sheen {
namespace {

const std::wstring kUsage =
    L"Usage:\r"
    L"  Sheenwright.exe [<program>]\r"
    L"    opens the window with <program> in the path box.\r"
    L"  Sheenwright.exe /create <program> [<program> ...]\r"
    L"    writes each program's style script as Creat does, without a window.\r"
    L"  Sheenwright.exe /create /embed <program> [<program> ...]\r"
    L"    also adds the visual style to the program's own manifest where Windows\r"
    L"    reads that instead, keeping the program as it was as <program>.bak.\r"
    L"  Sheenwright.exe /remove <program> [<program> ...]\r"
    L"    takes each program's style script away again and puts back the\r"
    L"    manifest it replaced, if any, and the program as it was.\r"
    L"  Sheenwright.exe /check <program> [<program> ...]\r"
    L"    tells, changing nothing, which manifest Windows uses for each program,\r"
    L"    what Create would keep, whether the style can go into the program's own\r"
    L"    manifest, and what a removal would put back.\r"
    L"  The exit code is 0 when every program succeeded, else the first failure's:\r"
    L"  the Windows error code, or 13 for a manifest that is not a style script.";

bool IsSwitch(std::wstring_view argument, std::wstring_view name) {
    return !argument.empty() && (argument[0] == L'/' || argument[0] == L'-') &&
           EqualsIgnoringAsciiCase(argument.substr(1), name);
}

// The codes scripts have long seen for Sheenwright's own reasons, which
// were the system's codes nearest to them.
constexpr std::pair<DWORD, DWORD> kLongKnownCodes[] = {
    {kSignedProgram, ERROR_EXE_CANNOT_MODIFY_SIGNED_BINARY},
    {kDotNetProgram, ERROR_EXE_CANNOT_MODIFY_STRONG_SIGNED_BINARY},
    {kDataAfterSections, ERROR_EXE_MARKED_INVALID},
    {kProgramInUse, ERROR_SHARING_VIOLATION},
    {kReadOnlyProgram, ERROR_FILE_READ_ONLY},
    {kUnreadableManifest, ERROR_SXS_MANIFEST_PARSE_ERROR},
    {kCheckAfterChangeFailed, ERROR_CRC},
    {kProgramChangedSince, ERROR_REVISION_MISMATCH},
};

DWORD ScriptExitCode(DWORD code) {
    for (const auto& [own, known] : kLongKnownCodes) {
        if (own == code)
            return known;
    }
    return code;
}

// The program given as `given`, as a script means it: a shortcut stands for
// its target, as in the window; unlike there, a program that is not there
// is a typo, not a script to write.
DWORD ProgramGiven(const std::wstring& given, std::wstring& program) {
    InjectFault("CarryOut");
    if (const DWORD error = FollowShortcut(given, program))
        return error;
    return CheckExistingFile(program);
}

// What `action` (with /embed: `embed`) did for the program given as `given`.
RequestOutcome CarryOut(StyleScriptAction action, bool embed, const std::wstring& given) {
    try {
        std::wstring program;
        if (const DWORD error = ProgramGiven(given, program))
            return PlanFailure(PlanOf(action), error);
        const Inspection inspection = Inspect(program);
        Plan plan = PlanOf(action);
        if (embed && WantsStyleInProgram(inspection))
            plan.program = ProgramStep::addStyle;
        return CarryOutPlan(plan, program, &inspection, UpdateHooks());
    } catch (...) {
        return PlanFailure(PlanOf(action), ErrorCodeOf(std::current_exception()));
    }
}

// What /check tells of the program given as `given`; `error` receives why
// it could not be read.
std::wstring Check(const std::wstring& given, DWORD& error) {
    try {
        std::wstring program;
        error = ProgramGiven(given, program);
        Inspection inspection;
        if (error == ERROR_SUCCESS) {
            inspection = Inspect(program);
            error = inspection.error ? inspection.error : inspection.program.readError;
        }
        return error == ERROR_SUCCESS ? InspectionText(inspection) : ReasonText(error);
    } catch (...) {
        error = ErrorCodeOf(std::current_exception());
        return ReasonText(error);
    }
}

// `text`'s lines, each begun by `prefix`.
std::wstring PrefixLines(const std::wstring& prefix, const std::wstring& text) {
    std::wstring lines = prefix;
    for (const wchar_t c : text)
        lines += c == L'\r' ? L"\r" + prefix : std::wstring(1, c);
    return lines;
}

} // namespace

CommandLine ParseCommandLine(const std::vector<std::wstring>& arguments) {
    CommandLine commandLine;
    if (arguments.empty())
        return commandLine;
    if (arguments[0] == L"/?") {
        commandLine.mode = CommandLine::Mode::usage;
        return commandLine;
    }
    auto program = arguments.begin() + 1;
    if (IsSwitch(arguments[0], L"check")) {
        commandLine.mode = CommandLine::Mode::check;
    } else if (IsSwitch(arguments[0], L"create") || IsSwitch(arguments[0], L"remove")) {
        commandLine.mode = CommandLine::Mode::scripted;
        commandLine.action = IsSwitch(arguments[0], L"create") ? StyleScriptAction::create
                                                               : StyleScriptAction::remove;
        if (commandLine.action == StyleScriptAction::create && program != arguments.end() &&
            IsSwitch(*program, L"embed")) {
            commandLine.embed = true;
            ++program;
        }
    } else if (!IsSwitch(arguments[0], L"embed") || arguments.size() < 2 ||
               !ParseReplyTo(kAddStylePlan, arguments[1])) {
        commandLine.programs = {arguments[0]};
        return commandLine;
    }
    // Only the administrator's run a window starts is handed a plan.
    if (commandLine.mode != CommandLine::Mode::check && program != arguments.end()) {
        Plan plan = commandLine.mode == CommandLine::Mode::window ? kAddStylePlan
                                                                  : PlanOf(commandLine.action);
        if (commandLine.embed)
            plan.program = ProgramStep::addStyle;
        if (const auto relay = ParseReplyTo(plan, *program)) {
            commandLine.action =
                plan == kAddStylePlan ? StyleScriptAction::embed : commandLine.action;
            commandLine.mode = CommandLine::Mode::relayed;
            commandLine.relay = *relay;
            ++program;
        }
    }
    commandLine.programs.assign(program, arguments.end());
    return commandLine;
}

int RunScriptedCommand(const CommandLine& commandLine) {
    if (commandLine.mode == CommandLine::Mode::usage) {
        if (WriteOutputLines(kUsage) != ERROR_SUCCESS)
            ShowMessage(nullptr, kUsage); // started from no console, as from Explorer
        return 0;
    }
    if (commandLine.programs.empty()) {
        WriteOutputLines(kUsage); // a script with nowhere to write must still end
        return ERROR_INVALID_PARAMETER;
    }
    DWORD firstFailure = ERROR_SUCCESS;
    std::wstring told;
    for (const std::wstring& given : commandLine.programs) {
        DWORD code = ERROR_SUCCESS;
        std::wstring text;
        if (commandLine.mode == CommandLine::Mode::check) {
            text = Check(given, code);
        } else {
            const RequestOutcome outcome = CarryOut(commandLine.action, commandLine.embed, given);
            code = ExitCodeOf(outcome);
            text = RequestOutcomeText(outcome);
        }
        if (firstFailure == ERROR_SUCCESS)
            firstFailure = ScriptExitCode(code);
        // As grep names the file before each line when it reads several.
        told += (told.empty() ? L"" : L"\r") +
                (commandLine.programs.size() > 1 ? PrefixLines(given + L": ", text) : text);
    }
    WriteOutputLines(told);
    return static_cast<int>(firstFailure);
}

} // namespace sheen
