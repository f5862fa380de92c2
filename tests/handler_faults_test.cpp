// An error nobody expected, in any handler: the user is told, that handler
// ends, and the window goes on working. The test build of the program fails
// on purpose in the handler that SHEENWRIGHT_FAULT names.
#include "platform/error_text.h"
#include "support/app_driver.h"
#include "support/message_box_reader.h"

#include <gtest/gtest.h>

#include <thread>

namespace sheen {
namespace {

using test::RunningApp;
using test::WaitUntil;

// The faulty handler's name, for the programs started while it lives.
class FaultScope {
  public:
    explicit FaultScope(const wchar_t* handler) { SetEnvironmentVariableW(kName, handler); }
    FaultScope(const FaultScope&) = delete;
    FaultScope& operator=(const FaultScope&) = delete;
    ~FaultScope() { SetEnvironmentVariableW(kName, nullptr); }

  private:
    static constexpr const wchar_t* kName = L"SHEENWRIGHT_FAULT";
};

void ExpectErrorShown(const RunningApp& app) {
    const auto box = test::WaitForMessageBox(app.processId());
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(box->caption, L"Sheenwright");
    EXPECT_EQ(box->text, ErrorText(ERROR_NOT_SUPPORTED));
    EXPECT_EQ(box->buttons, std::vector<std::wstring>{L"OK"});
    test::DismissMessageBox(*box);
    EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(app.main()) != FALSE; }));
}

// The window still answers: Help shows its box, and Create is still bound.
void ExpectWindowStillWorks(RunningApp& app, bool helpIsFaulty) {
    app.Click(app.Button(helpIsFaulty ? L"About" : L"Help"));
    const auto box = test::WaitForMessageBox(app.processId());
    ASSERT_TRUE(box.has_value());
    test::DismissMessageBox(*box);
    EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(app.main()) != FALSE; }));
    EXPECT_EQ(WaitForSingleObject(app.process(), 0), DWORD(WAIT_TIMEOUT)) << "still running";
}

class HandlerFault : public testing::TestWithParam<const wchar_t*> {};

TEST_P(HandlerFault, IsShownAndEndsOnlyThatHandler) {
    const std::wstring handler = GetParam();
    const FaultScope fault(GetParam());
    RunningApp app(L"", test::BesideThisProgram(L"sheenwright_faulty.exe"));
    ASSERT_TRUE(app.started());

    if (handler == L"Text1_Change") {
        // The box opens inside the text change, so set the text from aside.
        std::thread typing([&] { app.SetPath(L"C:\\Apps\\tool.exe"); });
        ExpectErrorShown(app);
        typing.join();
        EXPECT_EQ(test::WindowText(app.PathBox()), L"C:\\Apps\\tool.exe");
        EXPECT_FALSE(IsWindowEnabled(app.Button(L"Creat")))
            << "the failed handler did not enable it";
    } else {
        app.SetPath(L"C:\\Apps\\tool.exe");
        const wchar_t* button = handler == L"cmdBrowse_Click"  ? L"Browse"
                                : handler == L"Command1_Click" ? L"Creat"
                                : handler == L"About_Click"    ? L"About"
                                                               : L"Help";
        app.Click(app.Button(button));
        ExpectErrorShown(app);
    }
    ExpectWindowStillWorks(app, handler == L"Help_Click");
}

INSTANTIATE_TEST_SUITE_P(Handlers, HandlerFault,
                         testing::Values(L"Text1_Change", L"cmdBrowse_Click", L"Command1_Click",
                                         L"About_Click", L"Help_Click"),
                         [](const auto& info) {
                             const std::wstring name = info.param;
                             return std::string(name.begin(), name.end());
                         });

TEST(HandlerFaultAtLoad, IsShownAndTheWindowOpensWithoutTheStatusLine) {
    const FaultScope fault(L"Form_Load");
    RunningApp app(L"", test::BesideThisProgram(L"sheenwright_faulty.exe"), false);
    const auto box = test::WaitForMessageBox(app.processId());
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(box->text, ErrorText(ERROR_NOT_SUPPORTED));
    test::DismissMessageBox(*box);
    ASSERT_TRUE(app.WaitForWindow());
    EXPECT_EQ(app.StatusText(), L"");
    ExpectWindowStillWorks(app, false);
    EXPECT_TRUE(app.Close());
}

} // namespace
} // namespace sheen
