// Numbers as the program writes them into names and messages.
#include "platform/number_text.h"

#include <gtest/gtest.h>

#include <limits>

namespace sheen {
namespace {

TEST(NumberText, DecimalIsPlain) {
    EXPECT_EQ(DecimalText(0), L"0");
    EXPECT_EQ(DecimalText(-32768), L"-32768");
    EXPECT_EQ(DecimalText<char>(4294967295u), "4294967295");
    EXPECT_EQ(DecimalText(std::numeric_limits<std::int64_t>::min()), L"-9223372036854775808");
}

TEST(NumberText, HexIsPaddedToItsWidthAndNeverCut) {
    EXPECT_EQ(HexText(0x2a, 8), L"0000002a");
    EXPECT_EQ(HexText<char>(0x2a, 4, true), "002A");
    EXPECT_EQ(HexText(0xdeadbeef, 4), L"deadbeef");
    EXPECT_EQ(HexText(0, 0), L"0");
}

} // namespace
} // namespace sheen
