// An error nobody expected, in any handler: the user is told, that handler
// ends, and the window goes on working. The test build of the program fails
// on purpose in the handler that SHEENWRIGHT_FAULT names.
#include "app/main_window.h"
#include "platform/error_text.h"
#include "support/app_driver.h"
#include "support/message_box_reader.h"

#include <gtest/gtest.h>

#include <array>
#include <ostream>
#include <string>
#include <thread>

namespace sheen {
namespace {

using test::FirstShown;
using test::RunningApp;

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
    EXPECT_EQ(box->text, ErrorText(ERROR_NOT_SUPPORTED));
    test::ExpectPlainOkBox(*box, true);
    test::DismissMessageBox(*box);
    EXPECT_TRUE(app.WaitUntilUsable());
}

// The window still answers: Help shows its box, and Create is still bound.
void ExpectWindowStillWorks(RunningApp& app, bool helpIsFaulty) {
    app.Click(app.Button(helpIsFaulty ? L"About" : L"Help"));
    const auto box = test::WaitForMessageBox(app.processId());
    ASSERT_TRUE(box.has_value());
    test::DismissMessageBox(*box);
    EXPECT_TRUE(app.WaitUntilUsable());
    EXPECT_EQ(WaitForSingleObject(app.process(), 0), DWORD(WAIT_TIMEOUT)) << "still running";
}

// Each handler the window routes a command to, with the control that raises it.
struct RoutedHandler {
    const char* name;
    Control control;
};

constexpr auto kRoutedHandlers = [] {
    std::array<RoutedHandler, MainWindow::kCommandRoutes.size()> handlers{};
    for (size_t i = 0; i < handlers.size(); ++i)
        handlers[i] = {MainWindow::kCommandRoutes[i].name, MainWindow::kCommandRoutes[i].control};
    return handlers;
}();

void PrintTo(const RoutedHandler& handler, std::ostream* out) {
    *out << handler.name;
}

class HandlerFault : public testing::TestWithParam<RoutedHandler> {};

TEST_P(HandlerFault, IsShownAndEndsOnlyThatHandler) {
    const std::string name = GetParam().name;
    const FaultScope fault(std::wstring(name.begin(), name.end()).c_str());
    RunningApp app(L"", test::BesideThisProgram(L"sheenwright_faulty.exe"));
    ASSERT_TRUE(app.started());

    const Control control = GetParam().control;
    if (control == Control::pathBox) {
        // The box opens inside the text change, so set the text from aside.
        std::thread typing([&] { app.SetPath(L"C:\\Apps\\tool.exe"); });
        ExpectErrorShown(app);
        typing.join();
        EXPECT_EQ(test::WindowText(app.PathBox()), L"C:\\Apps\\tool.exe");
        EXPECT_FALSE(IsWindowEnabled(app.Button(L"Creat")))
            << "the failed handler did not enable it";
    } else {
        app.SetPath(L"C:\\Apps\\tool.exe");
        app.Click(app.Button(kLayout[RowOf(control)].caption));
        ExpectErrorShown(app);
    }
    ExpectWindowStillWorks(app, control == Control::helpButton);
}

INSTANTIATE_TEST_SUITE_P(Handlers, HandlerFault, testing::ValuesIn(kRoutedHandlers),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(HandlerFaultAtLoad, IsShownAndTheWindowOpensWithoutTheStatusLine) {
    const FaultScope fault(L"OnLoad");
    RunningApp app(L"", test::BesideThisProgram(L"sheenwright_faulty.exe"), FirstShown::message);
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
