// Faults that need file systems of their own, set up by run_with_mounts.sh:
// a drive with no room left, a folder nobody may write, and a program nobody
// may change in a folder that takes new files.
#include "platform/error_text.h"
#include "stylescript/style_script.h"
#include "support/app_driver.h"
#include "support/expected_texts.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace sheen {
namespace {

using test::NamesIn;
using test::ReadFileBytes;
using test::RunningApp;
using test::WriteFileBytes;

const std::string kEarlier = "<earlier manifest/>\r\n";

std::wstring Setting(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::wstring(value, value + std::strlen(value)) : std::wstring();
}

// Skips with the reason the mounts could not be made, never passes silently.
#define SKIP_WITHOUT(folder)                                                                       \
    if ((folder).empty())                                                                          \
    GTEST_SKIP() << "no such file system here: "                                                   \
                 << (std::getenv("SHEEN_MOUNT_REFUSED") ? std::getenv("SHEEN_MOUNT_REFUSED")       \
                                                        : "not run by run_with_mounts.sh")

// Writes to `path` until the drive refuses another byte.
void FillDrive(const std::wstring& path) {
    const UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file);
    const std::string chunk(512, 'f');
    DWORD written = 0;
    while (WriteFile(file.get(), chunk.data(), DWORD(chunk.size()), &written, nullptr) &&
           written == chunk.size()) {
    }
    while (WriteFile(file.get(), "f", 1, &written, nullptr) && written == 1) {
    }
}

class FullDrive : public testing::TestWithParam<bool> {};

TEST_P(FullDrive, KeepsTheEarlierManifestAndWorksOnceThereIsRoom) {
    const std::wstring drive = Setting("SHEEN_SMALL_DRIVE");
    SKIP_WITHOUT(drive);
    const bool withEarlier = GetParam();
    const std::wstring manifest = drive + L"\\tool.exe.manifest";
    const std::wstring filler = drive + L"\\filler.bin";
    if (withEarlier)
        WriteFileBytes(manifest, kEarlier);
    FillDrive(filler);

    RunningApp app;
    ASSERT_TRUE(app.started());
    EXPECT_EQ(app.Create(drive + L"\\tool.exe"), ErrorText(ERROR_DISK_FULL));
    std::set<std::wstring> expected = {L"filler.bin"};
    if (withEarlier) {
        expected.insert(L"tool.exe.manifest");
        EXPECT_EQ(ReadFileBytes(manifest), kEarlier);
    }
    EXPECT_EQ(NamesIn(drive), expected) << "no temporary file stays";

    DeleteFileW(filler.c_str());
    const std::wstring kept = L"tool.exe.manifest.bak";
    EXPECT_EQ(app.Create(drive + L"\\tool.exe"),
              test::kSuccessMessage + (withEarlier ? test::BackupNote(kept) : L""));
    EXPECT_EQ(ReadFileBytes(manifest), std::string(kStyleScript));
    expected = {L"tool.exe.manifest"};
    if (withEarlier) {
        expected.insert(kept);
        EXPECT_EQ(ReadFileBytes(manifest + L".bak"), kEarlier);
    }
    EXPECT_EQ(NamesIn(drive), expected);
    for (const std::wstring& name : expected)
        DeleteFileW((drive + L"\\" + name).c_str());
}

INSTANTIATE_TEST_SUITE_P(EarlierManifest, FullDrive, testing::Bool(),
                         [](const auto& info) { return info.param ? "Present" : "Absent"; });

TEST(ReadOnlyFolder, RefusesAndKeepsTheEarlierManifest) {
    const std::wstring folder = Setting("SHEEN_READONLY_FOLDER");
    SKIP_WITHOUT(folder);
    RunningApp app;
    ASSERT_TRUE(app.started());
    const std::wstring message = app.Create(folder + L"\\tool.exe");
    EXPECT_TRUE(message == ErrorText(ERROR_ACCESS_DENIED) ||
                message == ErrorText(ERROR_WRITE_PROTECT))
        << testing::PrintToString(message);
    EXPECT_EQ(ReadFileBytes(folder + L"\\tool.exe.manifest"), kEarlier);
    EXPECT_EQ(NamesIn(folder), std::set<std::wstring>{L"tool.exe.manifest"});
}

TEST(ReadOnlyProgram, GetsItsScriptAndTheNoteThatWindowsMaySeeItOnlyAfterARestart) {
    const std::wstring program = Setting("SHEEN_PROTECTED_PROGRAM");
    SKIP_WITHOUT(program);
    RunningApp app;
    ASSERT_TRUE(app.started());
    const std::string bytes = ReadFileBytes(program);
    EXPECT_EQ(app.Create(program), test::kSuccessMessage + test::kRestartNote);
    EXPECT_EQ(ReadFileBytes(program + L".manifest"), StyleScriptFor(kArchitectureAmd64));
    EXPECT_EQ(ReadFileBytes(program), bytes);
}

} // namespace
} // namespace sheen
