// The written style script really gives a program the Common Controls 6: a
// probe program beside it reports where its comctl32 comes from.
#include "stylescript/style_script_writer.h"
#include "support/app_driver.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>

namespace sheen {
namespace {

using test::ReadFileBytes;
using test::ScratchFolder;
using test::WriteFileBytes;

constexpr DWORD kOldControls = 0;
constexpr DWORD kCommonControls6 = 3; // redirected, and loaded from the side-by-side store

DWORD RunProbe(const std::wstring& exe) {
    const test::StartedProgram probe = test::StartProgram(exe);
    if (!probe.process) {
        ADD_FAILURE() << "cannot start the probe, error " << probe.error;
        return ~0u;
    }
    EXPECT_EQ(WaitForSingleObject(probe.process.get(), 60000), WAIT_OBJECT_0);
    DWORD code = ~0u;
    GetExitCodeProcess(probe.process.get(), &code);
    return code;
}

// The test process is x86-64, and a dependency only binds for its own processor.
std::string ForThisProcessor(std::string manifest) {
    const std::string x86 = R"(processorArchitecture="X86")";
    for (size_t at; (at = manifest.find(x86)) != std::string::npos;)
        manifest.replace(at, x86.size(), R"(processorArchitecture="amd64")");
    return manifest;
}

class StyleScriptEffect : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(CopyFileW(test::BesideThisProgram(L"manifest_probe.exe").c_str(),
                              probe_.c_str(), FALSE))
            << "error " << GetLastError();
    }
    ScratchFolder folder_;
    const std::wstring probe_ = folder_ / L"probe.exe";
};

TEST_F(StyleScriptEffect, WithoutManifestTheProgramGetsTheOldControls) {
    EXPECT_EQ(RunProbe(probe_), kOldControls);
}

TEST_F(StyleScriptEffect, WrittenManifestGivesCommonControls6) {
    ASSERT_EQ(WriteStyleScriptFile(probe_), DWORD(ERROR_SUCCESS));
    const std::wstring manifest = probe_ + L".manifest";
    WriteFileBytes(manifest, ForThisProcessor(ReadFileBytes(manifest)));
    EXPECT_EQ(RunProbe(probe_), kCommonControls6);
}

TEST_F(StyleScriptEffect, AnyOtherPublicKeyTokenSilentlyKeepsTheOldControls) {
    ASSERT_EQ(WriteStyleScriptFile(probe_), DWORD(ERROR_SUCCESS));
    const std::wstring manifest = probe_ + L".manifest";
    std::string text = ForThisProcessor(ReadFileBytes(manifest));
    const size_t token = text.find("6595b64144ccf1df");
    ASSERT_NE(token, std::string::npos);
    text.replace(token, 16, "3f1c9a07d2b8e546");
    WriteFileBytes(manifest, text);
    EXPECT_EQ(RunProbe(probe_), kOldControls);
}

} // namespace
} // namespace sheen
