#include "app/command_line.h"

#include "app/fault_injection.h"
#include "app/outcome_text.h"
#include "app/program_embedding.h"
#include "platform/console_output.h"
#include "platform/file_name.h"
#include "platform/message_box.h"
#include "platform/shortcut.h"
#include "platform/text_compare.h"
#include "platform/win32_error.h"
#include "stylescript/program_update.h"

#include <exception>
#include <optional>
#include <string_view>

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
    L"  The exit code is 0 when every program succeeded, else the first failure's:\r"
    L"  the Windows error code, or 13 for a manifest that is not a style script.";

std::optional<StyleScriptAction> ParseActionSwitch(std::wstring_view argument) {
    if (argument.empty() || (argument[0] != L'/' && argument[0] != L'-'))
        return std::nullopt;
    if (EqualsIgnoringAsciiCase(argument.substr(1), L"create"))
        return StyleScriptAction::create;
    if (EqualsIgnoringAsciiCase(argument.substr(1), L"remove"))
        return StyleScriptAction::remove;
    return std::nullopt;
}

bool IsEmbedSwitch(std::wstring_view argument) {
    return !argument.empty() && (argument[0] == L'/' || argument[0] == L'-') &&
           EqualsIgnoringAsciiCase(argument.substr(1), L"embed");
}

// What `action` did for the program given as `given`.
StyleScriptOutcome CarryOut(StyleScriptAction action, const std::wstring& given) {
    try {
        InjectFault("CarryOut");
        // As in the window, a shortcut stands for its target; unlike there, a
        // program that is not there is a typo, not a script to write.
        std::wstring program;
        DWORD error = FollowShortcut(given, program);
        if (error == ERROR_SUCCESS)
            error = CheckExistingFile(program);
        return error == ERROR_SUCCESS ? CarryOutRequest(action, program)
                                      : StyleScriptFailure(action, error);
    } catch (...) {
        return StyleScriptFailure(action, ErrorCodeOf(std::current_exception()));
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
    const std::optional<StyleScriptAction> action = ParseActionSwitch(arguments[0]);
    if (!action) {
        commandLine.programs = {arguments[0]};
        return commandLine;
    }
    commandLine.action = *action;
    commandLine.mode = CommandLine::Mode::scripted;
    auto program = arguments.begin() + 1;
    if (*action == StyleScriptAction::create && program != arguments.end() &&
        IsEmbedSwitch(*program)) {
        commandLine.embed = true;
        ++program;
    }
    if (program != arguments.end()) {
        if (const auto relay =
                ParseReplyTo(commandLine.embed ? StyleScriptAction::embed : *action, *program)) {
            commandLine.action = relay->action;
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
        const StyleScriptOutcome outcome = CarryOut(commandLine.action, given);
        if (firstFailure == ERROR_SUCCESS)
            firstFailure = ExitCodeOf(outcome);
        std::wstring text = StyleScriptOutcomeText(outcome);
        if (commandLine.embed && OffersEmbedding(outcome)) {
            const StyleScriptOutcome embedded = CarryOut(StyleScriptAction::embed, given);
            if (firstFailure == ERROR_SUCCESS)
                firstFailure = ExitCodeOf(embedded);
            text += L"\r" + StyleScriptOutcomeText(embedded);
        }
        // As grep names the file before each line when it reads several.
        told += (told.empty() ? L"" : L"\r") +
                (commandLine.programs.size() > 1 ? PrefixLines(given + L": ", text) : text);
    }
    WriteOutputLines(told);
    return static_cast<int>(firstFailure);
}

} // namespace sheen
