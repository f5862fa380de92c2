// Writing the style script beside a target: names, bytes, the backups, and the
// promise that an earlier manifest is replaced whole or not at all.
#include "platform/error_text.h"
#include "platform/unique_handle.h"
#include "stylescript/style_script.h"
#include "stylescript/style_script_writer.h"
#include "support/app_driver.h"
#include "support/program_image.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>
#include <psapi.h>

#include <utility>

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
    ASSERT_EQ(WriteStyleScriptFile(folder / L"tool.exe").error, DWORD(ERROR_SUCCESS));
    EXPECT_EQ(ReadFileBytes(folder / L"tool.exe.manifest"), kScript);
    EXPECT_EQ(folder.Names(), Names{L"tool.exe.manifest"}); // nothing else, no temporary file
}

TEST(StyleScriptFile, ReplacesALongerEarlierManifestWhole) {
    ScratchFolder folder;
    WriteFileBytes(folder / L"tool.exe.manifest", std::string(10000, 'x'));
    ASSERT_EQ(WriteStyleScriptFile(folder / L"tool.exe").error, DWORD(ERROR_SUCCESS));
    EXPECT_EQ(ReadFileBytes(folder / L"tool.exe.manifest"), kScript);
    EXPECT_EQ(ReadFileBytes(folder / L"tool.exe.manifest.bak"), std::string(10000, 'x'));
    EXPECT_EQ(folder.Names(), (Names{L"tool.exe.manifest", L"tool.exe.manifest.bak"}));
}

TEST(StyleScriptFile, IsTheX86TextForNonProgramsAndNeedsNoExistingExecutable) {
    ScratchFolder folder;
    WriteFileBytes(folder / L"real.exe", "MZ");
    ASSERT_EQ(WriteStyleScriptFile(folder / L"real.exe").error, DWORD(ERROR_SUCCESS));
    ASSERT_EQ(WriteStyleScriptFile(folder / L"notes.txt").error, DWORD(ERROR_SUCCESS));
    ASSERT_EQ(WriteStyleScriptFile(folder / L"tool").error, DWORD(ERROR_SUCCESS));
    EXPECT_EQ(ReadFileBytes(folder / L"real.exe.manifest"), kScript);
    EXPECT_EQ(ReadFileBytes(folder / L"notes.txt.manifest"), kScript);
    EXPECT_EQ(ReadFileBytes(folder / L"tool.manifest"), kScript);
    EXPECT_EQ(folder.Names(),
              (Names{L"real.exe", L"real.exe.manifest", L"notes.txt.manifest", L"tool.manifest"}));
}

TEST(StyleScriptFile, NamesTheProcessorTheProgramRunsAsAndTouchesOnlyPrograms) {
    using test::ProgramBytes;
    const std::string amd64 = ProgramBytes(IMAGE_FILE_MACHINE_AMD64);
    const std::string anyCpu = ProgramBytes(IMAGE_FILE_MACHINE_I386, COMIMAGE_FLAGS_ILONLY);
    struct Case {
        const wchar_t* name;
        std::string bytes;
        std::string_view architecture; // whose script is expected
        bool touched;                  // read as a program
    };
    const Case cases[] = {
        {L"i386.exe", ProgramBytes(IMAGE_FILE_MACHINE_I386), "X86", true},
        {L"any-cpu.exe", anyCpu, "*", true},
        {L"32-bit-required.exe",
         ProgramBytes(IMAGE_FILE_MACHINE_I386,
                      COMIMAGE_FLAGS_ILONLY | COMIMAGE_FLAGS_32BITREQUIRED),
         "X86", true},
        {L"mixed-mode.exe", ProgramBytes(IMAGE_FILE_MACHINE_I386, 0), "X86", true},
        {L"clr-header-cut.exe", anyCpu.substr(0, 0x210), "X86", true},
        {L"amd64.exe", amd64, "amd64", true},
        {L"amd64-il-only.exe", ProgramBytes(IMAGE_FILE_MACHINE_AMD64, COMIMAGE_FLAGS_ILONLY),
         "amd64", true},
        {L"arm64.exe", ProgramBytes(IMAGE_FILE_MACHINE_ARM64), "arm64", true},
        {L"arm32.exe", ProgramBytes(IMAGE_FILE_MACHINE_ARMNT), "arm", true},
        {L"ia64.exe", ProgramBytes(IMAGE_FILE_MACHINE_IA64), "*", true},
        {L"empty.exe", "", "X86", false},
        {L"mz.exe", "MZ", "X86", false},
        {L"lfanew-past-end.exe", test::WithDword(amd64, 0x3C, 0x10000), "X86", false},
        {L"lfanew-negative.exe", test::WithDword(amd64, 0x3C, DWORD(-8)), "X86", false},
        {L"signature-cut.exe", amd64.substr(0, 0x42), "X86", false},
        {L"machine-cut.exe", amd64.substr(0, 0x45), "X86", false},
        {L"optional-header-cut.exe", amd64.substr(0, 0x68), "X86", false},
        {L"not-pe.exe", std::string(amd64).replace(0x40, 2, "NE"), "X86", false},
        {L"no-magic.exe", std::string(amd64).replace(0x58, 2, "\0\0", 2), "X86", false},
    };
    ScratchFolder folder;
    for (const Case& c : cases) {
        WriteFileBytes(folder / c.name, c.bytes);
        const FILETIME old = test::MakeOld(folder / c.name);
        EXPECT_EQ(WriteStyleScriptFile(folder / c.name).error, DWORD(ERROR_SUCCESS));
        EXPECT_EQ(ReadFileBytes(folder / c.name + L".manifest"), StyleScriptFor(c.architecture))
            << testing::PrintToString(std::wstring(c.name));
        const FILETIME now = test::LastWriteTime(folder / c.name);
        EXPECT_EQ(CompareFileTime(&now, &old), c.touched ? 1 : 0)
            << testing::PrintToString(std::wstring(c.name));
    }
    // The real 32-bit program, and a folder in the program's place.
    CopyFileW(test::BesideThisProgram(L"..\\..\\win32\\Sheenwright.exe").c_str(),
              (folder / L"shipped.exe").c_str(), FALSE);
    CreateDirectoryW((folder / L"folder.exe").c_str(), nullptr);
    for (const wchar_t* name : {L"shipped.exe", L"folder.exe"}) {
        const auto outcome = WriteStyleScriptFile(folder / name);
        EXPECT_EQ(outcome.error, DWORD(ERROR_SUCCESS));
        EXPECT_FALSE(outcome.touchFailed) << "a folder has no program to touch";
        EXPECT_EQ(ReadFileBytes(folder / name + L".manifest"), kScript);
    }
    // A device is never opened to be read: it is refused as before.
    EXPECT_EQ(WriteStyleScriptFile(folder / L"COM1").error, DWORD(ERROR_INVALID_NAME));
    EXPECT_EQ(WriteStyleScriptFile(L"\\\\.\\CON").error, DWORD(ERROR_INVALID_NAME));
}

TEST(StyleScriptBackup, OnlyExactlyAScriptOfOursIsReplacedWithoutOne) {
    ScratchFolder folder;
    const std::wstring manifest = folder / L"tool.exe.manifest";
    WriteFileBytes(folder / L"tool.exe", test::ProgramBytes(IMAGE_FILE_MACHINE_AMD64));
    const std::string x86 = StyleScriptFor(kArchitectureX86);
    const std::pair<std::string, const wchar_t*> cases[] = {
        {x86, L""},
        {StyleScriptFor(kArchitectureArm64), L""},
        {StyleScriptFor(kArchitectureAny), L""},
        {x86 + " ", L"tool.exe.manifest.bak"},
        {x86 + x86, L"tool.exe.manifest.bak2"},
    };
    for (const auto& [earlier, keptAs] : cases) {
        WriteFileBytes(manifest, earlier);
        EXPECT_EQ(WriteStyleScriptFile(folder / L"tool.exe").backupName, keptAs);
        EXPECT_EQ(ReadFileBytes(manifest), StyleScriptFor(kArchitectureAmd64));
    }
}

TEST(StyleScriptFile, RelativeAndEmptyTargetsResolveAgainstTheCurrentDirectory) {
    ScratchFolder folder;
    CreateDirectoryW((folder / L"sub").c_str(), nullptr);
    {
        CurrentDirectoryScope inside(folder.path());
        ASSERT_EQ(WriteStyleScriptFile(L"tool.exe").error, DWORD(ERROR_SUCCESS));
        ASSERT_EQ(WriteStyleScriptFile(L"sub\\app.exe").error, DWORD(ERROR_SUCCESS));
        ASSERT_EQ(WriteStyleScriptFile(L"").error, DWORD(ERROR_SUCCESS));
    }
    EXPECT_EQ(ReadFileBytes(folder / L"tool.exe.manifest"), kScript);
    EXPECT_EQ(ReadFileBytes(folder / L"sub\\app.exe.manifest"), kScript);
    EXPECT_EQ(ReadFileBytes(folder / L".manifest"), kScript);
    EXPECT_EQ(folder.Names(), (Names{L"sub", L"tool.exe.manifest", L".manifest"}));
}

TEST(StyleScriptFile, TargetPathIsUsedVerbatim) {
    ScratchFolder folder;
    // Case and inner blanks are kept; nothing is trimmed or normalised.
    ASSERT_EQ(WriteStyleScriptFile(folder / L"My Tool.EXE").error, DWORD(ERROR_SUCCESS));
    EXPECT_EQ(folder.Names(), Names{L"My Tool.EXE.manifest"});
}

TEST(StyleScriptFile, UnicodeFolderAndName) {
    ScratchFolder folder(L"Überprüfung-日本語");
    const std::wstring target = folder / L"Ωmega-программа-工具.exe";
    ASSERT_EQ(WriteStyleScriptFile(target).error, DWORD(ERROR_SUCCESS));
    EXPECT_EQ(ReadFileBytes(target + L".manifest"), kScript);
    EXPECT_EQ(folder.Names(), Names{L"Ωmega-программа-工具.exe.manifest"});
}

TEST(StyleScriptBackup, AForeignManifestIsKeptWholeOnceAndNamed) {
    ScratchFolder folder;
    // Also where the names need the long form.
    std::wstring deep = folder.path();
    while (deep.size() < MAX_PATH) {
        deep += L"\\" + std::wstring(50, L'd');
        ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr)) << GetLastError();
    }
    for (const std::wstring& target : {folder / L"tool.exe", deep + L"\\tool.exe"}) {
        const std::wstring manifest = L"\\\\?\\" + target + L".manifest";
        WriteFileBytes(manifest, kEarlier);
        const auto first = WriteStyleScriptFile(target);
        ASSERT_EQ(first.error, DWORD(ERROR_SUCCESS));
        EXPECT_EQ(first.backupName, L"tool.exe.manifest.bak");
        EXPECT_EQ(ReadFileBytes(manifest + L".bak"), kEarlier);
        EXPECT_EQ(ReadFileBytes(manifest), kScript);
        // The same bytes again: nothing to keep.
        EXPECT_EQ(WriteStyleScriptFile(target).backupName, L"");
        EXPECT_EQ(GetFileAttributesW((manifest + L".bak2").c_str()), INVALID_FILE_ATTRIBUTES);
    }
}

TEST(StyleScriptBackup, TakenNamesAreSkippedAndABackupOfTheSameBytesServes) {
    ScratchFolder folder;
    const std::wstring manifest = folder / L"tool.exe.manifest";
    WriteFileBytes(manifest + L".bak", "<someone else's/>");
    const std::string second = "<second earlier manifest/>";
    struct Step {
        std::string earlier;
        const wchar_t* keptAs;
    };
    for (const Step& step :
         {Step{kEarlier, L"tool.exe.manifest.bak2"}, Step{second, L"tool.exe.manifest.bak3"},
          Step{kEarlier, L"tool.exe.manifest.bak2"}}) {
        WriteFileBytes(manifest, step.earlier);
        EXPECT_EQ(WriteStyleScriptFile(folder / L"tool.exe").backupName, step.keptAs);
        EXPECT_EQ(ReadFileBytes(folder / step.keptAs), step.earlier);
    }
    EXPECT_EQ(ReadFileBytes(manifest + L".bak"), "<someone else's/>");
    EXPECT_EQ(folder.Names(), (Names{L"tool.exe.manifest", L"tool.exe.manifest.bak",
                                     L"tool.exe.manifest.bak2", L"tool.exe.manifest.bak3"}));
}

SIZE_T PeakWorkingSet() {
    PROCESS_MEMORY_COUNTERS counters = {};
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return counters.PeakWorkingSetSize;
}

TEST(StyleScriptBackup, BackupsAreToldApartBySizeBeforeTheyAreRead) {
    ScratchFolder folder;
    const std::wstring manifest = folder / L"tool.exe.manifest";
    WriteFileBytes(manifest, kEarlier);
    // 4 GiB more than the earlier manifest, which a 32-bit size would not see.
    test::WriteSparseFile(manifest + L".bak", (ULONGLONG(1) << 32) + kEarlier.size());
    WriteFileBytes(manifest + L".bak2", std::string(kEarlier.size(), '#'));
    const SIZE_T peakBefore = PeakWorkingSet();
    EXPECT_EQ(WriteStyleScriptFile(folder / L"tool.exe").backupName, L"tool.exe.manifest.bak3");
    EXPECT_LT(PeakWorkingSet() - peakBefore, SIZE_T(64) << 20) << "the large backup was read";
    EXPECT_EQ(ReadFileBytes(manifest + L".bak3"), kEarlier);
}

// The slot through which this program calls MoveFileExW, as MinGW names it.
extern "C" decltype(&MoveFileExW) __imp_MoveFileExW;
decltype(&MoveFileExW) gMoveFileEx = nullptr;

// As a virus scanner that opens each fresh file does: every other rename fails.
BOOL WINAPI MoveFileExWhileAScannerLooks(const wchar_t* from, const wchar_t* to, DWORD flags) {
    static bool held = false;
    if ((held = !held)) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    return gMoveFileEx(from, to, flags);
}

TEST(StyleScriptBackup, BothRenamesWaitOutAScanner) {
    ScratchFolder folder;
    WriteFileBytes(folder / L"tool.exe.manifest", kEarlier);
    gMoveFileEx = std::exchange(__imp_MoveFileExW, &MoveFileExWhileAScannerLooks);
    const auto outcome = WriteStyleScriptFile(folder / L"tool.exe");
    __imp_MoveFileExW = gMoveFileEx;
    EXPECT_EQ(outcome.error, DWORD(ERROR_SUCCESS));
    EXPECT_EQ(outcome.backupName, L"tool.exe.manifest.bak");
    EXPECT_EQ(ReadFileBytes(folder / L"tool.exe.manifest.bak"), kEarlier);
}

// As another process that deletes the backup just before it is put back.
BOOL WINAPI MoveFileExAfterTheSourceWentAway(const wchar_t* from, const wchar_t* to, DWORD flags) {
    DeleteFileW(from);
    return gMoveFileEx(from, to, flags);
}

TEST(StyleScriptFileFailure, ABackupGoneBeforeTheRemovalPutsItBackIsAnError) {
    ScratchFolder folder;
    WriteFileBytes(folder / L"tool.exe.manifest", kEarlier);
    ASSERT_EQ(WriteStyleScriptFile(folder / L"tool.exe").backupName, L"tool.exe.manifest.bak");
    gMoveFileEx = std::exchange(__imp_MoveFileExW, &MoveFileExAfterTheSourceWentAway);
    const auto outcome = RemoveStyleScriptFile(folder / L"tool.exe");
    __imp_MoveFileExW = gMoveFileEx;
    EXPECT_EQ(outcome.error, DWORD(ERROR_FILE_NOT_FOUND)) << "not: there was no manifest";
    EXPECT_EQ(ReadFileBytes(folder / L"tool.exe.manifest"), kScript);
}

TEST(StyleScriptFileFailure, AManifestThatCannotBeKeptIsNotReplaced) {
    ScratchFolder folder;
    const std::wstring manifest = folder / L"tool.exe.manifest";
    WriteFileBytes(manifest, kEarlier);
    {
        // Replaceable, but nobody may read it.
        const UniqueFile holder(CreateFileW(manifest.c_str(), GENERIC_READ,
                                            FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(holder);
        EXPECT_EQ(WriteStyleScriptFile(folder / L"tool.exe").error, DWORD(ERROR_SHARING_VIOLATION));
    }
    EXPECT_EQ(ReadFileBytes(manifest), kEarlier);
    EXPECT_EQ(folder.Names(), Names{L"tool.exe.manifest"});
}

TEST(StyleScriptFileFailure, MissingFolderIsPathNotFoundAndCreatesNothing) {
    ScratchFolder folder;
    EXPECT_EQ(WriteStyleScriptFile(folder / L"absent\\tool.exe").error,
              DWORD(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(folder.Names(), Names{});
}

} // namespace
} // namespace sheen
