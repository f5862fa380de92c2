// Create where Windows guards the program's folder, and the command line for scripts.
#include "app/command_line.h"
#include "app/elevated_create.h"
#include "platform/error_text.h"
#include "stylescript/style_script.h"
#include "support/app_driver.h"
#include "support/expected_texts.h"
#include "support/message_box_reader.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>
#include <shellapi.h>

namespace sheen {
namespace {

using test::RunningApp;
using test::ScratchFolder;
using Mode = CommandLine::Mode;

const HWND kWindow = reinterpret_cast<HWND>(UINT_PTR(0x10A2C));
const std::string kEarlier = "<earlier manifest/>\r\n";

// What the elevated instance reads from the arguments it is given.
std::vector<std::wstring> ElevatedArguments(const std::wstring& program) {
    int count = 0;
    wchar_t** split = CommandLineToArgvW(
        (L"Sheenwright.exe " + CreateArguments(kWindow, program)).c_str(), &count);
    std::vector<std::wstring> arguments(split + 1, split + count);
    LocalFree(split);
    return arguments;
}

TEST(CommandLineSwitches, ChooseTheModeAndThePrograms) {
    struct Case {
        std::vector<std::wstring> arguments;
        Mode mode;
        std::vector<std::wstring> programs;
        HWND replyTo = nullptr;
    };
    const Case cases[] = {
        {{}, Mode::window, {}},
        {{L"C:\\Apps\\tool.exe", L"more"}, Mode::window, {L"C:\\Apps\\tool.exe"}},
        {{L"/create", L"a", L"b", L"c"}, Mode::create, {L"a", L"b", L"c"}},
        {{L"-CREATE", L"a"}, Mode::create, {L"a"}},
        {{L"/Create"}, Mode::create, {}},
        {{L"/creates", L"a"}, Mode::window, {L"/creates"}},
        {{L"create", L"a"}, Mode::window, {L"create"}},
        {{L"/?", L"a"}, Mode::usage, {}},
        {ElevatedArguments(L"C:\\Program Files\\a b"),
         Mode::create,
         {L"C:\\Program Files\\a b"},
         kWindow},
        {ElevatedArguments(L"C:\\odd\\\\"), Mode::create, {L"C:\\odd\\\\"}, kWindow},
    };
    for (const Case& c : cases) {
        const CommandLine parsed = ParseCommandLine(c.arguments);
        EXPECT_EQ(parsed.mode, c.mode) << testing::PrintToString(c.arguments);
        EXPECT_EQ(parsed.programs, c.programs) << testing::PrintToString(c.arguments);
        EXPECT_EQ(parsed.replyTo, c.replyTo) << testing::PrintToString(c.arguments);
    }
}

// Under Wine the consent prompt never comes, so declining it is covered here.
TEST(ElevatedCreate, TellsTheRelayedOutcomeElseTheExitCodesAndNothingWhenDeclined) {
    struct Case {
        DWORD error, exitCode;
        std::optional<std::wstring> relayed, told;
    };
    const std::wstring relayed = test::kSuccessMessage + test::BackupNote(L"tool.exe.manifest.bak");
    const Case cases[] = {
        {ERROR_CANCELLED, 0, std::nullopt, std::nullopt},
        {ERROR_FILE_NOT_FOUND, 0, std::nullopt, ErrorText(ERROR_FILE_NOT_FOUND)},
        {ERROR_SUCCESS, 0, relayed, relayed},
        {ERROR_SUCCESS, ERROR_ACCESS_DENIED, std::nullopt, ErrorText(ERROR_ACCESS_DENIED)},
        {ERROR_SUCCESS, 0, std::nullopt, test::kSuccessMessage},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ElevatedOutcomeText(c.error, c.exitCode, c.relayed), c.told)
            << c.error << " " << c.exitCode;
}

// A folder only an administrator may write, with a manifest in it to keep.
class GuardedProgramFolder : public testing::Test {
  protected:
    void SetUp() override {
        test::WriteFileBytes(manifest_, kEarlier);
        guard_.emplace(folder_.path());
        if (!guard_->refusal.empty())
            GTEST_SKIP() << guard_->refusal;
    }

    // Presses Create in a Sheenwright that is not elevated; returns its question.
    test::MessageBoxView Ask(const RunningApp& app) {
        app.SetPath(folder_ / L"tool.exe");
        app.Click(app.Button(L"Creat"));
        return test::WaitForMessageBox(app.processId()).value_or(test::MessageBoxView{});
    }

    // Answers Yes; returns what the window then tells, once it is dismissed.
    std::wstring Yes(const RunningApp& app, const test::MessageBoxView& question) {
        test::DismissMessageBox(question, IDYES);
        const auto told = test::WaitForMessageBox(app.processId());
        if (!told)
            return L"(nothing)";
        test::ExpectPlainOkBox(*told);
        test::DismissMessageBox(*told);
        EXPECT_TRUE(app.WaitUntilUsable());
        EXPECT_TRUE(app.ShowsNoMessage()) << "said once, and asked no more";
        return told->text;
    }

    ScratchFolder folder_;
    const std::wstring manifest_ = folder_ / L"tool.exe.manifest";
    std::optional<test::GuardedFolder> guard_;
};

TEST_F(GuardedProgramFolder, AsksWhetherToCreateAsAdministratorAndNoEndsIt) {
    RunningApp app(L"", test::ProgramPath(), test::FirstShown::window, L"", {.limitedToken = true});
    const test::MessageBoxView question = Ask(app);
    // The system's words, then one line of the program's own; Yes and No, no icon.
    const std::wstring denied = ErrorText(ERROR_ACCESS_DENIED) + L"\r";
    EXPECT_EQ(question.text.substr(0, denied.size()), denied);
    EXPECT_GT(question.text.size(), denied.size());
    EXPECT_EQ(question.text.find(L'\r', denied.size()), std::wstring::npos);
    EXPECT_EQ(question.caption, L"Sheenwright");
    EXPECT_EQ(question.buttons, (std::vector<std::wstring>{L"&Yes", L"&No"}));
    EXPECT_FALSE(question.hasIcon);

    test::DismissMessageBox(question, IDNO);
    EXPECT_TRUE(app.WaitUntilUsable());
    EXPECT_TRUE(app.ShowsNoMessage());
    EXPECT_EQ(folder_.Names(), std::set<std::wstring>{L"tool.exe.manifest"});
}

TEST_F(GuardedProgramFolder, YesTellsWhatTheElevatedCreateDidDeniedOrWithItsBackup) {
    RunningApp app(L"", test::ProgramPath(), test::FirstShown::window, L"", {.limitedToken = true});
    EXPECT_EQ(Yes(app, Ask(app)),
              ErrorText(ERROR_ACCESS_DENIED)); // the administrator is denied too
    EXPECT_EQ(test::ReadFileBytes(manifest_), kEarlier);

    const test::MessageBoxView question = Ask(app);
    guard_->Open(); // as the folder is to an administrator
    EXPECT_EQ(Yes(app, question),
              test::kSuccessMessage + test::BackupNote(L"tool.exe.manifest.bak"));
    EXPECT_EQ(test::ReadFileBytes(manifest_), std::string(kStyleScript));
    EXPECT_EQ(test::ReadFileBytes(manifest_ + L".bak"), kEarlier);
}

TEST_F(GuardedProgramFolder, AnElevatedSheenwrightDoesNotAsk) {
    RunningApp app; // every process is elevated under Wine
    EXPECT_EQ(app.Create(folder_ / L"tool.exe"), ErrorText(ERROR_ACCESS_DENIED));
}

// Runs Sheenwright with `arguments` and its standard output in a file; returns
// its exit code, and its output in `output`.
DWORD RunCommand(const std::wstring& arguments, std::string& output) {
    ScratchFolder folder;
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    UniqueFile file(CreateFileW((folder / L"out.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                &inherited, CREATE_ALWAYS, 0, nullptr));
    const auto started =
        test::StartProgram(test::ProgramPath(), arguments, L"", {.output = file.get()});
    file.reset();
    DWORD exitCode = STILL_ACTIVE;
    EXPECT_EQ(WaitForSingleObject(started.process.get(), 30000), WAIT_OBJECT_0);
    GetExitCodeProcess(started.process.get(), &exitCode);
    output = test::ReadFileBytes(folder / L"out.txt");
    return exitCode;
}

// A message's lines as the command line writes them.
std::string Lines(const std::wstring& text) {
    std::string lines;
    for (const wchar_t c : text)
        lines += c == L'\r' ? std::string("\r\n") : std::string(1, char(c));
    return lines + "\r\n";
}

TEST(CommandLine, WritesEachScriptAndExitsWithTheFirstError) {
    ScratchFolder folder;
    const std::wstring a = folder / L"a.exe", b = folder / L"absent\\b.exe", c = folder / L"c.exe";
    std::string output;
    EXPECT_EQ(RunCommand(L"-Create \"" + a + L"\" \"" + b + L"\" \"" + c + L"\"", output),
              DWORD(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(output, Lines(test::kSuccessMessage) + Lines(ErrorText(ERROR_PATH_NOT_FOUND)) +
                          Lines(test::kSuccessMessage));
    EXPECT_EQ(test::ReadFileBytes(a + L".manifest"), std::string(kStyleScript));
    EXPECT_EQ(test::ReadFileBytes(c + L".manifest"), std::string(kStyleScript));

    // A shortcut stands for its target, as in the window.
    test::WriteFileBytes(c, "");
    test::WriteShortcut(folder / L"c.lnk", c);
    DeleteFileW((c + L".manifest").c_str());
    EXPECT_EQ(RunCommand(L"/create \"" + folder / L"c.lnk" + L"\"", output), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(output, Lines(test::kSuccessMessage));
    EXPECT_EQ(test::ReadFileBytesIfAny(c + L".manifest"), std::string(kStyleScript));
    EXPECT_EQ(test::ReadFileBytesIfAny(folder / L"c.lnk.manifest"), "");
}

} // namespace
} // namespace sheen
