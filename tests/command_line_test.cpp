// The command line for scripts: which mode and programs its switches choose,
// and what each failure ends with.
#include "app/administrator_relay.h"
#include "app/command_line.h"
#include "platform/error_text.h"
#include "stylescript/style_script.h"
#include "support/app_driver.h"
#include "support/expected_texts.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>
#include <shellapi.h>

namespace sheen {
namespace {

using test::OutputLines;
using test::RunCommand;
using test::ScratchFolder;
using Mode = CommandLine::Mode;
using Action = StyleScriptAction;

const HWND kWindow = reinterpret_cast<HWND>(UINT_PTR(0x10A2C));
const std::string kEarlier = "<earlier manifest/>\r\n";
const std::wstring kFaultyProgram = test::BesideThisProgram(L"sheenwright_faulty.exe");

// Splits a command line as the C runtime does for the program.
std::vector<std::wstring> Arguments(const std::wstring& parameters) {
    int count = 0;
    wchar_t** split = CommandLineToArgvW((L"Sheenwright.exe " + parameters).c_str(), &count);
    std::vector<std::wstring> arguments(split + 1, split + count);
    LocalFree(split);
    return arguments;
}

TEST(CommandLineSwitches, ChooseTheModeAndThePrograms) {
    const RelayRequest relay{
        Action::remove, kWindow, 0x7123456789ABCDEF, {0x89ABCDEF, 0xFEDCBA9876543210}};
    RelayRequest embed = relay;
    embed.action = Action::embed;
    struct Case {
        std::vector<std::wstring> arguments;
        Mode mode;
        std::vector<std::wstring> programs;
        Action action = Action::create;
    };
    const Case cases[] = {
        {{}, Mode::window, {}},
        {{L"C:\\Apps\\tool.exe", L"more"}, Mode::window, {L"C:\\Apps\\tool.exe"}},
        {{L"/create", L"a", L"b", L"c"}, Mode::scripted, {L"a", L"b", L"c"}},
        {{L"-REMOVE", L"a"}, Mode::scripted, {L"a"}, Action::remove},
        {{L"/Create"}, Mode::scripted, {}},
        {{L"/creates", L"a"}, Mode::window, {L"/creates"}},
        {{L"create", L"a"}, Mode::window, {L"create"}},
        {{L"/?", L"a"}, Mode::usage, {}},
        {{L"-CREATE", L"/Embed", L"a"}, Mode::scripted, {L"a"}},
        {{L"/remove", L"/embed", L"a"}, Mode::scripted, {L"/embed", L"a"}, Action::remove},
        // Only a whole /reply-to: makes the relay; anything else is a program.
        {{L"/create", L"/reply-to:12", L"a"}, Mode::scripted, {L"/reply-to:12", L"a"}},
        {{L"/create", L"/reply-to:12:34", L"a"}, Mode::scripted, {L"/reply-to:12:34", L"a"}},
        {Arguments(RelayArguments(relay, L"C:\\Program Files\\a b. ")),
         Mode::relayed,
         {L"C:\\Program Files\\a b. "},
         Action::remove},
        {Arguments(RelayArguments(embed, L"C:\\a.exe")),
         Mode::relayed,
         {L"C:\\a.exe"},
         Action::embed},
        {Arguments(RelayArguments(relay, L"C:\\odd\\\\")),
         Mode::relayed,
         {L"C:\\odd\\\\"},
         Action::remove},
    };
    for (const Case& c : cases) {
        const CommandLine parsed = ParseCommandLine(c.arguments);
        EXPECT_EQ(parsed.mode, c.mode) << testing::PrintToString(c.arguments);
        EXPECT_EQ(parsed.programs, c.programs) << testing::PrintToString(c.arguments);
        EXPECT_EQ(parsed.action, c.action) << testing::PrintToString(c.arguments);
        if (c.mode == Mode::relayed) {
            EXPECT_EQ(parsed.relay.replyTo, relay.replyTo);
            EXPECT_EQ(parsed.relay.nonce, relay.nonce);
            EXPECT_TRUE(parsed.relay.folder == relay.folder);
        }
    }
}

TEST(CommandLine, EachFailureEndsWithItsOwnCodeAndWritesNothing) {
    ScratchFolder folder;
    test::WriteFileBytes(folder / L"broken.lnk", "not a shortcut");
    test::WriteFileBytes(folder / L"gone.exe", "");
    test::WriteShortcut(folder / L"gone.lnk", folder / L"gone.exe");
    DeleteFileW((folder / L"gone.exe").c_str());
    CreateDirectoryW((folder / L"folder.exe").c_str(), nullptr);
    test::WriteFileBytes(folder / L"tool.exe", "");
    // Several programs, the second denied: its manifest is read-only.
    const std::wstring a = folder / L"a.exe", b = folder / L"b.exe", c = folder / L"c.exe";
    for (const std::wstring& program : {a, b, c})
        test::WriteFileBytes(program, "");
    test::WriteFileBytes(a + L".manifest", kEarlier);
    test::WriteFileBytes(b + L".manifest", kEarlier);
    SetFileAttributesW((b + L".manifest").c_str(), FILE_ATTRIBUTE_READONLY);
    struct Case {
        std::wstring arguments;
        DWORD exitCode;
        std::string output;
        const wchar_t* fault = nullptr; // in the test build
        test::StartAs as = {};
    };
    const auto quoted = [&](const wchar_t* name) { return test::Quoted(folder / name); };
    const Case cases[] = {
        {L"/create " + quoted(L"typo.exe"), ERROR_FILE_NOT_FOUND, OutputLines(ErrorText(2))},
        {L"/create " + quoted(L"folder.exe"), ERROR_FILE_NOT_FOUND, OutputLines(ErrorText(2))},
        {L"/create " + quoted(L"gone.lnk"), ERROR_FILE_NOT_FOUND, OutputLines(ErrorText(2))},
        {L"/create " + quoted(L"broken.lnk"), ERROR_BAD_FORMAT,
         OutputLines(ErrorText(ERROR_BAD_FORMAT))},
        {L"/create " + quoted(L"tool.exe"), ERROR_NOT_SUPPORTED,
         OutputLines(ErrorText(ERROR_NOT_SUPPORTED)), L"CarryOut"},
        // Each line names its program, as grep does with several files.
        {L"-Create " + quoted(L"a.exe") + L" " + quoted(L"b.exe") + L" " + quoted(L"c.exe"),
         ERROR_ACCESS_DENIED,
         OutputLines(test::kSuccessMessage + test::BackupNote(L"a.exe.manifest.bak"), a + L": ") +
             OutputLines(ErrorText(ERROR_ACCESS_DENIED), b + L": ") +
             OutputLines(test::kSuccessMessage, c + L": ")},
        // From a scheduler: no console, and no box to wait on for ever.
        {L"/create", ERROR_INVALID_PARAMETER, "", nullptr, {.noConsole = true}},
    };
    for (const Case& c : cases) {
        SetEnvironmentVariableW(L"SHEENWRIGHT_FAULT", c.fault);
        std::string output;
        EXPECT_EQ(
            RunCommand(c.arguments, output, c.fault ? kFaultyProgram : test::ProgramPath(), c.as),
            c.exitCode)
            << testing::PrintToString(c.arguments);
        EXPECT_EQ(output, c.output) << testing::PrintToString(c.arguments);
    }
    SetEnvironmentVariableW(L"SHEENWRIGHT_FAULT", nullptr);
    EXPECT_EQ(test::ReadFileBytes(c + L".manifest"), std::string(kStyleScript));
    EXPECT_EQ(folder.Names(),
              (std::set<std::wstring>{L"broken.lnk", L"gone.lnk", L"folder.exe", L"tool.exe",
                                      L"a.exe", L"a.exe.manifest", L"a.exe.manifest.bak", L"b.exe",
                                      L"b.exe.manifest", L"c.exe", L"c.exe.manifest"}));
}

} // namespace
} // namespace sheen
