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

// The folder's files with their bytes.
Files FilesIn(const ScratchFolder& folder) {
    Files files;
    for (const std::wstring& name : folder.Names())
        files[name] = test::ReadFileBytesIfAny(folder / name);
    return files;
}

// What happens to the manifest before the removal, in order. The backups
// written directly are aged, as 1.00 left them: carrying no script's time.
enum Step {
    kFirstManifest,
    kSecondManifest,
    kCreate,
    kCreateAsTool,      // Create given Tool.exe
    kCreateAsUpperCase, // Create given TOOL.EXE
    kScriptAsBy100,     // the script, with no backup's time
    kFirstAsBackup,     // .bak
    kSecondAsBackup2,   // .bak2
    kScriptAsBackup2,   // .bak2, a copy of the script
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
        {"created again as TOOL.EXE: the stamp carries over, beside a later unstamped backup",
         {kFirstManifest, kCreateAsTool, kSecondAsBackup2, kCreateAsUpperCase},
         0,
         removed + test::RestoredNote(L"Tool.exe.manifest.bak"),
         Files{{manifestName, kFirst}, {bak + L"2", kSecond}}},
        {"1.00's script and its backup",
         {kScriptAsBy100, kFirstAsBackup},
         0,
         removed + test::RestoredNote(bak),
         Files{{manifestName, kFirst}}},
        {"1.00's script and two backups: the later comes back",
         {kScriptAsBy100, kFirstAsBackup, kSecondAsBackup2},
         0,
         removed + test::RestoredNote(bak + L"2"),
         Files{{manifestName, kSecond}, {bak, kFirst}}},
        {"the stamped backup wins over a higher-numbered one",
         {kFirstManifest, kCreate, kSecondAsBackup2},
         0,
         removed + test::RestoredNote(bak),
         Files{{manifestName, kFirst}, {bak + L"2", kSecond}}},
        {"a backup that is a style script never comes back",
         {kScriptAsBy100, kFirstAsBackup, kScriptAsBackup2},
         0,
         removed + test::RestoredNote(bak),
         Files{{manifestName, kFirst}, {bak + L"2", kScript}}},
    };
    const std::map<Step, std::pair<std::wstring, std::string>> written = {
        {kFirstManifest, {manifestName, kFirst}},  {kSecondManifest, {manifestName, kSecond}},
        {kScriptAsBy100, {manifestName, kScript}}, {kFirstAsBackup, {bak, kFirst}},
        {kSecondAsBackup2, {bak + L"2", kSecond}}, {kScriptAsBackup2, {bak + L"2", kScript}}};
    const std::map<Step, std::wstring> createdAs = {
        {kCreate, L"tool.exe"}, {kCreateAsTool, L"Tool.exe"}, {kCreateAsUpperCase, L"TOOL.EXE"}};
    for (const Case& c : cases) {
        ScratchFolder folder;
        const std::wstring tool = folder / L"tool.exe";
        WriteFileBytes(tool, program);
        UniqueFile held;
        for (const Step step : c.before) {
            if (const auto file = written.find(step); file != written.end()) {
                WriteFileBytes(folder / file->second.first, file->second.second);
                if (file->second.first != manifestName)
                    test::MakeOld(folder / file->second.first);
            } else if (const auto name = createdAs.find(step); name != createdAs.end()) {
                ASSERT_EQ(WriteStyleScriptFile(folder / name->second).error, DWORD(ERROR_SUCCESS))
                    << c.what;
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

        app.Click(app.Button(L"Creat"));
        const auto question = test::WaitForMessageBox(app.processId());
        ASSERT_TRUE(question.has_value());
        EXPECT_EQ(question->text, L"This program already has its style script.\rDo you want to "
                                  L"remove it and put back the earlier manifest, "
                                  L"tool.exe.manifest.bak?");
        test::ExpectYesNoQuestion(*question);
        test::DismissMessageBox(*question, answer);
        const auto told = test::ReadAndDismissOkBox(app.processId());
        ASSERT_TRUE(told.has_value());

        const FILETIME touched = test::LastWriteTime(tool);
        EXPECT_NE(CompareFileTime(&old, &touched), 0) << "Windows must look again";
        if (answer == IDYES) {
            EXPECT_EQ(told->text,
                      test::kRemovedMessage + test::RestoredNote(L"tool.exe.manifest.bak"));
            EXPECT_EQ(FilesIn(folder),
                      (Files{{L"tool.exe", program}, {L"tool.exe.manifest", kFirst}}));
        } else {
            EXPECT_EQ(told->text, test::kSuccessMessage);
            EXPECT_EQ(ReadFileBytes(manifest), StyleScriptFor("amd64"));
            EXPECT_EQ(ReadFileBytes(manifest + L".bak"), kFirst);
        }
    }
}

// A folder as 1.00's Create left it, which wrote no times: the script and the
// program's own manifest as its one backup.
TEST(RemovalInTheWindow, YesOverAFolderOf100PutsItsBackupBack) {
    const std::string program = test::ProgramBytes(IMAGE_FILE_MACHINE_I386);
    ScratchFolder folder;
    const std::wstring tool = folder / L"tool.exe";
    WriteFileBytes(tool, program);
    WriteFileBytes(tool + L".manifest", kScript);
    WriteFileBytes(tool + L".manifest.bak", kFirst);
    test::MakeOld(tool + L".manifest.bak");
    test::RunningApp app;
    app.SetPath(tool);
    app.Click(app.Button(L"Creat"));
    const auto question = test::WaitForMessageBox(app.processId());
    ASSERT_TRUE(question.has_value());
    EXPECT_EQ(question->text, L"This program already has its style script.\rDo you want to "
                              L"remove it and put back the earlier manifest, "
                              L"tool.exe.manifest.bak?");
    test::DismissMessageBox(*question, IDYES);
    const auto told = test::ReadAndDismissOkBox(app.processId());
    ASSERT_TRUE(told.has_value());
    EXPECT_EQ(told->text, test::kRemovedMessage + test::RestoredNote(L"tool.exe.manifest.bak"));
    EXPECT_EQ(FilesIn(folder), (Files{{L"tool.exe", program}, {L"tool.exe.manifest", kFirst}}));
}

// Not even an administrator may replace a read-only backup: the window says
// so, and offers nothing more.
TEST(RemovalInTheWindow, AReadOnlyBackupIsNotOfferedAsAdministrator) {
    ScratchFolder folder;
    const std::wstring tool = folder / L"tool.exe";
    WriteFileBytes(tool, test::ProgramBytes(IMAGE_FILE_MACHINE_I386));
    WriteFileBytes(tool + L".manifest", kFirst);
    ASSERT_EQ(WriteStyleScriptFile(tool).error, DWORD(ERROR_SUCCESS));
    SetFileAttributesW((tool + L".manifest.bak").c_str(), FILE_ATTRIBUTE_READONLY);
    const test::RunningApp app(L"", test::ProgramPath(), test::FirstShown::window, L"",
                               {.limitedToken = true});
    app.SetPath(tool);
    app.Click(app.Button(L"Creat"));
    const auto question = test::WaitForMessageBox(app.processId());
    ASSERT_TRUE(question.has_value());
    test::DismissMessageBox(*question, IDYES);
    const auto told = test::ReadAndDismissOkBox(app.processId());
    ASSERT_TRUE(told.has_value());
    EXPECT_EQ(told->text, ErrorText(ERROR_ACCESS_DENIED));
    SetFileAttributesW((tool + L".manifest.bak").c_str(), FILE_ATTRIBUTE_NORMAL);
}

// The slot through which this program calls DeleteFileW, as MinGW names it.
extern "C" decltype(&DeleteFileW) __imp_DeleteFileW;

// As Wine does in a folder whose entries cannot be removed.
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
    const StyleScriptOutcome outcome = RemoveStyleScriptFile(tool);
    __imp_DeleteFileW = deleteFile;
    EXPECT_EQ(outcome.error, DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(FilesIn(folder), before);
    const FILETIME touched = test::LastWriteTime(tool);
    EXPECT_EQ(CompareFileTime(&old, &touched), 0) << "the program was touched";
}

} // namespace
} // namespace sheen
