// The status bar's system line: wording, rounding, and refusing values that
// would otherwise wrap around.
#include "platform/system_info.h"
#include "sysdesc/system_description.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <regex>
#include <stdexcept>

namespace sheen {
namespace {

// EXPECT_THROW alone would also accept an overflow_error with another text.
void ExpectOverflow(const std::function<void()>& action) {
    try {
        action();
        ADD_FAILURE() << "no overflow_error";
    } catch (const std::overflow_error& error) {
        EXPECT_STREQ(error.what(), "Overflow");
    }
}

TEST(SystemDescription, WorkedExamples) {
    struct Case {
        std::int16_t platform;
        float version;
        std::int16_t build;
        const wchar_t* text;
    };
    for (const Case& c :
         std::initializer_list<Case>{{2, 5.1f, 2600, L"Windows XP, Version: 5, Build: 2600"},
                                     {2, 5.0f, 2195, L"Windows XP, Version: 5, Build: 2195"},
                                     {2, 6.1f, 7601, L"Windows XP, Version: 6, Build: 7601"},
                                     {2, 4.0f, 1381, L"Windows NT, Version: 4, Build: 1381"},
                                     {2, 4.99f, 1381, L"Windows NT, Version: 5, Build: 1381"},
                                     {2, 5.5f, 100, L"Windows XP, Version: 6, Build: 100"},
                                     {1, 4.10f, 2222, L"Windows 95/98/Me, Version: 4, Build: 2222"},
                                     {1, 4.90f, 3000, L"Windows 95/98/Me, Version: 5, Build: 3000"},
                                     {0, 3.1f, 0, L"Win32, Version: 3, Build: 0"},
                                     {3, 4.5f, 7, L"3, Version: 4, Build: 7"}})
        EXPECT_EQ(DescribeSystem(c.platform, c.version, c.build), c.text) << c.text;
}

TEST(SystemDescription, XpStartsAtExactlyFiveBeforeRounding) {
    EXPECT_EQ(DescribeSystem(2, 5.0f, 1), L"Windows XP, Version: 5, Build: 1");
    EXPECT_EQ(DescribeSystem(2, std::nextafter(5.0f, 0.0f), 1),
              L"Windows NT, Version: 5, Build: 1");
    EXPECT_EQ(DescribeSystem(2, 4.99f, 1), L"Windows NT, Version: 5, Build: 1");
}

TEST(SystemDescription, OnlyNtBecomesXp) {
    EXPECT_EQ(DescribeSystem(0, 10.0f, 1), L"Win32, Version: 10, Build: 1");
    EXPECT_EQ(DescribeSystem(1, 10.0f, 1), L"Windows 95/98/Me, Version: 10, Build: 1");
    EXPECT_EQ(DescribeSystem(3, 10.0f, 1), L"3, Version: 10, Build: 1");
}

TEST(SystemDescription, OtherPlatformCodesAndBuildsArePlainNumbers) {
    EXPECT_EQ(DescribeSystem(-1, 1.0f, 0), L"-1, Version: 1, Build: 0");
    EXPECT_EQ(DescribeSystem(32767, 1.0f, 32767), L"32767, Version: 1, Build: 32767");
    EXPECT_EQ(DescribeSystem(-32768, 1.0f, -32768), L"-32768, Version: 1, Build: -32768");
}

TEST(SystemDescription, HalvesRoundToTheEvenNeighbour) {
    EXPECT_EQ(DescribeSystem(9, 2.5f, 0), L"9, Version: 2, Build: 0");
    EXPECT_EQ(DescribeSystem(9, 3.5f, 0), L"9, Version: 4, Build: 0");
    EXPECT_EQ(DescribeSystem(9, -2.5f, 0), L"9, Version: -2, Build: 0");
    EXPECT_EQ(DescribeSystem(9, -0.4f, 0), L"9, Version: 0, Build: 0"); // not "-0"
    EXPECT_EQ(DescribeSystem(9, 3.51f, 0), L"9, Version: 4, Build: 0");
}

TEST(SystemDescriptionOverflow, RoundedVersionMustFitSixteenBits) {
    EXPECT_EQ(DescribeSystem(2, 32766.5f, 0), L"Windows XP, Version: 32766, Build: 0");
    EXPECT_EQ(DescribeSystem(2, -32768.0f, 0), L"Windows NT, Version: -32768, Build: 0");
    EXPECT_EQ(DescribeSystem(2, -32768.5f, 0), L"Windows NT, Version: -32768, Build: 0");
    for (const float version :
         {32767.5f, 40000.0f, -32769.5f, std::numeric_limits<float>::max(),
          std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
          std::numeric_limits<float>::quiet_NaN()})
        ExpectOverflow([&] { DescribeSystem(2, version, 0); });
}

TEST(SystemConversion, PlatformCodeMustFitSixteenBits) {
    EXPECT_EQ(PlatformCodeFrom(VER_PLATFORM_WIN32_NT), 2);
    EXPECT_EQ(PlatformCodeFrom(32767), 32767);
    for (const DWORD id : {32768ul, 40000ul, 0xFFFFFFFFul})
        ExpectOverflow([&] { PlatformCodeFrom(id); });
}

TEST(SystemConversion, BuildOutsideWindows9xMustFitWhole) {
    EXPECT_EQ(BuildFrom(2, 32767), 32767);
    ExpectOverflow([] { BuildFrom(2, 32768); });
    ExpectOverflow([] { BuildFrom(2, 67766446); }); // no low-word reading here
    ExpectOverflow([] { BuildFrom(0, 0x10000); });
}

TEST(SystemConversion, Windows9xBuildIsTheLowWord) {
    EXPECT_EQ(BuildFrom(1, 67766446), 2222); // what Wine's win98 reports
    EXPECT_EQ(BuildFrom(1, 0x04007FFF), 32767);
    ExpectOverflow([] { BuildFrom(1, 0x04008000); });
}

TEST(SystemConversion, VersionIsMajorDotMinorReadAsADecimal) {
    EXPECT_EQ(VersionFrom(4, 10), 4.1f);
    EXPECT_EQ(VersionFrom(5, 1), 5.1f);
    EXPECT_EQ(VersionFrom(10, 0), 10.0f);
    EXPECT_EQ(VersionFrom(6, 3), 6.3f);
    EXPECT_EQ(VersionFrom(3, 51), 3.51f);
    EXPECT_EQ(VersionFrom(4, 90), 4.9f);
}

TEST(CurrentSystem, DescribesTheRunningSystemInTheUsualShape) {
    OsVersion os;
    ASSERT_EQ(ReadOsVersion(os), DWORD(ERROR_SUCCESS));
    const std::wstring text = CurrentSystemDescription();
    EXPECT_EQ(text, DescribeSystem(PlatformCodeFrom(os.platformId), VersionFrom(os.major, os.minor),
                                   BuildFrom(os.platformId, os.build)));
    static const std::wregex shape(L"(Win32|Windows 95/98/Me|Windows NT|Windows XP|-?[0-9]+), "
                                   L"Version: -?[0-9]+, Build: -?[0-9]+");
    EXPECT_TRUE(std::regex_match(text, shape)) << text;
    if (os.platformId == VER_PLATFORM_WIN32_NT && os.major >= 5) {
        EXPECT_EQ(text.rfind(L"Windows XP, ", 0), 0u) << text;
    }

    // GetVersionExW may understate the version, never overstate it.
    OSVERSIONINFOW reported{};
    reported.dwOSVersionInfoSize = sizeof reported;
    ASSERT_TRUE(GetVersionExW(&reported));
    EXPECT_EQ(os.platformId, reported.dwPlatformId);
    EXPECT_GE(os.major * 100 + os.minor, reported.dwMajorVersion * 100 + reported.dwMinorVersion);
}

} // namespace
} // namespace sheen
