#include "radio/RadioTypes.h"

#include <gtest/gtest.h>

#include <string>

namespace radio {
namespace {

std::string Command(int32_t type, int32_t fs)
{
    char out[kMaxCommandLength];
    const std::size_t n = FormatFrequencyCommand(type, fs, out);
    return std::string(out, n);
}

TEST(RadioTypes, TableOfBothRadios)
{
    const RadioTypeInfo& dx = RadioTypeOf(0);
    EXPECT_STREQ(dx.Name, "DX-R8");
    EXPECT_EQ(dx.BaudRate, 9600);
    EXPECT_EQ(dx.MinCenter, 30000);
    EXPECT_EQ(dx.MaxCenter, 34999990);
    EXPECT_EQ(dx.Grid, 10);
    EXPECT_DOUBLE_EQ(dx.KeypadMinMHz, 0.03);
    EXPECT_DOUBLE_EQ(dx.KeypadMaxMHz, 34.99999);
    EXPECT_FALSE(dx.InvertIQ);
    ASSERT_EQ(dx.SetupCount, 3u);
    EXPECT_STREQ(dx.SetupCommands[0], "AL~RW_RFM05\r\n");
    EXPECT_STREQ(dx.SetupCommands[1], "AL~SW_IQM01\r\n");
    EXPECT_STREQ(dx.SetupCommands[2], "AL~SW_IQF 0000\r\n");

    const RadioTypeInfo& dj = RadioTypeOf(1);
    EXPECT_STREQ(dj.Name, "DJ-X11");
    EXPECT_EQ(dj.BaudRate, 57600);
    EXPECT_EQ(dj.MinCenter, 50000);
    EXPECT_EQ(dj.MaxCenter, 1299999950);
    EXPECT_EQ(dj.Grid, 50);
    EXPECT_DOUBLE_EQ(dj.KeypadMinMHz, 0.5);
    EXPECT_DOUBLE_EQ(dj.KeypadMaxMHz, 1300.0);
    EXPECT_TRUE(dj.InvertIQ);
    ASSERT_EQ(dj.SetupCount, 2u);
    EXPECT_STREQ(dj.SetupCommands[0], "AL~SDRON\r\n");
    EXPECT_STREQ(dj.SetupCommands[1], "AL~IQ0\r\n");
}

TEST(RadioTypes, AnyTypeOtherThanZeroIsTheSecondRadio)
{
    EXPECT_EQ(&RadioTypeOf(-1), &RadioTypeOf(1));
    EXPECT_EQ(&RadioTypeOf(2), &RadioTypeOf(1));
    EXPECT_EQ(&RadioTypeOf(1000), &RadioTypeOf(1));
    EXPECT_NE(&RadioTypeOf(0), &RadioTypeOf(1));
}

TEST(RadioTypes, FrequencyCommandsArePaddedToTheirWidth)
{
    EXPECT_EQ(Command(0, 30000), "AL~RW_RXF00030000\r\n");
    EXPECT_EQ(Command(0, 34999990), "AL~RW_RXF34999990\r\n");
    EXPECT_EQ(Command(1, 50000), "AL~FW00000050000\r\n");
    EXPECT_EQ(Command(1, 1299999950), "AL~FW01299999950\r\n");
    EXPECT_EQ(Command(7, 145000000), "AL~FW00145000000\r\n");
}

}  // namespace
}  // namespace radio
