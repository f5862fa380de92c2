// Create where Windows guards the program's folder, and the relay to the
// elevated instance.
#include "app/administrator_relay.h"
#include "app/outcome_text.h"
#include "platform/error_text.h"
#include "platform/unique_handle.h"
#include "stylescript/style_script.h"
#include "stylescript/style_script_writer.h"
#include "support/app_driver.h"
#include "support/expected_texts.h"
#include "support/message_box_reader.h"
#include "support/program_image.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

namespace sheen {
namespace {

using test::RunningApp;
using test::ScratchFolder;
using Action = StyleScriptAction;

const HWND kWindow = reinterpret_cast<HWND>(UINT_PTR(0x10A2C));
const std::string kEarlier = "<earlier manifest/>\r\n";
const std::wstring kFaultyProgram = test::BesideThisProgram(L"sheenwright_faulty.exe");

// A window of this process, as the elevated instance sends its reply from one.
class SenderWindow {
  public:
    SenderWindow()
        : window_(CreateWindowExW(0, L"Static", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr,
                                  nullptr)) {}
    HWND get() const { return window_.get(); }

  private:
    UniqueWindow window_;
};

TEST(RelayWait, BelievesOnlyTheFirstWholeReplyOfItsInstanceThatAgreesWithItsExitCode) {
    const SenderWindow sender;
    const RelayRequest request = NewRelayRequest(kCreatePlan, kWindow);
    StyleScriptOutcome kept, other;
    kept.backupName = L"tool.exe.manifest.bak";
    other.backupName = L"tool.exe.manifest.bak2";
    const std::wstring keptText = StyleScriptOutcomeText(kept);
    const std::wstring denied = ErrorText(ERROR_ACCESS_DENIED);
    const DWORD self = GetCurrentProcessId();
    struct Case {
        const char* what;
        DWORD awaited;     // the process the window started
        ULONGLONG request; // the number a reply carries
        DWORD cut;         // bytes a reply lacks
        DWORD exitCode;
        std::wstring told;
        bool sent = true;
        bool early = false; // sent while the shell still starts the instance
    };
    const Case cases[] = {
        {"the instance's reply", self, request.nonce, 0, 0, keptText},
        {"its reply before it is known", self, request.nonce, 0, 0, keptText, true, true},
        {"another process's", self + 4, request.nonce, 0, ERROR_ACCESS_DENIED, denied},
        {"another request's", self, request.nonce ^ 1, 0, ERROR_ACCESS_DENIED, denied},
        {"a cut reply", self, request.nonce, 1, ERROR_ACCESS_DENIED, denied},
        {"one the exit code belies", self, request.nonce, 0, ERROR_ACCESS_DENIED, denied},
        {"no reply", self, request.nonce, 0, 0, test::kSuccessMessage, false},
    };
    for (const Case& c : cases) {
        RelayWait wait;
        RelayReply reply(c.request, kCreatePlan, {kept});
        COPYDATASTRUCT data = reply.data();
        data.cbData -= c.cut;
        EXPECT_FALSE(wait.Receive(sender.get(), data)) << "before the wait: " << c.what;
        wait.Begin(request);
        if (!c.early)
            wait.Started(c.awaited);
        if (c.sent) {
            const bool awaited =
                (c.early || c.awaited == self) && c.request == request.nonce && !c.cut;
            EXPECT_EQ(wait.Receive(sender.get(), data), awaited) << c.what;
            RelayReply second(c.request, kCreatePlan, {other});
            if (awaited) {
                EXPECT_FALSE(wait.Receive(sender.get(), second.data())) << "a second: " << c.what;
            }
        }
        if (c.early)
            wait.Started(c.awaited);
        EXPECT_EQ(RequestOutcomeText(wait.End(c.exitCode)), c.told) << c.what;
    }
    // Without a reply, a success says no more than its exit code: a removal may
    // have found nothing to take away, a program update nothing to add.
    const std::pair<Action, std::wstring> unreported[] = {
        {Action::remove,
         L"The program has no style script any more; the administrator's run did not say more."},
        {Action::embed, L"The administrator's run ended without an error; it did not say more."}};
    for (const auto& [action, told] : unreported) {
        RelayWait wait;
        wait.Begin(NewRelayRequest(PlanOf(action), kWindow));
        EXPECT_EQ(RequestOutcomeText(wait.End(0)), told);
    }
}

TEST(AdministratorPath, IsTheFileTriedWithTheSessionsOwnDrivesResolved) {
    ScratchFolder folder;
    // A SUBST drive; under Wine its files cannot be opened, but it reads back.
    ASSERT_TRUE(DefineDosDeviceW(0, L"Q:", folder.path().c_str()));
    struct Case {
        std::wstring tried, handedOver;
    };
    const Case cases[] = {
        {L"Q:\\App\\tool.exe", folder / L"App\\tool.exe"},
        {L"\\\\?\\Q:\\tool.exe", L"\\\\?\\" + folder / L"tool.exe"},
        {L"C:\\Apps\\tool.exe. ", L"C:\\Apps\\tool.exe. "}, // its script is tool.exe. .manifest
        {L"C:\\Apps\\.\\..\\tool.exe", L"C:\\tool.exe"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PathForAdministrator(c.tried), c.handedOver) << testing::PrintToString(c.tried);
    DefineDosDeviceW(DDD_REMOVE_DEFINITION, L"Q:", nullptr);
}

const HANDLE kStallRelease = test::StallRelease();

// Lets the test build's elevated instance go on, once, at the end of the scope
// at the latest; until then it waits as it starts (app/fault_injection.h).
// Nothing of it outlives the test.
class StalledInstance {
  public:
    StalledInstance() {
        EXPECT_TRUE(ResetEvent(kStallRelease)) << "no stall";
        SetEnvironmentVariableW(L"SHEENWRIGHT_STALL", L"RunRelayedRequest");
    }
    ~StalledInstance() {
        SetEnvironmentVariableW(L"SHEENWRIGHT_STALL", nullptr);
        Release();
        EXPECT_EQ(WaitForSingleObject(instance_.get(), 20000), WAIT_OBJECT_0) << "it ended";
    }
    // The instance the program `parentId` started; 0 if none did.
    DWORD StartedBy(DWORD parentId) {
        const DWORD id = test::WaitForChildProcess(parentId);
        instance_.reset(OpenProcess(SYNCHRONIZE, FALSE, id));
        return id;
    }
    void Release() const { SetEvent(kStallRelease); }

  private:
    UniqueKernelHandle instance_;
};

// A folder only an administrator may write, with a manifest in it to keep.
class GuardedProgramFolder : public testing::Test {
  protected:
    void SetUp() override {
        test::WriteFileBytes(manifest_, kEarlier);
        guard_.emplace(folder_.path());
        if (!guard_->refusal.empty())
            GTEST_SKIP() << guard_->refusal;
    }

    // Presses Create for `program` in a Sheenwright that is not elevated;
    // returns its question.
    test::MessageBoxView Ask(const RunningApp& app, const std::wstring& program) {
        app.SetPath(program);
        app.Click(app.Button(L"Creat"));
        return test::WaitForMessageBox(app.processId()).value_or(test::MessageBoxView{});
    }
    test::MessageBoxView Ask(const RunningApp& app) { return Ask(app, folder_ / L"tool.exe"); }

    // Answers Yes (or `answer`); returns what the window then tells, once it is dismissed.
    std::wstring Yes(const RunningApp& app, const test::MessageBoxView& question,
                     int answer = IDYES) {
        test::DismissMessageBox(question, answer);
        const auto told = test::ReadAndDismissOkBox(app.processId());
        EXPECT_TRUE(app.WaitUntilUsable());
        EXPECT_TRUE(app.ShowsNoMessage()) << "said once, and asked no more";
        return told ? told->text : L"(nothing)";
    }

    static RunningApp Limited(const std::wstring& program = test::ProgramPath()) {
        return RunningApp(L"", program, test::FirstShown::window, L"", {.limitedToken = true});
    }

    ScratchFolder folder_;
    const std::wstring manifest_ = folder_ / L"tool.exe.manifest";
    std::optional<test::GuardedFolder> guard_;
};

TEST_F(GuardedProgramFolder, AsksWhetherToCreateAsAdministratorAndNoEndsIt) {
    const RunningApp app = Limited();
    const test::MessageBoxView question = Ask(app);
    // The system's words, then one line of the program's own; Yes and No, no icon.
    const std::wstring denied = ErrorText(ERROR_ACCESS_DENIED) + L"\r";
    EXPECT_EQ(question.text.substr(0, denied.size()), denied);
    EXPECT_GT(question.text.size(), denied.size());
    EXPECT_EQ(question.text.find(L'\r', denied.size()), std::wstring::npos);
    test::ExpectYesNoQuestion(question);

    test::DismissMessageBox(question, IDNO);
    EXPECT_TRUE(app.WaitUntilUsable());
    EXPECT_TRUE(app.ShowsNoMessage());
    EXPECT_EQ(folder_.Names(), std::set<std::wstring>{L"tool.exe.manifest"});
}

TEST_F(GuardedProgramFolder, YesTellsWhatTheElevatedCreateDidDeniedOrWithItsBackup) {
    const RunningApp app = Limited();
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

TEST_F(GuardedProgramFolder, ARemovalDeniedIsOfferedAsAdministratorToo) {
    guard_->Open();
    ASSERT_EQ(WriteStyleScriptFile(folder_ / L"tool.exe").error, DWORD(ERROR_SUCCESS));
    guard_.emplace(folder_.path());
    const RunningApp app = Limited();
    test::DismissMessageBox(Ask(app), IDYES); // take it away
    const auto question = test::WaitForMessageBox(app.processId());
    ASSERT_TRUE(question.has_value());
    EXPECT_EQ(question->text, ErrorText(ERROR_ACCESS_DENIED) +
                                  L"\rDo you want to remove the style script as administrator?");
    guard_->Open();
    EXPECT_EQ(Yes(app, *question),
              test::kRemovedMessage + test::RestoredNote(L"tool.exe.manifest.bak"));
    EXPECT_EQ(folder_.Names(), std::set<std::wstring>{L"tool.exe.manifest"});
    EXPECT_EQ(test::ReadFileBytes(manifest_), kEarlier);
}

// One press of Creat for a program whose own manifest wins: one question
// covers the script and the program, and one administrator's run does what
// the answer asked.
TEST_F(GuardedProgramFolder, OneQuestionAndOneAdministratorsRunForTheScriptAndTheProgram) {
    const std::wstring tool = folder_ / L"tool.exe";
    const std::wstring script = L"Style script created successfully.\r"
                                L"Note: The created script file must be kept in the same "
                                L"directory as the .exe file!\r"
                                L"The earlier manifest was kept as tool.exe.manifest.bak.\r"
                                L"Windows uses the program's own embedded manifest instead of "
                                L"this file.";
    struct Case {
        int answer;
        std::wstring told;
        DWORD controls;   // what the program then gets
        std::string runs; // the steps the administrator's runs passed, in order
    };
    const Case cases[] = {
        {IDYES,
         script + L"\rThe visual style was added to the program's own manifest.\r"
                  L"The program as it was is kept as tool.exe.bak.",
         test::kCommonControls6, "RunRelayedRequest\nProgramCopyWritten\n"},
        {IDNO, script, test::kOldControls, "RunRelayedRequest\n"},
    };
    ScratchFolder logs;
    for (const Case& c : cases) {
        guard_->Open();
        test::WriteFileBytes(manifest_, kEarlier);
        DeleteFileW((manifest_ + L".bak").c_str());
        test::MakeProbe(tool);
        const std::string original = test::ReadFileBytes(tool);
        guard_.emplace(folder_.path());
        const std::wstring log = logs / (L"runs" + std::to_wstring(c.answer));
        SetEnvironmentVariableW(L"SHEENWRIGHT_RUN_LOG", log.c_str());
        const RunningApp app = Limited(kFaultyProgram);
        const test::MessageBoxView question = Ask(app);
        EXPECT_EQ(question.text,
                  ErrorText(ERROR_ACCESS_DENIED) +
                      L"\rDo you want to create the style script as administrator, and add the "
                      L"visual style to the program's own manifest too, which Windows reads "
                      L"instead? The program as it is now is kept as tool.exe.bak.\rYes does "
                      L"both, No creates the style script alone, Cancel does neither.");
        guard_->Open();
        EXPECT_EQ(Yes(app, question, c.answer), c.told);
        SetEnvironmentVariableW(L"SHEENWRIGHT_RUN_LOG", nullptr);
        EXPECT_EQ(test::ReadFileBytesIfAny(log), c.runs) << "one run";
        EXPECT_EQ(test::ReadFileBytes(manifest_), StyleScriptFor(kArchitectureAmd64));
        EXPECT_EQ(test::ReadFileBytes(manifest_ + L".bak"), kEarlier);
        EXPECT_EQ(test::RunProbe(tool), c.controls);
        if (c.answer == IDYES) {
            EXPECT_EQ(test::ReadFileBytes(tool + L".bak"), original);
        }
        DeleteFileW((tool + L".bak").c_str());
    }
}

// Any program of the user's may send the window a success while it waits.
TEST_F(GuardedProgramFolder, AReplyFromAnyOtherProcessIsIgnoredAndTheInstancesShown) {
    StalledInstance stalled;
    const RunningApp app = Limited(kFaultyProgram);
    test::DismissMessageBox(Ask(app), IDYES);
    ASSERT_NE(stalled.StartedBy(app.processId()), 0u) << "the elevated instance did not start";
    const SenderWindow forger;
    RelayReply forged(0, kCreatePlan, {StyleScriptOutcome{}});
    COPYDATASTRUCT data = forged.data();
    EXPECT_FALSE(SendMessageW(app.main(), WM_COPYDATA, WPARAM(forger.get()), LPARAM(&data)));

    stalled.Release(); // the real instance, denied, replies
    const auto told = test::WaitForMessageBox(app.processId());
    ASSERT_TRUE(told.has_value());
    EXPECT_EQ(told->text, ErrorText(ERROR_ACCESS_DENIED));
    test::DismissMessageBox(*told);
}

TEST_F(GuardedProgramFolder, AShortcutInTheBoxIsTheFileTheAdministratorWrites) {
    ScratchFolder targetFolder;
    const std::wstring target = targetFolder / L"App.exe";
    test::WriteFileBytes(target, "");
    const FILETIME old = test::MakeOld(target);
    guard_->Open();
    test::WriteShortcut(folder_ / L"App.lnk", target);
    guard_.emplace(folder_.path());
    const RunningApp app = Limited();
    const test::MessageBoxView question = Ask(app, folder_ / L"App.lnk");
    guard_->Open();
    EXPECT_EQ(Yes(app, question), test::kSuccessMessage);
    EXPECT_EQ(test::ReadFileBytesIfAny(folder_ / L"App.lnk.manifest"), std::string(kStyleScript));
    EXPECT_EQ(targetFolder.Names(), std::set<std::wstring>{L"App.exe"});
    const FILETIME after = test::LastWriteTime(target);
    EXPECT_EQ(CompareFileTime(&old, &after), 0) << "the target was touched";
}

// Any program of the user's may point a link elsewhere, or rename a folder
// of the user's and put a link in its place, after the consent prompt.
TEST_F(GuardedProgramFolder, TheAdministratorWritesNowhereButInTheFolderDenied) {
    ScratchFolder user; // the user's own, links and all
    const std::wstring denied = user / L"denied", open = user / L"open";
    CreateDirectoryW(denied.c_str(), nullptr);
    CreateDirectoryW(open.c_str(), nullptr);
    test::WriteFileBytes(denied + L"\\tool.exe.manifest", kEarlier);
    test::FolderLinks links;
    ASSERT_TRUE(links.Point(user / L"link", L"denied"));
    std::optional<test::GuardedFolder> guard(denied);
    StalledInstance stalled;
    const RunningApp app = Limited(kFaultyProgram);
    test::DismissMessageBox(Ask(app, user / L"link\\tool.exe"), IDYES);
    ASSERT_NE(stalled.StartedBy(app.processId()), 0u) << "the elevated instance did not start";
    guard.reset();
    ASSERT_TRUE(MoveFileW(denied.c_str(), (user / L"moved").c_str()));
    ASSERT_TRUE(links.Point(denied, L"open"));
    ASSERT_TRUE(links.Point(user / L"link", L"open"));

    stalled.Release();
    const auto told = test::ReadAndDismissOkBox(app.processId());
    ASSERT_TRUE(told.has_value());
    EXPECT_EQ(told->text, L"The folder changed while Sheenwright was working in it.");
    EXPECT_EQ(test::NamesIn(open), std::set<std::wstring>());
    EXPECT_EQ(test::ReadFileBytes(user / L"moved\\tool.exe.manifest"), kEarlier);
}

// A screen reader's "invoke", or UI automation, clicks a button with BM_CLICK,
// which no filter of the user's input sees.
TEST_F(GuardedProgramFolder, NothingSentWhileItWaitsStartsASecondRun) {
    StalledInstance stalled;
    const RunningApp app = Limited(kFaultyProgram);
    test::DismissMessageBox(Ask(app), IDYES);
    ASSERT_NE(stalled.StartedBy(app.processId()), 0u) << "the elevated instance did not start";
    PostMessageW(app.Button(L"Creat"), BM_CLICK, 0, 0);
    PostMessageW(app.Button(L"Browse"), BM_CLICK, 0, 0);
    const auto shown = test::WaitForMessageBox(app.processId(), 3000);
    EXPECT_FALSE(shown) << "a box: " << testing::PrintToString(shown ? shown->text : L"");
    EXPECT_FALSE(test::FileDialog::WaitFor(app.processId(), 1000)) << "a file dialog";
}

TEST_F(GuardedProgramFolder, TheWindowClosesDuringAWaitThatDoesNotEnd) {
    StalledInstance stalled;
    RunningApp app = Limited(kFaultyProgram);
    test::DismissMessageBox(Ask(app), IDYES);
    ASSERT_NE(stalled.StartedBy(app.processId()), 0u);
    ASSERT_TRUE(app.WaitUntilUsable()) << "the window waits, and can be closed";
    // Alt+F4, as the user presses it, and again if it went unseen: under a
    // busy Wine the keyboard can follow the closed question a moment late.
    for (int press = 0; press < 3 && WaitForSingleObject(app.process(), 0) == WAIT_TIMEOUT;
         ++press) {
        EXPECT_TRUE(app.BringToFront());
        test::PressKey(VK_F4, VK_MENU);
        WaitForSingleObject(app.process(), 5000);
    }
    EXPECT_EQ(WaitForSingleObject(app.process(), 0), WAIT_OBJECT_0) << "the window closed";
    DWORD exitCode = 1;
    GetExitCodeProcess(app.process(), &exitCode);
    EXPECT_EQ(exitCode, 0u);
}

} // namespace
} // namespace sheen
