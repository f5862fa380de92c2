// The style script's bytes: the fixed text every target receives.
#include "stylescript/style_script.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sheen {
namespace {

// The manifest as Windows must read it, line by line.
const std::vector<std::string> kExpectedLines = {
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)",
    R"(<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">)",
    R"(<assemblyIdentity )",
    R"(version="1.0.0.0")",
    R"(processorArchitecture="X86")",
    R"(name="RORO")",
    R"(type="win32")",
    R"(/>)",
    R"(<description>XP THEMING</description>)",
    R"(<dependency>)",
    R"(<dependentAssembly>)",
    R"(<assemblyIdentity)",
    R"(type="win32")",
    R"(name="Microsoft.Windows.Common-Controls")",
    R"(version="6.0.0.0")",
    R"(processorArchitecture="X86")",
    R"(publicKeyToken="6595b64144ccf1df")",
    R"(language="*")",
    R"(/>)",
    R"(</dependentAssembly>)",
    R"(</dependency>)",
    R"(</assembly>)",
};

TEST(StyleScriptText, IsTheTwentyTwoLinesEachEndedByCrLf) {
    std::string expected;
    for (const auto& line : kExpectedLines)
        expected += line + "\r\n";
    EXPECT_EQ(std::string(kStyleScript), expected);
    EXPECT_EQ(kStyleScript.size(), 531u);
}

TEST(StyleScriptText, NamesTheArchitectureInBothPlaces) {
    const std::string_view architectures[] = {"X86", "amd64", "arm64", "arm", "*"};
    for (const std::string_view architecture : architectures) {
        std::string expected;
        for (const auto& line : kExpectedLines)
            expected += (line == R"(processorArchitecture="X86")"
                             ? R"(processorArchitecture=")" + std::string(architecture) + "\""
                             : line) +
                        "\r\n";
        EXPECT_EQ(StyleScriptFor(architecture), expected) << architecture;
        // Replaced without a backup, and taken away by a removal.
        EXPECT_TRUE(IsOwnStyleScript(expected)) << architecture;
    }
    EXPECT_FALSE(IsOwnStyleScript(std::string(kStyleScript) + "\r\n"));
    EXPECT_EQ(StyleScriptFor("X86"), kStyleScript);
}

TEST(StyleScriptText, IsPlainAsciiWithoutByteOrderMarkOrStrayLineBreaks) {
    for (const char c : kStyleScript)
        EXPECT_TRUE(c == '\r' || c == '\n' || (c >= 0x20 && c < 0x7F)) << int(c);
    EXPECT_EQ(kStyleScript.front(), '<');
    size_t crlf = 0;
    for (size_t i = 0; i + 1 < kStyleScript.size(); ++i) {
        if (kStyleScript[i] == '\r') {
            ASSERT_EQ(kStyleScript[i + 1], '\n') << "a CR without LF at " << i;
            ++crlf;
        }
    }
    EXPECT_EQ(crlf, 22u);
}

TEST(StyleScriptText, IdentityOpenersDifferOnlyInTheTrailingBlank) {
    EXPECT_NE(kStyleScript.find("<assemblyIdentity \r\nversion"), std::string_view::npos);
    EXPECT_NE(kStyleScript.find("<assemblyIdentity\r\ntype"), std::string_view::npos);
}

} // namespace
} // namespace sheen
