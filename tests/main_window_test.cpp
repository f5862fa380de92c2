// The real window, started as its own process and worked from outside.
#include "platform/error_text.h"
#include "stylescript/style_script.h"
#include "support/app_driver.h"
#include "support/message_box_reader.h"
#include "support/expected_texts.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <set>
#include <vector>

namespace sheen {
namespace {

using test::ControlInfo;
using test::FileDialog;
using test::ReadFileBytes;
using test::RunningApp;
using test::ScratchFolder;
using test::WaitUntil;
using test::WindowText;

const std::wstring& kSuccess = test::kSuccessMessage;

using test::Rect;

class MainWindow : public testing::Test {
  protected:
    RunningApp app_;
};

TEST_F(MainWindow, ControlsSitOnTheirPixelsAt96Dpi) {
    ASSERT_TRUE(app_.started());
    RECT client = {};
    GetClientRect(app_.main(), &client);
    EXPECT_EQ((Rect{client.left, client.top, client.right, client.bottom}), (Rect{0, 0, 294, 157}));

    // Keyed by class and caption; the status bar and the path box have no caption.
    const std::map<std::wstring, Rect> expected = {
        {L"Button:Application Information", Rect{8, 8, 273, 81}},
        {L"Static:Path: ", Rect{16, 32, 28, 13}},
        {L"Edit:", Rect{16, 48, 177, 19}},
        {L"Button:Browse", Rect{200, 40, 73, 25}},
        {L"Button:Creat", Rect{8, 104, 89, 25}},
        {L"Button:About", Rect{104, 104, 81, 25}},
        {L"Button:Help", Rect{192, 104, 73, 25}},
        {L"msctls_statusbar32:", Rect{0, 140, 294, 17}},
    };
    std::map<std::wstring, Rect> seen;
    for (const ControlInfo& control : app_.Controls())
        seen[control.windowClass + L":" + control.text] = control.rect;
    EXPECT_EQ(seen, expected);
}

TEST_F(MainWindow, FixedBorderWithMinimiseAndCloseOnly) {
    ASSERT_TRUE(app_.started());
    const LONG style = GetWindowLongW(app_.main(), GWL_STYLE);
    EXPECT_TRUE(style & WS_CAPTION);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME);
    EXPECT_EQ(WindowText(app_.main()), L"Sheenwright");

    // Minimising and restoring leaves every control where it was.
    const auto before = app_.Controls();
    ShowWindow(app_.main(), SW_MINIMIZE);
    ShowWindow(app_.main(), SW_RESTORE);
    const auto after = app_.Controls();
    ASSERT_EQ(before.size(), after.size());
    for (size_t i = 0; i < before.size(); ++i)
        EXPECT_EQ(before[i].rect, after[i].rect) << i;
}

TEST_F(MainWindow, StartsEmptyWithCreateDisabledAndFocusInThePathBox) {
    ASSERT_TRUE(app_.started());
    EXPECT_EQ(WindowText(app_.PathBox()), L"");
    EXPECT_FALSE(IsWindowEnabled(app_.Button(L"Creat")));
    for (const wchar_t* other : {L"Browse", L"About", L"Help"})
        EXPECT_TRUE(IsWindowEnabled(app_.Button(other))) << other;
    EXPECT_EQ(app_.Focus(), app_.PathBox());
    EXPECT_TRUE(GetWindowLongW(app_.PathBox(), GWL_STYLE) & ES_READONLY);
    EXPECT_FALSE(app_.StatusText().empty()) << "the status bar is filled before the window shows";

    for (const ControlInfo& control : app_.Controls()) {
        EXPECT_TRUE(control.style & WS_VISIBLE);
        // No default button, no access keys.
        if (control.windowClass == L"Button") {
            EXPECT_NE(control.style & BS_TYPEMASK, BS_DEFPUSHBUTTON);
        }
        EXPECT_EQ(control.text.find(L'&'), std::wstring::npos);
    }
}

TEST_F(MainWindow, CreateIsEnabledExactlyWhileThePathBoxHoldsText) {
    ASSERT_TRUE(app_.started());
    const HWND create = app_.Button(L"Creat");
    app_.SetPath(L"x");
    EXPECT_TRUE(IsWindowEnabled(create));
    app_.SetPath(L"");
    EXPECT_FALSE(IsWindowEnabled(create));
    app_.SetPath(L"   ");
    EXPECT_TRUE(IsWindowEnabled(create)) << "blanks count as text";
}

TEST_F(MainWindow, CreateWritesTheScriptForTheBoxsTextAndReportsIt) {
    ScratchFolder folder;
    ASSERT_TRUE(app_.started());
    const std::wstring target = folder / L"tool.exe";
    app_.SetPath(target);
    app_.Click(app_.Button(L"Creat"));

    const auto box = test::WaitForMessageBox(app_.processId());
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(box->text, kSuccess);
    test::ExpectPlainOkBox(*box);
    EXPECT_FALSE(IsWindowEnabled(app_.main())) << "the box is modal to the window";
    EXPECT_EQ(ReadFileBytes(target + L".manifest"), std::string(kStyleScript));
    test::DismissMessageBox(*box);

    // The box goes, the window comes back as it was.
    EXPECT_TRUE(app_.WaitUntilUsable());
    EXPECT_EQ(WindowText(app_.PathBox()), target);
    EXPECT_TRUE(IsWindowEnabled(app_.Button(L"Creat")));
}

TEST_F(MainWindow, CreatePassesBlanksAndCaseUnchangedAndReportsFailures) {
    ScratchFolder folder;
    ASSERT_TRUE(app_.started());
    // Nothing is trimmed, so the manifest keeps the blanks around the name.
    EXPECT_EQ(app_.Create(folder / L" Tool.EXE "), kSuccess);
    EXPECT_EQ(folder.Names(), std::set<std::wstring>{L" Tool.EXE .manifest"});
    EXPECT_EQ(app_.Create(folder / L"absent\\tool.exe"), ErrorText(ERROR_PATH_NOT_FOUND));
}

TEST_F(MainWindow, BrowsePutsTheChosenFilesFullPathIntoTheBox) {
    ScratchFolder folder;
    test::WriteFileBytes(folder / L"chosen.exe", "MZ");
    ASSERT_TRUE(app_.started());
    app_.SetPath(L"typed text");

    app_.Click(app_.Button(L"Browse"));
    auto dialog = FileDialog::WaitFor(app_.processId());
    ASSERT_TRUE(dialog.has_value());
    EXPECT_EQ(dialog->Filters(), std::vector<std::wstring>{L"Manifest Files  (*.exe)"});
    dialog->Cancel();
    ASSERT_TRUE(app_.WaitUntilUsable());
    EXPECT_EQ(WindowText(app_.PathBox()), L"typed text") << "a cancelled Browse changes nothing";

    app_.Click(app_.Button(L"Browse"));
    dialog = FileDialog::WaitFor(app_.processId());
    ASSERT_TRUE(dialog.has_value());
    dialog->Choose(folder / L"chosen.exe");
    EXPECT_TRUE(WaitUntil([&] { return WindowText(app_.PathBox()) == folder / L"chosen.exe"; }))
        << "box holds: " << testing::PrintToString(WindowText(app_.PathBox()));
    EXPECT_TRUE(IsWindowEnabled(app_.Button(L"Creat")));
}

// The longest plain path, to the last character. (Wine's own file dialog
// overruns its stack on anything longer, so longer paths cannot be tried here.)
TEST_F(MainWindow, BrowseBringsBackTheLongestPlainPathWhole) {
    ScratchFolder folder;
    std::wstring deep = folder.path();
    while (MAX_PATH - 1 - deep.size() > 80) {
        deep += L"\\" + std::wstring(60, L'd');
        ASSERT_TRUE(CreateDirectoryW(deep.c_str(), nullptr)) << GetLastError();
    }
    // The file's name takes up the rest.
    const size_t rest = MAX_PATH - 1 - deep.size() - 1;
    const std::wstring chosen = deep + L"\\" + std::wstring(rest - 4, L'f') + L".exe";
    ASSERT_EQ(chosen.size(), size_t(MAX_PATH - 1));
    test::WriteFileBytes(chosen, "MZ");
    ASSERT_TRUE(app_.started());

    app_.Click(app_.Button(L"Browse"));
    const auto dialog = FileDialog::WaitFor(app_.processId());
    ASSERT_TRUE(dialog.has_value());
    dialog->Choose(chosen);
    EXPECT_TRUE(WaitUntil([&] { return WindowText(app_.PathBox()) == chosen; }))
        << "box holds: " << testing::PrintToString(WindowText(app_.PathBox()));
}

TEST_F(MainWindow, ClosingEndsTheProgramAtOnceEvenWithAPathInTheBox) {
    ASSERT_TRUE(app_.started());
    app_.SetPath(L"C:\\Apps\\tool.exe");
    EXPECT_TRUE(app_.Close(5000));
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(app_.process(), &code);
    EXPECT_EQ(code, 0u);
}

// Files dropped from Explorer, by name inside a scratch folder that holds a
// file "tool.exe", a folder "sub", shortcuts to each ("tool.lnk", "sub.lnk"),
// one whose target is gone ("gone.lnk") and a file that only bears the name
// of one ("broken.lnk").
struct DropCase {
    const char* name;
    std::vector<std::wstring> dropped;
    const wchar_t* expected; // what the box then holds; null: it stays empty
};

void PrintTo(const DropCase& c, std::ostream* out) {
    *out << c.name;
}

class DroppedFiles : public testing::TestWithParam<DropCase> {};

TEST_P(DroppedFiles, FillThePathBoxAsBrowseDoesOrLeaveTheWindowAsItWas) {
    ScratchFolder folder;
    test::WriteFileBytes(folder / L"tool.exe", "MZ");
    ASSERT_TRUE(CreateDirectoryW((folder / L"sub").c_str(), nullptr));
    test::WriteShortcut(folder / L"tool.lnk", folder / L"tool.exe");
    test::WriteShortcut(folder / L"sub.lnk", folder / L"sub");
    test::WriteFileBytes(folder / L"gone.exe", "MZ");
    test::WriteShortcut(folder / L"gone.lnk", folder / L"gone.exe");
    DeleteFileW((folder / L"gone.exe").c_str());
    test::WriteFileBytes(folder / L"broken.lnk", "not a shortcut");
    const std::set<std::wstring> before = folder.Names();
    RunningApp app;
    ASSERT_TRUE(app.started());
    EXPECT_TRUE(GetWindowLongW(app.main(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES)
        << "Explorer drops only on windows that accept files";

    std::vector<std::wstring> paths;
    for (const std::wstring& name : GetParam().dropped)
        paths.push_back(folder / name);
    app.Drop(paths);
    const bool filled = GetParam().expected != nullptr;
    EXPECT_EQ(WindowText(app.PathBox()), filled ? folder / GetParam().expected : L"");
    EXPECT_EQ(IsWindowEnabled(app.Button(L"Creat")) != FALSE, filled);
    EXPECT_EQ(folder.Names(), before) << "nothing written";
}

INSTANTIATE_TEST_SUITE_P(
    FromExplorer, DroppedFiles,
    testing::Values(DropCase{"OneFile", {L"tool.exe"}, L"tool.exe"},
                    DropCase{"SeveralFilesGiveTheFirst", {L"tool.exe", L"other.exe"}, L"tool.exe"},
                    DropCase{"AFolderOnlyChangesNothing", {L"sub"}, nullptr},
                    DropCase{
                        "AFolderBeforeAFileGivesTheFile", {L"sub", L"other.exe"}, L"other.exe"},
                    DropCase{"NonAsciiAndBlanks",
                             {L" Gr\u00f6\u00dfe \u7a0b\u5e8f.exe"},
                             L" Gr\u00f6\u00dfe \u7a0b\u5e8f.exe"},
                    DropCase{"AShortcutGivesItsTarget", {L"tool.lnk"}, L"tool.exe"},
                    DropCase{"AShortcutToAFolderChangesNothing", {L"sub.lnk"}, nullptr},
                    DropCase{"AShortcutToNothingChangesNothing", {L"gone.lnk"}, nullptr},
                    DropCase{"AFileNamedLikeAShortcutChangesNothing", {L"broken.lnk"}, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

// Sheenwright opened with a program: Explorer's "Open with", a drop on its
// icon, or Send To, all of which put the program on the command line.
struct CommandLineCase {
    const char* name;
    const wchar_t* arguments; // "%" stands for the scratch folder
    const wchar_t* expected;  // likewise; null: where "%\\tool.lnk" points
};

void PrintTo(const CommandLineCase& c, std::ostream* out) {
    *out << c.name;
}

class StartedWithAPath : public testing::TestWithParam<CommandLineCase> {};

TEST_P(StartedWithAPath, ShowsItInThePathBoxAndWritesNothing) {
    ScratchFolder folder;
    test::WriteShortcut(folder / L"tool.lnk", test::ProgramPath());
    const auto expand = [&](std::wstring text) {
        for (size_t at; (at = text.find(L'%')) != std::wstring::npos;)
            text.replace(at, 1, folder.path());
        return text;
    };
    RunningApp app(folder.path(), test::ProgramPath(), test::FirstShown::window,
                   expand(GetParam().arguments));
    ASSERT_TRUE(app.started());
    const std::wstring expected =
        GetParam().expected ? expand(GetParam().expected) : test::ProgramPath();
    EXPECT_EQ(WindowText(app.PathBox()), expected);
    EXPECT_EQ(IsWindowEnabled(app.Button(L"Creat")) != FALSE, !expected.empty());
    EXPECT_EQ(folder.Names(), std::set<std::wstring>{L"tool.lnk"}) << "nothing written";
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, StartedWithAPath,
    testing::Values(CommandLineCase{"QuotedWithBlanks", L"\"%\\Sample App\\tool one.exe\"",
                                    L"%\\Sample App\\tool one.exe"},
                    CommandLineCase{"Unquoted", L"C:\\Apps\\tool.exe", L"C:\\Apps\\tool.exe"},
                    CommandLineCase{"EmptyQuotes", L"\"\"", L""},
                    CommandLineCase{"TwoPathsGiveTheFirst", L"\"%\\one.exe\" %\\two.exe",
                                    L"%\\one.exe"},
                    CommandLineCase{"AShortcutGivesItsTarget", L"%\\tool.lnk", nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace sheen
