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

// What happens to the manifest before the removal, in order.
enum Step { kFirstManifest, kSecondManifest, kCreate, kBackupAged, kBackupReadOnly, kBackupHeld };

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
    };
    for (const Case& c : cases) {
        ScratchFolder folder;
        const std::wstring tool = folder / L"tool.exe", manifest = folder / manifestName;
        WriteFileBytes(tool, program);
        UniqueFile held;
        for (const Step step : c.before) {
            if (step == kFirstManifest || step == kSecondManifest)
                WriteFileBytes(manifest, step == kFirstManifest ? kFirst : kSecond);
            else if (step == kCreate)
                ASSERT_EQ(WriteStyleScriptFile(tool).error, DWORD(ERROR_SUCCESS)) << c.what;
            else if (step == kBackupAged)
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
        EXPECT_EQ(test::RunCommand(L"/Remove " + test::Quoted(tool), output), c.exitCode) << c.what;
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

} // namespace
} // namespace sheen
