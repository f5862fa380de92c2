// Writing the style script beside a target: names, bytes, and the promise that
// an earlier manifest is replaced whole or not at all.
#include "platform/error_text.h"
#include "platform/unique_handle.h"
#include "stylescript/style_script.h"
#include "stylescript/style_script_writer.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

namespace sheen {
namespace {

using test::CurrentDirectoryScope;
using test::ReadFileBytes;
using test::ScratchFolder;
using test::WriteFileBytes;
using Names = std::set<std::wstring>;

const std::string kScript(kStyleScript);
const std::string kEarlier = "<earlier manifest that must survive a failed Create/>\r\n";

TEST(StyleScriptFile, IsWrittenBesideTheTargetWithExactBytes) {
    ScratchFolder folder;
    ASSERT_EQ(WriteStyleScriptFile(folder / L"tool.exe"), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(ReadFileBytes(folder / L"tool.exe.manifest"), kScript);
    EXPECT_EQ(folder.Names(), Names{L"tool.exe.manifest"}); // nothing else, no temporary file
}

TEST(StyleScriptFile, ReplacesALongerEarlierManifestWhole) {
    ScratchFolder folder;
    WriteFileBytes(folder / L"tool.exe.manifest", std::string(10000, 'x'));
    ASSERT_EQ(WriteStyleScriptFile(folder / L"tool.exe"), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(ReadFileBytes(folder / L"tool.exe.manifest"), kScript);
    EXPECT_EQ(folder.Names(), Names{L"tool.exe.manifest"});
}

TEST(StyleScriptFile, IsTheSameForEveryTargetAndNeedsNoExistingExecutable) {
    ScratchFolder folder;
    WriteFileBytes(folder / L"real.exe", "MZ");
    ASSERT_EQ(WriteStyleScriptFile(folder / L"real.exe"), DWORD(ERROR_SUCCESS));
    ASSERT_EQ(WriteStyleScriptFile(folder / L"notes.txt"), DWORD(ERROR_SUCCESS));
    ASSERT_EQ(WriteStyleScriptFile(folder / L"tool"), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(ReadFileBytes(folder / L"real.exe.manifest"), kScript);
    EXPECT_EQ(ReadFileBytes(folder / L"notes.txt.manifest"), kScript);
    EXPECT_EQ(ReadFileBytes(folder / L"tool.manifest"), kScript);
    EXPECT_EQ(folder.Names(),
              (Names{L"real.exe", L"real.exe.manifest", L"notes.txt.manifest", L"tool.manifest"}));
}

TEST(StyleScriptFile, RelativeAndEmptyTargetsResolveAgainstTheCurrentDirectory) {
    ScratchFolder folder;
    CreateDirectoryW((folder / L"sub").c_str(), nullptr);
    {
        CurrentDirectoryScope inside(folder.path());
        ASSERT_EQ(WriteStyleScriptFile(L"tool.exe"), DWORD(ERROR_SUCCESS));
        ASSERT_EQ(WriteStyleScriptFile(L"sub\\app.exe"), DWORD(ERROR_SUCCESS));
        ASSERT_EQ(WriteStyleScriptFile(L""), DWORD(ERROR_SUCCESS));
    }
    EXPECT_EQ(ReadFileBytes(folder / L"tool.exe.manifest"), kScript);
    EXPECT_EQ(ReadFileBytes(folder / L"sub\\app.exe.manifest"), kScript);
    EXPECT_EQ(ReadFileBytes(folder / L".manifest"), kScript);
    EXPECT_EQ(folder.Names(), (Names{L"sub", L"tool.exe.manifest", L".manifest"}));
}

TEST(StyleScriptFile, TargetPathIsUsedVerbatim) {
    ScratchFolder folder;
    // Case and inner blanks are kept; nothing is trimmed or normalised.
    ASSERT_EQ(WriteStyleScriptFile(folder / L"My Tool.EXE"), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(folder.Names(), Names{L"My Tool.EXE.manifest"});
}

TEST(StyleScriptFile, UnicodeFolderAndName) {
    ScratchFolder folder(L"Überprüfung-日本語");
    const std::wstring target = folder / L"Ωmega-программа-工具.exe";
    ASSERT_EQ(WriteStyleScriptFile(target), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(ReadFileBytes(target + L".manifest"), kScript);
    EXPECT_EQ(folder.Names(), Names{L"Ωmega-программа-工具.exe.manifest"});
}

TEST(StyleScriptFileFailure, MissingFolderIsPathNotFoundAndCreatesNothing) {
    ScratchFolder folder;
    EXPECT_EQ(WriteStyleScriptFile(folder / L"absent\\tool.exe"), DWORD(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(folder.Names(), Names{});
}

TEST(StyleScriptFileFailure, ReadOnlyManifestIsRefusedAndKept) {
    ScratchFolder folder;
    const std::wstring manifest = folder / L"tool.exe.manifest";
    WriteFileBytes(manifest, kEarlier);
    SetFileAttributesW(manifest.c_str(), FILE_ATTRIBUTE_READONLY);

    EXPECT_EQ(WriteStyleScriptFile(folder / L"tool.exe"), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(ReadFileBytes(manifest), kEarlier);
    EXPECT_EQ(GetFileAttributesW(manifest.c_str()) & FILE_ATTRIBUTE_READONLY,
              DWORD(FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(folder.Names(), Names{L"tool.exe.manifest"});

    // Once the user lifts the protection, the same Create goes through.
    SetFileAttributesW(manifest.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(WriteStyleScriptFile(folder / L"tool.exe"), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(ReadFileBytes(manifest), kScript);
}

TEST(StyleScriptFileFailure, ManifestHeldOpenWithoutSharingIsRefusedAndKept) {
    ScratchFolder folder;
    const std::wstring manifest = folder / L"tool.exe.manifest";
    WriteFileBytes(manifest, kEarlier);
    {
        const UniqueFile holder(CreateFileW(manifest.c_str(), GENERIC_READ, 0, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(holder);
        EXPECT_EQ(WriteStyleScriptFile(folder / L"tool.exe"), DWORD(ERROR_SHARING_VIOLATION));
        EXPECT_EQ(folder.Names(), Names{L"tool.exe.manifest"});
    }
    EXPECT_EQ(ReadFileBytes(manifest), kEarlier);
    EXPECT_EQ(WriteStyleScriptFile(folder / L"tool.exe"), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(ReadFileBytes(manifest), kScript);
}

TEST(StyleScriptFileFailure, FolderInTheManifestsPlaceIsRefusedAndKept) {
    ScratchFolder folder;
    ASSERT_TRUE(CreateDirectoryW((folder / L"tool.exe.manifest").c_str(), nullptr));
    WriteFileBytes(folder / L"tool.exe.manifest\\inside.txt", kEarlier);
    EXPECT_EQ(WriteStyleScriptFile(folder / L"tool.exe"), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(ReadFileBytes(folder / L"tool.exe.manifest\\inside.txt"), kEarlier);
    EXPECT_EQ(folder.Names(), Names{L"tool.exe.manifest"});
}

} // namespace
} // namespace sheen
