// The changed program takes the old one's place so that no failure of the
// replace, and no second run beside it, leaves the name without a whole
// program, or the new program without its backup.
#include "platform/error_text.h"
#include "stylescript/program_update.h"
#include "support/app_driver.h"
#include "support/expected_texts.h"
#include "support/program_image.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <set>

namespace sheen {
namespace {

using test::MakeProbe;
using test::ReadFileBytes;
using test::ReadFileBytesIfAny;
using test::ScratchFolder;

const std::wstring kFaultyProgram = test::BesideThisProgram(L"sheenwright_faulty.exe");

// The program's name holds the old bytes and nothing beside it but the
// script, or the new bytes beside the old ones' backup.
void ExpectWholeProgram(const ScratchFolder& folder, const std::string& original,
                        const std::string& changed, bool changes, const char* what) {
    const std::wstring tool = folder / L"tool.exe";
    EXPECT_EQ(ReadFileBytesIfAny(tool), changes ? changed : original) << what;
    std::set<std::wstring> names = {L"tool.exe", L"tool.exe.manifest"};
    if (changes) {
        names.insert(L"tool.exe.bak");
        EXPECT_EQ(ReadFileBytesIfAny(tool + L".bak"), original) << what;
    }
    EXPECT_EQ(folder.Names(), names) << what;
}

TEST(ProgramSwap, EveryStateAFailedReplaceLeavesEndsWithAWholeProgram) {
    std::string changed; // what a replace that works leaves: the same bytes every time
    {
        ScratchFolder folder;
        MakeProbe(folder / L"tool.exe");
        std::string output;
        ASSERT_EQ(test::RunCommand(L"/create /embed " + test::Quoted(folder / L"tool.exe"), output),
                  0u)
            << output;
        changed = ReadFileBytes(folder / L"tool.exe");
    }
    struct Case {
        const wchar_t* standIn; // app/fault_injection.cpp
        DWORD exitCode;
        bool changes;
    };
    const Case cases[] = {
        {L"ReplacedGone", ERROR_SUCCESS, true},  // the new program moved into the empty name
        {L"ReplacedAside", ERROR_SUCCESS, true}, // likewise, the old one set aside deleted
        {L"DoneButFailed", ERROR_SUCCESS, true}, // read back, it is done
        {L"ReplacementLost", ERROR_UNABLE_TO_MOVE_REPLACEMENT_2, false}, // the old one back
    };
    for (const Case& c : cases) {
        ScratchFolder folder;
        MakeProbe(folder / L"tool.exe");
        const std::string original = ReadFileBytes(folder / L"tool.exe");
        SetEnvironmentVariableW(L"SHEENWRIGHT_REPLACE", c.standIn);
        std::string output;
        EXPECT_EQ(test::RunCommand(L"/create /embed " + test::Quoted(folder / L"tool.exe"), output,
                                   kFaultyProgram),
                  c.exitCode)
            << testing::PrintToString(c.standIn) << output;
        SetEnvironmentVariableW(L"SHEENWRIGHT_REPLACE", nullptr);
        ExpectWholeProgram(folder, original, changed, c.changes,
                           testing::PrintToString(c.standIn).c_str());
    }
}

// A run that fails after another began takes back no backup the other needs.
TEST(ProgramSwap, TwoRunsAtOnceEndWithTheProgramChangedBesideItsBackup) {
    ScratchFolder folder;
    const std::wstring tool = folder / L"tool.exe";
    MakeProbe(tool);
    const std::string original = ReadFileBytes(tool);
    ASSERT_TRUE(ResetEvent(test::StallRelease()));
    // The first waits once its backup and its copy are written, then fails.
    SetEnvironmentVariableW(L"SHEENWRIGHT_STALL", L"ProgramCopyWritten");
    SetEnvironmentVariableW(L"SHEENWRIGHT_FAULT", L"ProgramCopyWritten");
    const test::StartedProgram first =
        test::StartProgram(kFaultyProgram, L"/create /embed " + test::Quoted(tool));
    SetEnvironmentVariableW(L"SHEENWRIGHT_STALL", nullptr);
    SetEnvironmentVariableW(L"SHEENWRIGHT_FAULT", nullptr);
    ASSERT_TRUE(first.process);
    for (int wait = 0; wait < 400 && folder.Names().size() < 4; ++wait)
        Sleep(50); // the program, its script, its backup and the copy
    EXPECT_EQ(folder.Names().size(), 4u) << "the first did not stall with its copy";
    const test::StartedProgram second =
        test::StartProgram(test::ProgramPath(), L"/create /embed " + test::Quoted(tool));
    ASSERT_TRUE(second.process);
    // Time for the second to run ahead, were it not to wait its turn.
    WaitForSingleObject(second.process.get(), 3000);
    SetEvent(test::StallRelease());
    DWORD firstCode = 0;
    DWORD secondCode = 0;
    EXPECT_EQ(WaitForSingleObject(first.process.get(), 60000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(second.process.get(), 120000), WAIT_OBJECT_0);
    GetExitCodeProcess(first.process.get(), &firstCode);
    GetExitCodeProcess(second.process.get(), &secondCode);
    EXPECT_EQ(firstCode, DWORD(ERROR_NOT_SUPPORTED));
    EXPECT_EQ(secondCode, 0u);
    EXPECT_NE(ReadFileBytes(tool), original);
    EXPECT_EQ(ReadFileBytesIfAny(tool + L".bak"), original);
    EXPECT_EQ(folder.Names(),
              (std::set<std::wstring>{L"tool.exe", L"tool.exe.bak", L"tool.exe.manifest"}));
}

} // namespace
} // namespace sheen
