// The real window's status line under the systems Wine can pretend to be, and
// the About and Help boxes.
#include "support/app_driver.h"
#include "support/message_box_reader.h"
#include "support/registry_value.h"

#include <gtest/gtest.h>

namespace sheen {
namespace {

using test::RegistryValueScope;
using test::RunningApp;
using test::WaitUntil;

struct SystemCase {
    const wchar_t* wineVersion; // Wine's per-program version setting
    const wchar_t* statusLine;
};

void PrintTo(const SystemCase& c, std::ostream* out) {
    *out << testing::PrintToString(std::wstring(c.wineVersion));
}

class StatusLineUnderWine : public testing::TestWithParam<SystemCase> {};

TEST_P(StatusLineUnderWine, DescribesTheSystemWineReports) {
    const RegistryValueScope version(HKEY_CURRENT_USER,
                                     L"Software\\Wine\\AppDefaults\\Sheenwright.exe", L"Version",
                                     GetParam().wineVersion);
    RunningApp app;
    ASSERT_TRUE(app.started());
    EXPECT_EQ(app.StatusText(), GetParam().statusLine);
}

// What Wine reports for each: winxp 5.1.2600, win2k 5.0.2195, nt40 4.0.1381,
// win98 platform 1 with 4.10 and build 2222, win7 6.1.7601, win10 10.0.18362.
INSTANTIATE_TEST_SUITE_P(
    Systems, StatusLineUnderWine,
    testing::Values(SystemCase{L"winxp", L"Windows XP, Version: 5, Build: 2600"},
                    SystemCase{L"win2k", L"Windows XP, Version: 5, Build: 2195"},
                    SystemCase{L"nt40", L"Windows NT, Version: 4, Build: 1381"},
                    SystemCase{L"win98", L"Windows 95/98/Me, Version: 4, Build: 2222"},
                    SystemCase{L"win7", L"Windows XP, Version: 6, Build: 7601"},
                    SystemCase{L"win10", L"Windows XP, Version: 10, Build: 18362"}),
    [](const auto& info) {
        const std::wstring name = info.param.wineVersion;
        return std::string(name.begin(), name.end());
    });

// Without a version setting of its own, Wine takes the build from the registry.
TEST(StatusLineOverflow, BuildAbove32767IsReportedAndTheWindowStillWorks) {
    const std::wstring key = L"Software\\Microsoft\\Windows NT\\CurrentVersion";
    const RegistryValueScope buildNumber(HKEY_LOCAL_MACHINE, key, L"CurrentBuildNumber", L"40000");
    const RegistryValueScope build(HKEY_LOCAL_MACHINE, key, L"CurrentBuild", L"40000");

    RunningApp app(L"", test::ProgramPath(), test::FirstShown::message);
    // The error comes while the window loads, before it is shown.
    const auto box = test::WaitForMessageBox(app.processId());
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(box->text, L"Overflow");
    test::ExpectPlainOkBox(*box, true);
    test::DismissMessageBox(*box);
    ASSERT_TRUE(app.WaitForWindow());
    EXPECT_EQ(app.StatusText(), L"");
    app.SetPath(L"C:\\Apps\\tool.exe");
    EXPECT_TRUE(IsWindowEnabled(app.Button(L"Creat")));
    EXPECT_TRUE(app.Close());
}

struct MessageCase {
    const wchar_t* button;
    const wchar_t* text;
    bool icon;
};

void PrintTo(const MessageCase& c, std::ostream* out) {
    *out << testing::PrintToString(std::wstring(c.button));
}

class FixedMessage : public testing::TestWithParam<MessageCase> {};

TEST_P(FixedMessage, ShowsItsTextInAModalOkBoxAndChangesNothing) {
    RunningApp app;
    ASSERT_TRUE(app.started());
    app.SetPath(L"C:\\Apps\\tool.exe");
    const auto before = app.Controls();

    app.Click(app.Button(GetParam().button));
    const auto box = test::WaitForMessageBox(app.processId());
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(box->text, GetParam().text);
    test::ExpectPlainOkBox(*box, GetParam().icon);
    EXPECT_FALSE(IsWindowEnabled(app.main())) << "modal to the main window";
    test::DismissMessageBox(*box);

    ASSERT_TRUE(app.WaitUntilUsable());
    const auto after = app.Controls();
    ASSERT_EQ(before.size(), after.size());
    for (size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(before[i].text, after[i].text);
        EXPECT_EQ(before[i].rect, after[i].rect);
        EXPECT_EQ(before[i].style, after[i].style);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Buttons, FixedMessage,
    testing::Values(
        MessageCase{L"About", L"Sheenwright\rBy: Corvatt\rhttps://www.corvatt.example/", true},
        MessageCase{L"Help",
                    L"Instructions:\r"
                    L"  1)Click on the Browse button and select the file you want to apply the "
                    L"visual styles\r"
                    L"  2)Click on the Creat button\r"
                    L"Remember that the created script file must be kept in the same directory "
                    L"as the original file.",
                    false}),
    [](const auto& info) {
        const std::wstring name = info.param.button;
        return std::string(name.begin(), name.end());
    });

} // namespace
} // namespace sheen
