// Long use: a thousand Creates leave every file exact and the program holding
// no more handles or window objects than after the first round.
#include "stylescript/style_script.h"
#include "support/app_driver.h"
#include "support/expected_texts.h"
#include "support/message_box_reader.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace sheen {
namespace {

using test::FileDialog;
using test::RunningApp;
using test::ScratchFolder;

// What a leak would make grow. Wine answers GetProcessHandleCount and
// GetGuiResources for other processes with 0, so two counts stand in for them
// there: the program's windows, and the file descriptors its Unix process holds
// (a file handle that is never closed keeps one).
struct Footprint {
    DWORD handles = 0, gdiObjects = 0, userObjects = 0;
    int windows = 0, unixDescriptors = -1;
};

BOOL CALLBACK CountWindow(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<std::pair<DWORD, int>*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->first) {
        ++search->second;
        EnumChildWindows(window, CountWindow, context);
    }
    return TRUE;
}

// Under Wine, the Unix side of the program: the /proc entry whose command line
// names it. Empty elsewhere.
std::wstring UnixProcessFolder() {
    for (const std::wstring& pid : test::NamesIn(L"Z:\\proc")) {
        if (pid.find_first_not_of(L"0123456789") != std::wstring::npos)
            continue;
        const std::string line = test::ReadFileBytesIfAny(L"Z:\\proc\\" + pid + L"\\cmdline");
        if (line.find("\\Sheenwright.exe") != std::string::npos)
            return L"Z:\\proc\\" + pid;
    }
    return {};
}

Footprint FootprintOf(HANDLE process, DWORD processId, const std::wstring& unixProcess) {
    Footprint footprint;
    GetProcessHandleCount(process, &footprint.handles);
    footprint.gdiObjects = GetGuiResources(process, GR_GDIOBJECTS);
    footprint.userObjects = GetGuiResources(process, GR_USEROBJECTS);
    std::pair<DWORD, int> search{processId, 0};
    EnumWindows(CountWindow, reinterpret_cast<LPARAM>(&search));
    footprint.windows = search.second;
    if (!unixProcess.empty())
        footprint.unixDescriptors = static_cast<int>(test::NamesIn(unixProcess + L"\\fd").size());
    return footprint;
}

// Closed boxes take a moment to go: measure once the count of windows has
// stayed the same for a while.
Footprint SettledFootprintOf(HANDLE process, DWORD processId, const std::wstring& unixProcess) {
    Footprint last = FootprintOf(process, processId, unixProcess);
    for (int steady = 0, tries = 0; steady < 10 && tries < 400; ++tries) {
        Sleep(10);
        const Footprint now = FootprintOf(process, processId, unixProcess);
        steady = now.windows == last.windows ? steady + 1 : 0;
        last = now;
    }
    return last;
}

std::ostream& operator<<(std::ostream& out, const Footprint& f) {
    return out << "handles " << f.handles << ", GDI objects " << f.gdiObjects << ", USER objects "
               << f.userObjects << ", windows " << f.windows << ", Unix descriptors "
               << f.unixDescriptors;
}

constexpr int kRounds = 100;
constexpr int kTargets = 10;

TEST(Soak, AThousandCreatesLeaveExactFilesAndNoGrowth) {
    ScratchFolder folder;
    RunningApp app;
    ASSERT_TRUE(app.started());
    const UniqueKernelHandle query(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, app.processId()));
    const std::wstring unixProcess = UnixProcessFolder();

    Footprint afterFirstRound;
    for (int round = 0; round < kRounds; ++round) {
        for (int target = 0; target < kTargets; ++target) {
            const std::wstring path = folder / (L"tool" + std::to_wstring(target) + L".exe");
            // Creat over its own script would offer to take it away.
            DeleteFileW((path + L".manifest").c_str());
            ASSERT_EQ(app.Create(path), test::kSuccessMessage) << "round " << round;
        }
        // Between the rounds, the other things a user does.
        app.Click(app.Button(L"Browse"));
        const auto dialog = FileDialog::WaitFor(app.processId());
        ASSERT_TRUE(dialog.has_value());
        dialog->Cancel();
        ASSERT_TRUE(app.WaitUntilUsable());
        app.Click(app.Button(L"About"));
        const auto about = test::WaitForMessageBox(app.processId());
        ASSERT_TRUE(about.has_value());
        test::DismissMessageBox(*about);
        ASSERT_TRUE(app.WaitUntilUsable());
        if (round == 0)
            afterFirstRound = SettledFootprintOf(query.get(), app.processId(), unixProcess);
    }

    const Footprint atEnd = SettledFootprintOf(query.get(), app.processId(), unixProcess);
    std::cout << "after the first round: " << afterFirstRound << "\nat the end: " << atEnd << "\n";
    EXPECT_LE(atEnd.handles, afterFirstRound.handles);
    EXPECT_LE(atEnd.gdiObjects, afterFirstRound.gdiObjects);
    EXPECT_LE(atEnd.userObjects, afterFirstRound.userObjects);
    EXPECT_LE(atEnd.windows, afterFirstRound.windows);
    EXPECT_LE(atEnd.unixDescriptors, afterFirstRound.unixDescriptors);

    std::set<std::wstring> expected;
    for (int target = 0; target < kTargets; ++target)
        expected.insert(L"tool" + std::to_wstring(target) + L".exe.manifest");
    EXPECT_EQ(folder.Names(), expected) << "no temporary file stays";
    for (const std::wstring& name : expected)
        EXPECT_EQ(test::ReadFileBytes(folder / name), std::string(kStyleScript));
}

} // namespace
} // namespace sheen
