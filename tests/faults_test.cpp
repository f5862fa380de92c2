// Faults and bad input through the real window. Whatever happens, the user
// reads either the success note with the whole script on disk, or the system's
// own text for the error with nothing changed; no temporary file stays behind,
// and the same Create works once the cause is gone.
#include "platform/error_text.h"
#include "platform/unique_handle.h"
#include "stylescript/style_script.h"
#include "support/app_driver.h"
#include "support/expected_texts.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>

namespace sheen {
namespace {

using test::ReadFileBytes;
using test::RunningApp;
using test::ScratchFolder;
using test::WriteFileBytes;
using Names = std::set<std::wstring>;

const std::string kScript(kStyleScript);
const std::string kEarlier = "<earlier manifest/>\r\n";
const std::wstring kKeptNote = test::BackupNote(L"tool.exe.manifest.bak");

class Faults : public testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(app_.started()); }

    ScratchFolder folder_;
    RunningApp app_{folder_.path()}; // relative paths land in the scratch folder
};

// A manifest Create may not replace: the user reads the system's text for
// it, and the manifest stays as it was, with its attributes, until the cause
// goes; then the same Create goes through, keeping what was there.
TEST_F(Faults, AManifestThatMayNotBeReplacedIsKeptUntilItsCauseGoes) {
    UniqueFile holder;
    using Step = std::function<void(const std::wstring& manifest)>;
    struct Case {
        const wchar_t* program;
        DWORD error;
        DWORD attribute;       // which the manifest keeps while it is refused
        const wchar_t* kept;   // after the cause went, what holds the earlier bytes
        const wchar_t* backup; // what the Create then keeps, if anything
        Step cause;
        Step lift;
    };
    const Case cases[] = {
        {L"folder.exe", ERROR_ACCESS_DENIED, FILE_ATTRIBUTE_DIRECTORY, L".moved\\inside.txt", L"",
         [](const std::wstring& manifest) {
             ASSERT_TRUE(CreateDirectoryW(manifest.c_str(), nullptr));
             WriteFileBytes(manifest + L"\\inside.txt", kEarlier);
         },
         [](const std::wstring& manifest) {
             MoveFileW(manifest.c_str(), (manifest + L".moved").c_str());
         }},
        {L"read-only.exe", ERROR_ACCESS_DENIED, FILE_ATTRIBUTE_READONLY, L"",
         L"read-only.exe.manifest.bak",
         [](const std::wstring& manifest) {
             WriteFileBytes(manifest, kEarlier);
             SetFileAttributesW(manifest.c_str(), FILE_ATTRIBUTE_READONLY);
         },
         [](const std::wstring& manifest) {
             SetFileAttributesW(manifest.c_str(), FILE_ATTRIBUTE_NORMAL);
         }},
        {L"held.exe", ERROR_SHARING_VIOLATION, 0, L"", L"held.exe.manifest.bak",
         [&holder](const std::wstring& manifest) {
             WriteFileBytes(manifest, kEarlier);
             holder.reset(CreateFileW(manifest.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
             ASSERT_TRUE(holder);
         },
         [&holder](const std::wstring&) { holder.reset(); }},
    };
    for (const Case& c : cases) {
        const std::wstring program = folder_ / c.program;
        const std::wstring manifest = program + L".manifest";
        c.cause(manifest);
        const Names before = folder_.Names();
        EXPECT_EQ(app_.Create(program), ErrorText(c.error)) << testing::PrintToString(program);
        EXPECT_EQ(folder_.Names(), before);
        EXPECT_EQ(GetFileAttributesW(manifest.c_str()) & c.attribute, c.attribute);

        c.lift(manifest);
        EXPECT_EQ(ReadFileBytes(manifest + c.kept), kEarlier);
        EXPECT_EQ(app_.Create(program),
                  test::kSuccessMessage + (*c.backup ? test::BackupNote(c.backup) : L""));
        EXPECT_EQ(ReadFileBytes(manifest), kScript);
    }
}

TEST_F(Faults, AMomentarySharingViolationIsWaitedOut) {
    // As a virus scanner does: hold the manifest for a moment while Create runs.
    const std::wstring manifest = folder_ / L"tool.exe.manifest";
    WriteFileBytes(manifest, kEarlier);
    UniqueFile holder(CreateFileW(manifest.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder);
    std::thread release([&holder] {
        Sleep(250);
        holder.reset();
    });
    const std::wstring message = app_.Create(folder_ / L"tool.exe");
    release.join();
    EXPECT_EQ(message, test::kSuccessMessage + kKeptNote);
    EXPECT_EQ(ReadFileBytes(manifest), kScript);
    EXPECT_EQ(ReadFileBytes(manifest + L".bak"), kEarlier);
    EXPECT_EQ(folder_.Names(), (Names{L"tool.exe.manifest", L"tool.exe.manifest.bak"}));
}

TEST_F(Faults, DeviceNamesAreRefusedWithOrWithoutExtension) {
    for (const wchar_t* name : {L"CON", L"NUL", L"COM1", L"AUX", L"LPT1", L"nul.exe", L"Con.exe",
                                L"com1.txt", L"AUX .exe", L"lpt1"}) {
        EXPECT_EQ(app_.Create(folder_ / name), ErrorText(ERROR_INVALID_NAME))
            << testing::PrintToString(std::wstring(name));
    }
    EXPECT_EQ(folder_.Names(), Names{});
}

TEST_F(Faults, ForbiddenCharactersAndLoneSurrogatesAreRefused) {
    for (const wchar_t* name : {L"a<b.exe", L"a>b.exe", L"a:b.exe", L"a\"b.exe", L"a|b.exe",
                                L"a?b.exe", L"a*b.exe", L"tool\xD800.exe", L"tool\xDC00.exe"}) {
        EXPECT_EQ(app_.Create(folder_ / name), ErrorText(ERROR_INVALID_NAME))
            << testing::PrintToString(std::wstring(name));
    }
    // In particular no file "a" whose stream "b.exe.manifest" the colon named.
    EXPECT_EQ(folder_.Names(), Names{});
}

TEST_F(Faults, NamesEndingInDotsOrBlanksGetTheirScriptOrAClearError) {
    for (const wchar_t* name : {L"tool.exe.", L"tool.exe ", L"tool...", L"tool . "}) {
        const std::wstring target = folder_ / name;
        const std::wstring message = app_.Create(target);
        if (message == test::kSuccessMessage) {
            EXPECT_EQ(ReadFileBytes(target + L".manifest"), kScript);
        } else {
            EXPECT_FALSE(message.empty());
        }
    }
    for (const std::wstring& name : folder_.Names())
        EXPECT_EQ(name.find(L"~sw"), std::wstring::npos) << "a temporary file stayed";
}

TEST_F(Faults, PathLongerThanMaxPathIsWrittenWhole) {
    std::wstring deep = folder_.path();
    while (deep.size() < MAX_PATH + 20) {
        deep += L"\\" + std::wstring(50, L'd');
        ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr)) << GetLastError();
    }
    const std::wstring target = deep + L"\\tool.exe";
    EXPECT_EQ(app_.Create(target), test::kSuccessMessage);
    EXPECT_EQ(ReadFileBytes(L"\\\\?\\" + target + L".manifest"), kScript);
}

TEST_F(Faults, FortyThousandCharactersAreKeptAndRefusedAsTooLong) {
    const std::wstring path = L"C:\\" + std::wstring(40000, L'p') + L".exe";
    app_.SetPath(path);
    EXPECT_EQ(test::WindowText(app_.PathBox()), path) << "the box keeps every character";
    EXPECT_EQ(app_.Create(path), ErrorText(ERROR_FILENAME_EXCED_RANGE));
}

TEST_F(Faults, RelativeDriveRelativeAndExtendedPathsLandWhereWindowsResolvesThem) {
    // The program runs in the scratch folder, which is on drive C.
    ASSERT_EQ(folder_.path().substr(0, 2), L"C:");
    EXPECT_EQ(app_.Create(L"relative.exe"), test::kSuccessMessage);
    EXPECT_EQ(app_.Create(L"C:drive-relative.exe"), test::kSuccessMessage);
    EXPECT_EQ(app_.Create(L"\\\\?\\" + folder_.path() + L"\\extended.exe"), test::kSuccessMessage);
    EXPECT_EQ(folder_.Names(), (Names{L"relative.exe.manifest", L"drive-relative.exe.manifest",
                                      L"extended.exe.manifest"}));
    for (const std::wstring& name : folder_.Names())
        EXPECT_EQ(ReadFileBytes(folder_ / name), kScript);
}

} // namespace
} // namespace sheen
