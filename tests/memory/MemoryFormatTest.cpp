#include "memory/MemoryFormat.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace memory {
namespace {

TEST(MemoryFormat, CaptionsOfTheListsFirstColumn)
{
    const struct {
        int32_t hz;
        const char* caption;
    } cases[] = {
        {7100000, "   7.100.000"},
        {145000000, " 145.000.000"},
        {500000, "   0.500.000"},
        {1299999950, "1299.999.950"},
        {0, "   0.000.000"},
        {5, "   0.000.005"},
        {std::numeric_limits<int32_t>::max(), "2147.483.647"},
        // Negative frequencies only come from a foreign file; they keep a
        // readable caption and their value.
        {-7100000, "  -7.100.000"},
        {-500000, "  -0.500.000"},
        {-1299999950, "-1299.999.950"},
        {std::numeric_limits<int32_t>::min(), "-2147.483.648"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatHzCaption(c.hz), c.caption) << c.hz;
        EXPECT_EQ(ParseHzCaption(c.caption), c.hz) << c.caption;
    }
}

TEST(MemoryFormat, CaptionParsesBackAcrossTheWholeRange)
{
    for (int64_t hz = 0; hz <= std::numeric_limits<int32_t>::max(); hz += 7919 * 1031 + 17) {
        const std::string caption = FormatHzCaption(static_cast<int32_t>(hz));
        ASSERT_EQ(caption.size(), 12u);
        ASSERT_EQ(ParseHzCaption(caption), hz);
    }
}

TEST(MemoryFormat, ReadDecimalOddities)
{
    const struct {
        const char* text;
        double value;
    } cases[] = {
        {"7.1", 7.1},    {"145", 145.0}, {"", 0.0},    {".5", 0.5},
        {"7.1.5", 7.15},                 // a second "." is ignored, the digits go on as decimals
        {"7-.1", -7.1},                  // a "-" anywhere makes it negative
        {"-7.1", -7.1},  {"+7.1", 0.0},  // anything else makes the whole value 0
        {" 7.1", 0.0},   {"7.1 ", 0.0},  {"7,1", 0.0}, {"7.1e3", 0.0},
    };
    for (const auto& c : cases)
        EXPECT_NEAR(ReadDecimal(c.text), c.value, 1e-12) << '"' << c.text << '"';
}

TEST(MemoryFormat, ReadSignedIntOddities)
{
    EXPECT_EQ(ReadSignedInt("3"), 3);
    EXPECT_EQ(ReadSignedInt(""), 0);
    EXPECT_EQ(ReadSignedInt("-1"), -1);
    EXPECT_EQ(ReadSignedInt("1-"), -1);
    EXPECT_EQ(ReadSignedInt("+3"), 0);
    EXPECT_EQ(ReadSignedInt("3\r"), 0);  // the list strips the CR before this
    EXPECT_EQ(ReadSignedInt("99999999999999999999"), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(ReadSignedInt("-99999999999999999999"), std::numeric_limits<int32_t>::min());
}

TEST(MemoryFormat, MegahertzToWholeHertzHalvesUp)
{
    EXPECT_EQ(HzFromMHz(ReadDecimal("7.1000049")), 7100005);
    EXPECT_EQ(HzFromMHz(ReadDecimal("7.10000049")), 7100000);
    EXPECT_EQ(HzFromMHz(ReadDecimal("-0.500000")), -500000);
    EXPECT_EQ(HzFromMHz(1e300), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(HzFromMHz(-1e300), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(HzFromMHz(ReadDecimal(std::string(400, '9'))), std::numeric_limits<int32_t>::max());
}

TEST(MemoryFormat, FrequencyTexts)
{
    EXPECT_EQ(FileMHz(7100000), "7.100000");
    EXPECT_EQ(FileMHz(7100005), "7.100005");
    EXPECT_EQ(FileMHz(-500000), "-0.500000");
    EXPECT_EQ(PlainMHz(7100000), "7.1");
    EXPECT_EQ(PlainMHz(145000000), "145");
    EXPECT_EQ(PlainMHz(7100005), "7.100005");
    EXPECT_EQ(PlainMHz(50), "0.00005");  // not "5e-05", which the dialog refused
    // Both texts read back to the same hertz, also at the ends of the range.
    for (const int32_t hz : {0, 1, 50, 99, 100, 999999, 7100005, 2147483647, -1, -2147483647 - 1}) {
        SCOPED_TRACE(hz);
        EXPECT_EQ(HzFromMHz(ReadDecimal(FileMHz(hz))), hz);
        EXPECT_EQ(HzFromMHz(ReadDecimal(PlainMHz(hz))), hz);
        EXPECT_EQ(IsDecimalNumber(PlainMHz(hz)), hz >= 0);
    }
    EXPECT_TRUE(IsDecimalNumber("7.1"));
    EXPECT_TRUE(IsDecimalNumber("145"));
    EXPECT_FALSE(IsDecimalNumber(""));
    EXPECT_FALSE(IsDecimalNumber("."));
    EXPECT_FALSE(IsDecimalNumber("7.1.5"));
    EXPECT_FALSE(IsDecimalNumber(" 7.1"));
    EXPECT_FALSE(IsDecimalNumber("-7.1"));
    EXPECT_FALSE(IsDecimalNumber("7,1"));
}

TEST(MemoryFormat, ModeNamesAndCodes)
{
    EXPECT_EQ(ModeName(3), "LSB");
    EXPECT_EQ(ModeName(-1), "");
    EXPECT_EQ(ModeName(9), "");
    EXPECT_EQ(ModeCode("USB"), 4);
    EXPECT_EQ(ModeCode(""), -1);
}

}  // namespace
}  // namespace memory
