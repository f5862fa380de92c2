// The shipped 32-bit Sheenwright.exe itself, run under the 32-bit Wine (emulated
// by qemu-i386) and worked from this x86-64 process, which shares its wineserver
// (tests/run_shipped32.sh). It covers what only the shipped build can get
// wrong: the -win32 runtime and its start-up, 32-bit arithmetic in reading
// programs, x87 rounding in the status line, and the system DLLs the program
// looks up itself on first use (comdlg32 on Browse, shell32 on a drop and on
// Create as administrator, ole32 for a shortcut). The x86-64 suite covers the
// rules; here each path runs once.
#include "platform/unique_handle.h"
#include "stylescript/style_script.h"
#include "support/app_driver.h"
#include "support/expected_texts.h"
#include "support/message_box_reader.h"
#include "support/program_image.h"
#include "support/scratch_folder.h"
#include "support/window_text.h"
#include "sysdesc/system_description.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <thread>

namespace sheen {
namespace {

using test::OutputLines;
using test::Quoted;
using test::RunCommand;
using test::RunningApp;
using test::ScratchFolder;

const std::wstring kShipped = test::BesideThisProgram(L"..\\..\\win32\\Sheenwright.exe");

// One step of the stage and its time limit, which fits the emulation with room
// to spare: past it the stage ends at once, naming the step, instead of
// hanging the suite. Each step says how long it took, and whether that was
// more than half its limit, which is how slow steps are counted.
class Step {
  public:
    Step(const char* name, DWORD limitSeconds)
        : name_(name), limitMs_(limitSeconds * 1000), start_(GetTickCount()),
          done_(CreateEventW(nullptr, TRUE, FALSE, nullptr)), watchdog_([this] {
              if (WaitForSingleObject(done_.get(), limitMs_) != WAIT_TIMEOUT)
                  return;
              std::printf("shipped32: step \"%s\" ran past its limit of %lu s\n", name_,
                          limitMs_ / 1000);
              std::fflush(stdout);
              TerminateProcess(GetCurrentProcess(), 124); // the session then ends the rest
          }) {}
    Step(const Step&) = delete;
    Step& operator=(const Step&) = delete;
    ~Step() {
        SetEvent(done_.get());
        watchdog_.join();
        const DWORD took = GetTickCount() - start_;
        std::printf("shipped32: step \"%s\" took %.1f s of its %lu s%s\n", name_, took / 1000.0,
                    limitMs_ / 1000, took * 2 > limitMs_ ? " (more than half)" : "");
    }

  private:
    const char* name_;
    DWORD limitMs_, start_;
    UniqueKernelHandle done_;
    std::thread watchdog_;
};

// A 32-bit, a 64-bit and a .NET Any CPU program, and a shortcut to a fourth.
class Shipped32 : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(GetFileAttributesW(kShipped.c_str()), INVALID_FILE_ATTRIBUTES)
            << "no 32-bit build; 'make build' makes it";
        test::WriteFileBytes(i386_, test::ProgramBytes(IMAGE_FILE_MACHINE_I386));
        test::WriteFileBytes(amd64_, test::ProgramBytes(IMAGE_FILE_MACHINE_AMD64));
        test::WriteFileBytes(anyCpu_,
                             test::ProgramBytes(IMAGE_FILE_MACHINE_I386, COMIMAGE_FLAGS_ILONLY));
        test::WriteFileBytes(target_, test::ProgramBytes(IMAGE_FILE_MACHINE_I386));
        test::WriteShortcut(shortcut_, target_);
    }

    ScratchFolder folder_;
    const std::wstring i386_ = folder_ / L"i386.exe", amd64_ = folder_ / L"amd64.exe",
                       anyCpu_ = folder_ / L"anycpu.exe", target_ = folder_ / L"target.exe",
                       shortcut_ = folder_ / L"target.lnk";
};

TEST_F(Shipped32, CreateAndRemoveFromTheCommandLine) {
    const std::wstring programs =
        Quoted(i386_) + L" " + Quoted(amd64_) + L" " + Quoted(anyCpu_) + L" " + Quoted(shortcut_);
    const auto each = [&](const std::wstring& message) {
        std::string lines;
        for (const std::wstring& program : {i386_, amd64_, anyCpu_, shortcut_})
            lines += OutputLines(message, program + L": ");
        return lines;
    };
    std::string output;
    {
        const Step step("/create four programs", 60);
        EXPECT_EQ(RunCommand(L"/create " + programs, output, kShipped), 0u);
    }
    EXPECT_EQ(output, each(test::kSuccessMessage));
    EXPECT_EQ(test::ReadFileBytesIfAny(i386_ + L".manifest"), StyleScriptFor(kArchitectureX86));
    EXPECT_EQ(test::ReadFileBytesIfAny(amd64_ + L".manifest"), StyleScriptFor(kArchitectureAmd64));
    EXPECT_EQ(test::ReadFileBytesIfAny(anyCpu_ + L".manifest"), StyleScriptFor(kArchitectureAny));
    EXPECT_EQ(test::ReadFileBytesIfAny(target_ + L".manifest"), StyleScriptFor(kArchitectureX86));

    {
        const Step step("/remove four programs", 60);
        EXPECT_EQ(RunCommand(L"/remove " + programs, output, kShipped), 0u);
    }
    EXPECT_EQ(output, each(test::kRemovedMessage));
    EXPECT_EQ(folder_.Names(), (std::set<std::wstring>{L"i386.exe", L"amd64.exe", L"anycpu.exe",
                                                       L"target.exe", L"target.lnk"}));
}

// The 32-bit reading of a 64-bit program's resources and the 32-bit build of
// the program's own resource writer, once.
TEST_F(Shipped32, CreateEmbedAddsTheStyleToA64BitProgramsOwnManifestAndRemoveTakesItBack) {
    const std::wstring probe = folder_ / L"probe.exe";
    test::MakeProbe(probe);
    const std::string original = test::ReadFileBytes(probe);
    std::string output;
    {
        const Step step("/create /embed a 64-bit program", 60);
        EXPECT_EQ(RunCommand(L"/create /embed " + Quoted(probe), output, kShipped), 0u);
    }
    EXPECT_TRUE(
        output.ends_with(OutputLines(L"The visual style was added to the program's own manifest.\r"
                                     L"The program as it was is kept as probe.exe.bak.")))
        << output;
    EXPECT_EQ(test::ReadFileBytesIfAny(probe + L".bak"), original);
    EXPECT_EQ(test::RunProbe(probe), test::kCommonControls6);
    {
        const Step step("/remove it", 60);
        EXPECT_EQ(RunCommand(L"/remove " + Quoted(probe), output, kShipped), 0u);
    }
    EXPECT_EQ(test::ReadFileBytesIfAny(probe), original);
    EXPECT_FALSE(folder_.Names().contains(L"probe.exe.bak"));
}

TEST_F(Shipped32, UsageIsTheSameAsTheTestBuilds) {
    std::string shipped, twin;
    {
        const Step step("/?", 60);
        EXPECT_EQ(RunCommand(L"/?", shipped, kShipped), 0u);
    }
    EXPECT_EQ(RunCommand(L"/?", twin), 0u);
    EXPECT_EQ(shipped, twin);
    EXPECT_NE(shipped.find("/create"), std::string::npos) << shipped;
}

TEST_F(Shipped32, TheWindowBrowsesTakesADropCreatesAndCloses) {
    std::optional<RunningApp> app;
    {
        const Step step("window with a program from the command line", 90);
        app.emplace(L"", kShipped, test::FirstShown::window, Quoted(i386_));
        ASSERT_TRUE(app->started());
        EXPECT_TRUE(test::WaitUntil([&] { return !app->StatusText().empty(); }, 30000));
    }
    BOOL emulated = FALSE; // a 32-bit process, as the stage means it to be
    EXPECT_TRUE(IsWow64Process(app->process(), &emulated) && emulated);
    EXPECT_EQ(app->StatusText(), CurrentSystemDescription());
    EXPECT_EQ(test::WindowText(app->PathBox()), i386_);
    {
        const Step step("Browse opens the file dialog, Cancel closes it", 90);
        app->Click(app->Button(L"Browse"));
        const auto dialog = test::FileDialog::WaitFor(app->processId(), 60000);
        ASSERT_TRUE(dialog.has_value()) << "no file dialog";
        dialog->Cancel();
        EXPECT_TRUE(app->WaitUntilUsable(30000));
    }
    EXPECT_EQ(test::WindowText(app->PathBox()), i386_);
    {
        const Step step("a dropped program fills the box", 60);
        app->Drop({amd64_});
        EXPECT_TRUE(test::WaitUntil([&] { return test::WindowText(app->PathBox()) == amd64_; }));
    }
    {
        const Step step("Creat, its message and OK", 60);
        app->Click(app->Button(L"Creat"));
        const auto box = test::ReadAndDismissOkBox(app->processId(), 30000);
        ASSERT_TRUE(box.has_value()) << "Creat showed no message";
        EXPECT_EQ(box->text, test::kSuccessMessage);
        EXPECT_TRUE(app->WaitUntilUsable(30000));
    }
    EXPECT_EQ(test::ReadFileBytesIfAny(amd64_ + L".manifest"), StyleScriptFor(kArchitectureAmd64));
    {
        const Step step("close", 60);
        EXPECT_TRUE(app->Close(30000));
    }
    DWORD exitCode = STILL_ACTIVE;
    GetExitCodeProcess(app->process(), &exitCode);
    EXPECT_EQ(exitCode, 0u);
}

// Under Wine the elevated instance starts without a consent prompt, with the
// caller's token; the folder is opened to it as to an administrator.
TEST_F(Shipped32, CreateAsAdministratorStartsTheElevatedInstance) {
    test::GuardedFolder guard(folder_.path());
    if (!guard.refusal.empty())
        GTEST_SKIP() << guard.refusal;
    std::optional<RunningApp> app;
    {
        const Step step("window with the limited token", 90);
        app.emplace(L"", kShipped, test::FirstShown::window, L"",
                    test::StartAs{.limitedToken = true});
        ASSERT_TRUE(app->started());
    }
    {
        const Step step("Creat denied asks", 60);
        app->SetPath(i386_);
        app->Click(app->Button(L"Creat"));
        const auto question = test::WaitForMessageBox(app->processId(), 30000);
        ASSERT_TRUE(question.has_value()) << "Creat showed no question";
        ASSERT_EQ(question->buttons, (std::vector<std::wstring>{L"&Yes", L"&No"}))
            << testing::PrintToString(question->text);
        guard.Open();
        test::DismissMessageBox(*question, IDYES);
    }
    {
        const Step step("Yes: the elevated instance creates and replies", 90);
        const auto told = test::WaitForMessageBox(app->processId(), 60000);
        ASSERT_TRUE(told.has_value()) << "nothing came back from the elevated instance";
        EXPECT_EQ(told->text, test::kSuccessMessage);
        test::DismissMessageBox(*told);
    }
    EXPECT_EQ(test::ReadFileBytesIfAny(i386_ + L".manifest"), StyleScriptFor(kArchitectureX86));
}

} // namespace
} // namespace sheen
