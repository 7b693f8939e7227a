#include "settings/ProfileValue.h"

#include <gtest/gtest.h>

using settings::ParseProfileInt;

TEST(ProfileValue, Decimal)
{
    EXPECT_EQ(ParseProfileInt("0"), 0);
    EXPECT_EQ(ParseProfileInt("120"), 120);
    EXPECT_EQ(ParseProfileInt("-12000"), -12000);
    EXPECT_EQ(ParseProfileInt("+5"), 5);
    EXPECT_EQ(ParseProfileInt("007"), 7);
}

TEST(ProfileValue, Hexadecimal)
{
    EXPECT_EQ(ParseProfileInt("0x10"), 16);
    EXPECT_EQ(ParseProfileInt("0X10"), 16);
    EXPECT_EQ(ParseProfileInt("$1F"), 31);
    EXPECT_EQ(ParseProfileInt("$1f"), 31);
    EXPECT_EQ(ParseProfileInt("0xff"), 255);
    EXPECT_EQ(ParseProfileInt("-$10"), -16);
    EXPECT_EQ(ParseProfileInt("-0x10"), -16);
}

TEST(ProfileValue, HexadecimalNamesA32BitPattern)
{
    EXPECT_EQ(ParseProfileInt("$FFFFFFFF"), -1);
    EXPECT_EQ(ParseProfileInt("0x80000000"), INT32_MIN);
    EXPECT_EQ(ParseProfileInt("$7FFFFFFF"), INT32_MAX);
    EXPECT_EQ(ParseProfileInt("-$80000000"), INT32_MIN);
    EXPECT_EQ(ParseProfileInt("$100000000"), std::nullopt);
    EXPECT_EQ(ParseProfileInt("-$FFFFFFFF"), std::nullopt);
}

TEST(ProfileValue, Limits)
{
    EXPECT_EQ(ParseProfileInt("2147483647"), INT32_MAX);
    EXPECT_EQ(ParseProfileInt("-2147483648"), INT32_MIN);
    EXPECT_EQ(ParseProfileInt("2147483648"), std::nullopt);
    EXPECT_EQ(ParseProfileInt("-2147483649"), std::nullopt);
    EXPECT_EQ(ParseProfileInt("99999999999999999999999999"), std::nullopt);
    EXPECT_EQ(ParseProfileInt("$FFFFFFFFFFFFFFFFFFFF"), std::nullopt);
}

TEST(ProfileValue, BlanksAroundAreIgnored)
{
    EXPECT_EQ(ParseProfileInt("  42"), 42);
    EXPECT_EQ(ParseProfileInt("42 \t\r"), 42);
    EXPECT_EQ(ParseProfileInt(" $10 "), 16);
}

TEST(ProfileValue, JunkIsNotANumber)
{
    for (const char* junk :
         {"",    "   ",  "abc",   "-",   "+",   "$",   "0x", "-$",  "--5", "-+5", "+-5",
          "$-1", "0x-1", "12abc", "1 2", "1.5", "1e3", "$G", "0xZ", "x10", "true"}) {
        EXPECT_EQ(ParseProfileInt(junk), std::nullopt) << '"' << junk << '"';
    }
}
