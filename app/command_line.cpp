#include "app/command_line.h"

#include "app/elevated_create.h"
#include "platform/console_output.h"
#include "platform/message_box.h"
#include "platform/number_text.h"
#include "platform/shortcut.h"
#include "platform/text_compare.h"
#include "stylescript/style_script_writer.h"

#include <cwchar>
#include <string_view>

namespace sheen {
namespace {

constexpr std::wstring_view kReplyTo = L"/reply-to:";

const std::wstring kUsage =
    L"Usage:\r"
    L"  Sheenwright.exe [<program>]\r"
    L"    opens the window with <program> in the path box.\r"
    L"  Sheenwright.exe /create <program> [<program> ...]\r"
    L"    writes each program's style script as Creat does, without a window, and\r"
    L"    exits with 0 when every script was written, else with the Windows error\r"
    L"    code of the first failure.";

bool IsCreateSwitch(std::wstring_view argument) {
    return !argument.empty() && (argument[0] == L'/' || argument[0] == L'-') &&
           EqualsNoCase(argument.substr(1), L"create");
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
    if (!IsCreateSwitch(arguments[0])) {
        commandLine.programs = {arguments[0]};
        return commandLine;
    }
    commandLine.mode = CommandLine::Mode::create;
    auto program = arguments.begin() + 1;
    if (program != arguments.end() && program->starts_with(kReplyTo)) {
        const auto window = std::wcstoull(program->c_str() + kReplyTo.size(), nullptr, 10);
        commandLine.replyTo = reinterpret_cast<HWND>(static_cast<UINT_PTR>(window));
        ++program;
    }
    commandLine.programs.assign(program, arguments.end());
    return commandLine;
}

std::wstring CreateArguments(HWND replyTo, const std::wstring& program) {
    // Backslashes right before the closing quote would escape it: double them.
    const size_t lastOther = program.find_last_not_of(L'\\');
    const size_t trailing = program.size() - (lastOther == std::wstring::npos ? 0 : lastOther + 1);
    return L"/create " + std::wstring(kReplyTo) +
           DecimalText(static_cast<std::int64_t>(reinterpret_cast<UINT_PTR>(replyTo))) + L" \"" +
           program + std::wstring(trailing, L'\\') + L"\"";
}

int RunCommandLine(const CommandLine& commandLine) {
    if (commandLine.mode == CommandLine::Mode::usage || commandLine.programs.empty()) {
        if (WriteOutputLines(kUsage) != ERROR_SUCCESS)
            ShowMessage(nullptr, kUsage); // started from no console, as from Explorer
        return commandLine.mode == CommandLine::Mode::usage ? 0 : ERROR_INVALID_PARAMETER;
    }
    DWORD firstError = ERROR_SUCCESS;
    std::wstring told;
    for (const std::wstring& given : commandLine.programs) {
        // As in the window, a shortcut stands for its target.
        const std::optional<std::wstring> program = FollowShortcut(given);
        StyleScriptOutcome outcome;
        if (program)
            outcome = WriteStyleScriptFile(*program);
        else
            outcome.error = ERROR_FILE_NOT_FOUND; // a shortcut that leads to no file
        if (firstError == ERROR_SUCCESS)
            firstError = outcome.error;
        told += (told.empty() ? L"" : L"\r") + StyleScriptOutcomeText(outcome);
    }
    if (commandLine.replyTo)
        SendOutcome(commandLine.replyTo, told);
    else
        WriteOutputLines(told);
    return static_cast<int>(firstError);
}

} // namespace sheen
