// Whether Windows uses the written style script: a probe program beside it
// reports where its comctl32 comes from, and Create tells when the program's
// own manifest or the system's memory of it comes first.
#include "platform/unique_handle.h"
#include "stylescript/style_script.h"
#include "stylescript/style_script_writer.h"
#include "stylescript/target_program.h"
#include "support/app_driver.h"
#include "support/expected_texts.h"
#include "support/program_image.h"
#include "support/registry_value.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

#include <optional>

namespace sheen {
namespace {

using test::LastWriteTime;
using test::MakeOld;
using test::ReadFileBytes;
using test::RegistryValueScope;
using test::ScratchFolder;
using test::WriteFileBytes;

using test::kCommonControls6;
using test::kOldControls;
using test::RunProbe;

const std::string kCommonControls6Manifest =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
    R"(<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0"><dependency>)"
    R"(<dependentAssembly><assemblyIdentity type="win32" name="Microsoft.Windows.Common-Controls")"
    R"( version="6.0.0.0" processorArchitecture="*" publicKeyToken="6595b64144ccf1df")"
    R"( language="*"/></dependentAssembly></dependency></assembly>)";

const std::string kPlainManifest =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
    R"(<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">)"
    R"(<trustInfo xmlns="urn:schemas-microsoft-com:asm.v2"><security><requestedPrivileges>)"
    R"(<requestedExecutionLevel level="asInvoker" uiAccess="false"/>)"
    R"(</requestedPrivileges></security></trustInfo></assembly>)";

void EmbedManifest(const std::wstring& path, const std::string& manifest) {
    test::EmbedResource(path, RT_MANIFEST, CREATEPROCESS_MANIFEST_RESOURCE_ID, manifest);
}

class StyleScriptEffect : public testing::Test {
  protected:
    void SetUp() override { CopyProbe(probe_); }
    void CopyProbe(const std::wstring& to) {
        ASSERT_TRUE(
            CopyFileW(test::BesideThisProgram(L"manifest_probe.exe").c_str(), to.c_str(), FALSE))
            << "error " << GetLastError();
    }
    ScratchFolder folder_;
    const std::wstring probe_ = folder_ / L"probe.exe";
};

TEST_F(StyleScriptEffect, WithoutManifestTheProgramGetsTheOldControls) {
    EXPECT_EQ(RunProbe(probe_), kOldControls);
}

TEST_F(StyleScriptEffect, TheManifestAsWrittenGivesA64BitProgramCommonControls6) {
    ASSERT_EQ(WriteStyleScriptFile(probe_).error, DWORD(ERROR_SUCCESS));
    EXPECT_EQ(ReadFileBytes(probe_ + L".manifest"), StyleScriptFor(kArchitectureAmd64));
    EXPECT_EQ(RunProbe(probe_), kCommonControls6);
}

TEST_F(StyleScriptEffect, AnyOtherPublicKeyTokenSilentlyKeepsTheOldControls) {
    ASSERT_EQ(WriteStyleScriptFile(probe_).error, DWORD(ERROR_SUCCESS));
    const std::wstring manifest = probe_ + L".manifest";
    std::string text = ReadFileBytes(manifest);
    const size_t token = text.find("6595b64144ccf1df");
    ASSERT_NE(token, std::string::npos);
    text.replace(token, 16, "3f1c9a07d2b8e546");
    WriteFileBytes(manifest, text);
    EXPECT_EQ(RunProbe(probe_), kOldControls);
}

TEST_F(StyleScriptEffect, AnEmbeddedManifestIsNotedUnlessWindowsIsToldToPreferTheFile) {
    struct Case {
        std::wstring name;
        std::string embedded; // none if empty
        bool preferFile;      // PreferExternalManifest = 1
        bool wins;
        bool styled;
    };
    const Case cases[] = {
        {L"none.exe", "", false, false, false},
        {L"styled.exe", kCommonControls6Manifest, false, true, true},
        {L"plain.exe", kPlainManifest, false, true, false},
        {L"preferred-file.exe", kCommonControls6Manifest, true, false, false},
        {L"no-extension", kCommonControls6Manifest, false, true, true},
        // Past MAX_PATH, where the path is given in the \\?\ form.
        {std::wstring(240, L'n'), kCommonControls6Manifest, false, true, true},
    };
    for (const Case& c : cases) {
        const std::wstring target = folder_ / c.name;
        CopyProbe(target);
        if (!c.embedded.empty())
            EmbedManifest(target, c.embedded);
        std::optional<RegistryValueScope> preference;
        if (c.preferFile)
            preference.emplace(HKEY_LOCAL_MACHINE,
                               L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SideBySide",
                               L"PreferExternalManifest", DWORD(1));
        const auto outcome = WriteStyleScriptFile(target);
        EXPECT_EQ(outcome.error, DWORD(ERROR_SUCCESS));
        EXPECT_EQ(outcome.embeddedManifestWins, c.wins) << testing::PrintToString(c.name);
        EXPECT_EQ(outcome.alreadyStyled, c.styled) << testing::PrintToString(c.name);
    }
}

TEST(EmbeddedManifestText, CountsAsStyledOnlyForAnIdentityOfCommonControls6) {
    const std::string& cc6 = kCommonControls6Manifest;
    std::string utf16 = "\xFF\xFE"; // little-endian, as Windows writes it
    const std::string declaredUtf16 = std::string(cc6).replace(cc6.find("UTF-8"), 5, "UTF-16");
    for (const char c : declaredUtf16)
        utf16 += std::string{c, '\0'};
    struct Case {
        std::string text;
        bool styled;
    };
    const Case cases[] = {
        {cc6, true},
        {R"(<asmv1:assemblyIdentity xmlns:asmv1="urn:schemas-microsoft-com:asm.v1")"
         R"( name = 'MICROSOFT.WINDOWS.COMMON-CONTROLS' version='6.0.0.0'/>)",
         true},
        // Not as the loader reads a dependency: attribute names it does not
        // know, or no namespace.
        {R"(<asmv1:assemblyIdentity xmlns:asmv1="urn:schemas-microsoft-com:asm.v1")"
         R"( name='Microsoft.Windows.Common-Controls' VERSION='6.0.0.0'/>)",
         false},
        {R"(<assemblyIdentity name="Microsoft.Windows.Common-Controls" version="6.0.0.0"/>)",
         false},
        {R"(<assemblyIdentity name="Microsoft.Windows.Common-Controls" version="5.82.0.0"/>)",
         false},
        {R"(<assemblyIdentity manifestVersion="6.0" name="Microsoft.Windows.Common-Controls"/>)",
         false},
        {R"(<!-- <assemblyIdentity name="Microsoft.Windows.Common-Controls" version="6.0.0.0"/> -->)",
         false},
        {R"(<description>Microsoft.Windows.Common-Controls version="6.0.0.0"</description>)",
         false},
        {R"(<assemblyIdentity name="Microsoft.Windows.Common-Controls" version="6.0.0.0")", false},
        {R"(<assemblyIdentity name=Microsoft.Windows.Common-Controls version="6.0.0.0"/>)", false},
        {kPlainManifest, false},
        {utf16, true},
        // What only an XML parser reads right: a '>' in a value, and a character
        // reference.
        {R"(<assemblyIdentity xmlns="urn:schemas-microsoft-com:asm.v1" type="a>b")"
         R"( name="Microsoft.Windows.Common-Controls" version="6.0.0.0"/>)",
         true},
        {R"(<assemblyIdentity xmlns="urn:schemas-microsoft-com:asm.v1")"
         R"( name="Microsoft.Windows.Common-Controls" version="&#54;.0.0.0"/>)",
         true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DependsOnCommonControls6(c.text), c.styled) << c.text;
}

// Through the real window: a program whose resources do not add up still gets
// the script that fits it, and the box, as one whose manifest cannot be read.
// Where the system has no XmlLite (Wine leaves out a DLL it is told to), an
// intact program's manifest is noted but not judged.
TEST(TargetResources, DamagedOnesGiveNoNoteAndWithoutXmlLiteNoneIsJudged) {
    using test::WithDword;
    const std::string intact =
        test::ProgramBytes(IMAGE_FILE_MACHINE_AMD64, std::nullopt, kCommonControls6Manifest);
    const std::pair<const wchar_t*, std::string> damaged[] = {
        {L"size-past-end.exe", WithDword(intact, test::kManifestSizeAt, 0x10000)},
        {L"size-huge.exe", WithDword(intact, test::kManifestSizeAt, 0x7FFFF000)},
        {L"directory-damaged.exe", WithDword(intact, test::kManifestTypeEntryAt,
                                             IMAGE_RESOURCE_DATA_IS_DIRECTORY | 0x7FFFFFF0)},
    };
    const RegistryValueScope noXmlLite(
        HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\Sheenwright.exe\\DllOverrides",
        L"xmllite", L"");
    ScratchFolder folder;
    test::RunningApp app;
    ASSERT_TRUE(app.started());
    WriteFileBytes(folder / L"intact.exe", intact);
    EXPECT_EQ(app.Create(folder / L"intact.exe"),
              test::kSuccessMessage + test::kEmbeddedManifestNote);
    for (const auto& [name, bytes] : damaged) {
        WriteFileBytes(folder / name, bytes);
        EXPECT_EQ(app.Create(folder / name), test::kSuccessMessage)
            << testing::PrintToString(std::wstring(name));
        EXPECT_EQ(ReadFileBytes(folder / name + L".manifest"), StyleScriptFor(kArchitectureAmd64));
    }
}

// Through the real window, with the program Wine reports the given Windows to.
struct SystemCase {
    const wchar_t* wineVersion;
    std::wstring notes; // after the success text
    bool touched;
};

void PrintTo(const SystemCase& c, std::ostream* out) {
    *out << testing::PrintToString(std::wstring(c.wineVersion));
}

class CreateUnderWindows : public testing::TestWithParam<SystemCase> {};

TEST_P(CreateUnderWindows, NotesWhatThatWindowsDoesWithTheScript) {
    // Sheenwright itself carries a manifest that asks for Common Controls 6.
    ScratchFolder folder;
    const std::wstring target = folder / L"tool.exe";
    ASSERT_TRUE(CopyFileW(test::ProgramPath().c_str(), target.c_str(), FALSE));
    const std::string bytes = ReadFileBytes(target);
    const FILETIME old = MakeOld(target);
    const RegistryValueScope version(HKEY_CURRENT_USER,
                                     L"Software\\Wine\\AppDefaults\\Sheenwright.exe", L"Version",
                                     GetParam().wineVersion);
    test::RunningApp app;
    ASSERT_TRUE(app.started());

    EXPECT_EQ(app.Create(target), test::kSuccessMessage + GetParam().notes);
    EXPECT_EQ(ReadFileBytes(target + L".manifest"), StyleScriptFor(kArchitectureAmd64));
    const FILETIME now = LastWriteTime(target);
    EXPECT_EQ(CompareFileTime(&now, &old), GetParam().touched ? 1 : 0);
    EXPECT_EQ(ReadFileBytes(target), bytes);
}

// Windows XP reads the file first and remembers nothing; Server 2003 takes the
// program's own manifest first; Vista and later also remember.
INSTANTIATE_TEST_SUITE_P(
    Systems, CreateUnderWindows,
    testing::Values(
        SystemCase{L"winxp", L"", false},
        SystemCase{L"win2003", test::kEmbeddedManifestNote + test::kAlreadyStyledNote, false},
        SystemCase{L"win7", test::kEmbeddedManifestNote + test::kAlreadyStyledNote, true}),
    [](const auto& info) {
        const std::wstring name = info.param.wineVersion;
        return std::string(name.begin(), name.end());
    });

} // namespace
} // namespace sheen
