// The command line for scripts: which mode and programs its switches choose,
// and what each failure ends with.
#include "app/administrator_relay.h"
#include "app/command_line.h"
#include "platform/error_text.h"
#include "stylescript/style_script.h"
#include "support/app_driver.h"
#include "support/expected_texts.h"
#include "support/program_image.h"
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
        kRemovalPlan, kWindow, 0x7123456789ABCDEF, {0x89ABCDEF, 0xFEDCBA9876543210}};
    RelayRequest embed = relay;
    embed.plan = kAddStylePlan;
    RelayRequest both = relay;
    both.plan = {ScriptStep::create, ProgramStep::addStyle};
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
        {{L"-Check", L"a", L"/embed"}, Mode::check, {L"a", L"/embed"}},
        {{L"/embed", L"a"}, Mode::window, {L"/embed"}},
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
        {Arguments(RelayArguments(both, L"C:\\a.exe")), Mode::relayed, {L"C:\\a.exe"}},
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
            const Plan plan = c.action == Action::create ? both.plan : PlanOf(c.action);
            EXPECT_TRUE(parsed.relay.plan == plan) << testing::PrintToString(c.arguments);
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

// What /check tells of each kind of program, and that it changes nothing.
TEST(CommandLine, CheckTellsWhatWindowsMakesOfEachProgramAndChangesNothing) {
    ScratchFolder folder;
    const std::string plain =
        test::ProgramBytes(IMAGE_FILE_MACHINE_AMD64, std::nullopt, test::kLinkerManifest);
    const std::string styled = test::ProgramBytes(
        IMAGE_FILE_MACHINE_AMD64, std::nullopt,
        "<assembly xmlns='urn:schemas-microsoft-com:asm.v1' manifestVersion='1.0'><dependency>"
        "<dependentAssembly><assemblyIdentity type='win32' "
        "name='Microsoft.Windows.Common-Controls' version='6.0.0.0' processorArchitecture='*' "
        "publicKeyToken='6595b64144ccf1df' language='*'/></dependentAssembly></dependency>"
        "</assembly>");
    constexpr size_t kCertificatesAt =
        0x40 + offsetof(IMAGE_NT_HEADERS64, OptionalHeader.DataDirectory) +
        IMAGE_DIRECTORY_ENTRY_SECURITY * sizeof(IMAGE_DATA_DIRECTORY);
    const std::wstring x64 = L"The program runs as an x64 process.\r";
    const std::wstring noneOwn =
        L"\rThe program has no manifest of its own: the style script is the one Windows reads.";
    const std::wstring nothingBack =
        L"\rA removal would find nothing of Sheenwright's to take back.";
    const std::wstring ownWithout =
        L"Windows uses the program's own manifest, which does not give it Common Controls 6.\r";
    const std::wstring ownWith = L"Windows uses the program's own manifest, which gives it "
                                 L"Common Controls 6, and so the visual style.\r";
    const std::wstring fresh =
        L"Creat would write the style script; there is no earlier manifest to keep.";
    const std::wstring refused =
        L"\rThe visual style cannot be added to the program's own manifest: the program ";
    struct Case {
        const wchar_t* name;
        std::string program; // the probe with the style added and undone, if empty
        std::string beside;  // the manifest beside it, if any
        std::wstring told;
    };
    const Case cases[] = {
        {L"bare.exe", test::ProgramBytes(IMAGE_FILE_MACHINE_AMD64), "",
         x64 +
             L"Windows finds no manifest for the program, so it does not get Common Controls "
             L"6.\r" +
             fresh + noneOwn + nothingBack},
        {L"foreign.exe", test::ProgramBytes(IMAGE_FILE_MACHINE_AMD64), kEarlier,
         x64 +
             L"Windows uses the manifest beside the program, which does not give it Common "
             L"Controls 6.\rCreat would keep the earlier manifest as foreign.exe.manifest.bak." +
             noneOwn +
             L"\rA removal would leave the manifest beside the program as it is: it is not a "
             L"style script."},
        {L"scripted.exe", test::ProgramBytes(IMAGE_FILE_MACHINE_I386), std::string(kStyleScript),
         L"The program runs as a 32-bit x86 process.\rWindows uses the manifest beside the "
         L"program, which gives it Common Controls 6, and so the visual style.\rThe program "
         L"already has its style script: Creat would offer to remove it." +
             noneOwn + L"\rA removal would take the style script away."},
        {L"linked.exe", test::LinkedProgramBytes({}, test::kTrustInfoManifest), "",
         x64 + ownWithout + fresh +
             L"\rThe visual style can be added to the program's own manifest; the program "
             L"would be kept as linked.exe.bak." +
             nothingBack},
        {L"styled.exe", styled, "",
         x64 + ownWith + fresh +
             L"\rThe program's own manifest already gives it the visual style." + nothingBack},
        {L"signed.exe", test::WithDword(plain, kCertificatesAt, 0x200), "",
         x64 + ownWithout + fresh + refused +
             L"carries a digital signature, which the change would break." + nothingBack},
        {L"dotnet.exe",
         test::ProgramBytes(IMAGE_FILE_MACHINE_I386, COMIMAGE_FLAGS_ILONLY, test::kLinkerManifest),
         "",
         L"The program runs as a process of whichever processor the system has.\r" + ownWithout +
             fresh + refused +
             L"is a .NET program, whose own manifest Sheenwright does not change." + nothingBack},
        {L"installer.exe", plain + "an archive", "",
         x64 + ownWithout + fresh + refused +
             L"carries data after its last section (an installer or a self-extracting "
             L"archive, for example), which the change would lose." +
             nothingBack},
        {L"styledhere.exe", "", "",
         x64 + ownWith +
             L"The program already has its style script: Creat would offer to remove it.\r"
             L"The program's own manifest already gives it the visual style.\r"
             L"A removal would take the style script away, and put back the program as it "
             L"was, from styledhere.exe.bak."},
    };
    std::wstring programs;
    std::string told;
    for (const Case& c : cases) {
        const std::wstring program = folder / c.name;
        if (c.program.empty()) {
            test::MakeProbe(program);
            std::string output;
            ASSERT_EQ(RunCommand(L"/create /embed " + test::Quoted(program), output), 0u) << output;
        } else {
            test::WriteFileBytes(program, c.program);
        }
        if (!c.beside.empty())
            test::WriteFileBytes(program + L".manifest", c.beside);
        programs += L" " + test::Quoted(program);
        told += OutputLines(c.told, program + L": ");
    }
    const auto before = test::ContentsOf(folder.path());
    std::string output;
    EXPECT_EQ(RunCommand(L"-CHECK" + programs, output), 0u);
    EXPECT_EQ(output, told);
    // A program that is not there is the first error, after all that could be read.
    const std::wstring gone = folder / L"gone.exe";
    EXPECT_EQ(RunCommand(L"/check " + test::Quoted(gone) + programs, output),
              DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(output, OutputLines(ErrorText(ERROR_FILE_NOT_FOUND), gone + L": ") + told);
    EXPECT_EQ(test::ContentsOf(folder.path()), before);
}

} // namespace
} // namespace sheen
