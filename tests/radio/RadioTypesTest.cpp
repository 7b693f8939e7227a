#include "radio/RadioTypes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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
    const struct {
        int32_t type;
        const char* name;
        int baudRate;
        int32_t minCenter, maxCenter, grid;
        double keypadMinMHz, keypadMaxMHz;
        bool invertIQ;
        std::vector<std::string> setUp;
    } cases[] = {
        {0,
         "DX-R8",
         9600,
         30000,
         34999990,
         10,
         0.03,
         34.99999,
         false,
         {"AL~RW_RFM05\r\n", "AL~SW_IQM01\r\n", "AL~SW_IQF 0000\r\n"}},
        {1,
         "DJ-X11",
         57600,
         50000,
         1299999950,
         50,
         0.5,
         1300.0,
         true,
         {"AL~SDRON\r\n", "AL~IQ0\r\n"}},
    };
    for (const auto& c : cases) {
        const RadioTypeInfo& r = RadioTypeOf(c.type);
        EXPECT_STREQ(r.Name, c.name);
        EXPECT_EQ(r.BaudRate, c.baudRate) << c.name;
        EXPECT_EQ(r.MinCenter, c.minCenter) << c.name;
        EXPECT_EQ(r.MaxCenter, c.maxCenter) << c.name;
        EXPECT_EQ(r.Grid, c.grid) << c.name;
        EXPECT_DOUBLE_EQ(r.KeypadMinMHz, c.keypadMinMHz) << c.name;
        EXPECT_DOUBLE_EQ(r.KeypadMaxMHz, c.keypadMaxMHz) << c.name;
        EXPECT_EQ(r.InvertIQ, c.invertIQ) << c.name;
        ASSERT_EQ(r.SetupCount, c.setUp.size()) << c.name;
        for (std::size_t k = 0; k < c.setUp.size(); ++k)
            EXPECT_EQ(r.SetupCommands[k], c.setUp[k]) << c.name << k;
    }
}

TEST(RadioTypes, AnyTypeOtherThanZeroAndHamlibIsTheSecondRadio)
{
    EXPECT_EQ(&RadioTypeOf(-1), &RadioTypeOf(1));
    EXPECT_EQ(&RadioTypeOf(3), &RadioTypeOf(1));
    EXPECT_STREQ(RadioTypeOf(kHamlibRadioType).Name, "Hamlib");
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
