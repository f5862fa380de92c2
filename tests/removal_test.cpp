// Taking the style script away again: exactly what the last Create displaced
// comes back, from the command line and through the window.
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

#include <algorithm>
#include <map>
#include <optional>
#include <utility>
#include <vector>

namespace sheen {
namespace {

using test::OutputLines;
using test::ReadFileBytes;
using test::ScratchFolder;
using test::WriteFileBytes;
using Files = std::map<std::wstring, std::string>;

const std::string kScript(kStyleScript);
const std::string kFirst = "<first foreign manifest/>\r\n";
const std::string kSecond = "<second foreign manifest, longer/>\r\n";
const std::wstring kQuestionOverBak =
    L"This program already has its style script.\rDo you want to remove it and put back the "
    L"earlier manifest, tool.exe.manifest.bak?";

// The folder's files with their bytes.
Files FilesIn(const ScratchFolder& folder) {
    Files files;
    for (const std::wstring& name : folder.Names())
        files[name] = test::ReadFileBytesIfAny(folder / name);
    return files;
}

// What happens to the manifest before the removal, in order. k100Folder
// leaves the folder as 1.00's Create did: the script, with no backup's time,
// and the first manifest as .bak; backups written directly are aged.
enum Step {
    kFirstManifest,
    kSecondManifest,
    kCreate,
    kCreateAsTool,
    k100Folder,
    kSecondAsBackup2,
    kScriptAsBackup2,
    kBackupAged,
    kBackupReadOnly,
    kBackupHeld
};

TEST(RemoveCommand, PutsBackExactlyWhatTheLastCreateDisplacedAndTouchesNothingElse) {
    const std::string program = test::ProgramBytes(IMAGE_FILE_MACHINE_I386);
    const std::wstring manifestName = L"tool.exe.manifest", bak = manifestName + L".bak";
    const std::wstring removed = test::kRemovedMessage;
    struct Case {
        const char* what;
        std::vector<Step> before;
        DWORD exitCode;
        std::wstring told;
        std::optional<Files> after; // besides tool.exe; nothing: all as before the removal
        const wchar_t* removeAs = L"tool.exe";
    };
    const Case cases[] = {
        {"ours, no backup", {kCreate}, 0, removed, Files{}},
        {"ours over a foreign one",
         {kFirstManifest, kCreate},
         0,
         removed + test::RestoredNote(bak),
         Files{{manifestName, kFirst}}},
        {"a chain of two foreign ones: the second comes back",
         {kFirstManifest, kCreate, kSecondManifest, kCreate},
         0,
         removed + test::RestoredNote(bak + L"2"),
         Files{{manifestName, kSecond}, {bak, kFirst}}},
        {"created twice: the first Create's backup still counts",
         {kFirstManifest, kCreate, kCreate},
         0,
         removed + test::RestoredNote(bak),
         Files{{manifestName, kFirst}}},
        {"a backup of the same bytes reused, though older",
         {kFirstManifest, kCreate, kBackupAged, kFirstManifest, kCreate},
         0,
         removed + test::RestoredNote(bak),
         Files{{manifestName, kFirst}}},
        {"a foreign one stays, and so do the backups",
         {kFirstManifest, kCreate, kSecondManifest},
         13,
         test::kForeignManifestMessage,
         std::nullopt},
        {"none", {}, 0, test::kNoManifestMessage, std::nullopt},
        {"a read-only backup",
         {kFirstManifest, kCreate, kBackupReadOnly},
         ERROR_ACCESS_DENIED,
         ErrorText(ERROR_ACCESS_DENIED),
         std::nullopt},
        {"a backup held by another program",
         {kFirstManifest, kCreate, kBackupHeld},
         ERROR_SHARING_VIOLATION,
         ErrorText(ERROR_SHARING_VIOLATION),
         std::nullopt},
        {"created as Tool.exe, removed as TOOL.EXE",
         {kFirstManifest, kCreateAsTool},
         0,
         removed + test::RestoredNote(L"Tool.exe.manifest.bak"),
         Files{{manifestName, kFirst}},
         L"TOOL.EXE"},
        {"stamped, its stamp carried over by tool.exe, beside a higher-numbered one: it wins",
         {kFirstManifest, kCreateAsTool, kSecondAsBackup2, kCreate},
         0,
         removed + test::RestoredNote(L"Tool.exe.manifest.bak"),
         Files{{manifestName, kFirst}, {bak + L"2", kSecond}}},
        {"1.00's script and its backup",
         {k100Folder},
         0,
         removed + test::RestoredNote(bak),
         Files{{manifestName, kFirst}}},
        {"1.00's script and two backups: the later comes back",
         {k100Folder, kSecondAsBackup2},
         0,
         removed + test::RestoredNote(bak + L"2"),
         Files{{manifestName, kSecond}, {bak, kFirst}}},
        {"a backup that is a style script never comes back",
         {k100Folder, kScriptAsBackup2},
         0,
         removed + test::RestoredNote(bak),
         Files{{manifestName, kFirst}, {bak + L"2", kScript}}},
    };
    for (const Case& c : cases) {
        ScratchFolder folder;
        const std::wstring tool = folder / L"tool.exe", manifest = folder / manifestName;
        WriteFileBytes(tool, program);
        UniqueFile held;
        for (const Step step : c.before) {
            if (step == kFirstManifest || step == kSecondManifest)
                WriteFileBytes(manifest, step == kFirstManifest ? kFirst : kSecond);
            else if (step == kCreate || step == kCreateAsTool)
                ASSERT_EQ(WriteStyleScriptFile(step == kCreate ? tool : folder / L"Tool.exe").error,
                          DWORD(ERROR_SUCCESS))
                    << c.what;
            else if (step == k100Folder) {
                WriteFileBytes(manifest, kScript);
                WriteFileBytes(folder / bak, kFirst);
                test::MakeOld(folder / bak);
            } else if (step == kSecondAsBackup2 || step == kScriptAsBackup2) {
                WriteFileBytes(folder / bak + L"2", step == kSecondAsBackup2 ? kSecond : kScript);
                test::MakeOld(folder / bak + L"2");
            } else if (step == kBackupAged)
                test::MakeOld(folder / bak);
            else if (step == kBackupReadOnly)
                SetFileAttributesW((folder / bak).c_str(), FILE_ATTRIBUTE_READONLY);
        }
        Files expected = FilesIn(folder);
        if (c.after) {
            expected = *c.after;
            expected[L"tool.exe"] = program;
        }
        if (std::ranges::count(c.before, kBackupHeld))
            held.reset(CreateFileW((folder / bak).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                   0, nullptr));
        std::string output;
        EXPECT_EQ(test::RunCommand(L"/Remove " + test::Quoted(folder / c.removeAs), output),
                  c.exitCode)
            << c.what;
        held.reset();
        EXPECT_EQ(output, OutputLines(c.told)) << c.what;
        EXPECT_EQ(FilesIn(folder), expected) << c.what;
        SetFileAttributesW((folder / bak).c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

// Creat pressed again over its own script: Yes takes it away, No writes it again.
TEST(RemovalInTheWindow, CreatAgainOffersItYesPutsTheEarlierManifestBackNoCreatesAsBefore) {
    const std::string program = test::ProgramBytes(IMAGE_FILE_MACHINE_AMD64);
    for (const int answer : {IDYES, IDNO}) {
        ScratchFolder folder;
        const std::wstring tool = folder / L"tool.exe", manifest = tool + L".manifest";
        WriteFileBytes(tool, program);
        // The X86 script stops a 64-bit program from starting: not the one
        // Create would write, so it is replaced unasked.
        WriteFileBytes(manifest, kScript);
        test::RunningApp app;
        ASSERT_EQ(app.Create(tool), test::kSuccessMessage);
        WriteFileBytes(manifest, kFirst);
        ASSERT_EQ(app.Create(tool),
                  test::kSuccessMessage + test::BackupNote(L"tool.exe.manifest.bak"));
        const FILETIME old = test::MakeOld(tool);

        const auto answered = app.CreateAnswering(answer);
        EXPECT_EQ(answered.question, kQuestionOverBak);

        const FILETIME touched = test::LastWriteTime(tool);
        EXPECT_NE(CompareFileTime(&old, &touched), 0) << "Windows must look again";
        if (answer == IDYES) {
            EXPECT_EQ(answered.told,
                      test::kRemovedMessage + test::RestoredNote(L"tool.exe.manifest.bak"));
            EXPECT_EQ(FilesIn(folder),
                      (Files{{L"tool.exe", program}, {L"tool.exe.manifest", kFirst}}));
        } else {
            EXPECT_EQ(answered.told, test::kSuccessMessage);
            EXPECT_EQ(ReadFileBytes(manifest), StyleScriptFor("amd64"));
            EXPECT_EQ(ReadFileBytes(manifest + L".bak"), kFirst);
        }
    }
}

// A folder as 1.00's Create left it, with no times: the script, and the
// program's own manifest as its one backup. While that backup is read-only,
// not even an administrator may put it back, and nothing more is offered.
TEST(RemovalInTheWindow, YesOverAFolderOf100PutsItsBackupBackOnceItMayBeReplaced) {
    const std::string program = test::ProgramBytes(IMAGE_FILE_MACHINE_I386);
    ScratchFolder folder;
    const std::wstring tool = folder / L"tool.exe", bak = tool + L".manifest.bak";
    WriteFileBytes(tool, program);
    WriteFileBytes(tool + L".manifest", kScript);
    WriteFileBytes(bak, kFirst);
    test::MakeOld(bak);
    SetFileAttributesW(bak.c_str(), FILE_ATTRIBUTE_READONLY);
    const test::RunningApp app(L"", test::ProgramPath(), test::FirstShown::window, L"",
                               {.limitedToken = true});
    app.SetPath(tool);
    for (const std::wstring& told :
         {ErrorText(ERROR_ACCESS_DENIED),
          test::kRemovedMessage + test::RestoredNote(L"tool.exe.manifest.bak")}) {
        const auto answered = app.CreateAnswering(IDYES);
        EXPECT_EQ(answered.question, kQuestionOverBak);
        EXPECT_EQ(answered.told, told);
        SetFileAttributesW(bak.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    EXPECT_EQ(FilesIn(folder), (Files{{L"tool.exe", program}, {L"tool.exe.manifest", kFirst}}));
}

// The slot through which this program calls DeleteFileW, as MinGW names it.
extern "C" decltype(&DeleteFileW) __imp_DeleteFileW;

// As Wine's does in a folder whose entries cannot be removed.
BOOL WINAPI DeleteFileThatStays(const wchar_t*) {
    return TRUE;
}

TEST(RemovalFailure, ADeletionThatLeavesTheScriptIsDeniedAndChangesNothing) {
    ScratchFolder folder;
    const std::wstring tool = folder / L"tool.exe";
    WriteFileBytes(tool, test::ProgramBytes(IMAGE_FILE_MACHINE_I386));
    ASSERT_EQ(WriteStyleScriptFile(tool).error, DWORD(ERROR_SUCCESS));
    const FILETIME old = test::MakeOld(tool);
    const Files before = FilesIn(folder);
    const auto deleteFile = std::exchange(__imp_DeleteFileW, &DeleteFileThatStays);
    EXPECT_EQ(RemoveStyleScriptFile(tool).error, DWORD(ERROR_ACCESS_DENIED));
    __imp_DeleteFileW = deleteFile;
    EXPECT_EQ(FilesIn(folder), before);
    const FILETIME touched = test::LastWriteTime(tool);
    EXPECT_EQ(CompareFileTime(&old, &touched), 0) << "the program was touched";
}

} // namespace
} // namespace sheen
