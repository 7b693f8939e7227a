#include "core/model/Format.h"
#include "core/model/MeterNeedle.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

std::string Freq(int32_t hz) { return core::FormatFrequency(hz).data(); }
std::string Offset(int32_t tune) { return core::FormatOffset(tune).data(); }
std::string Step(int32_t step) { return core::FormatStep(step).data(); }

TEST(FormatFrequency, GroupsMegahertzKilohertzHertz)
{
    EXPECT_EQ(Freq(7100000), "   7.100.000");
    EXPECT_EQ(Freq(145000000), " 145.000.000");
    EXPECT_EQ(Freq(50000), "   0.050.000");
    EXPECT_EQ(Freq(1299999950), "1299.999.950");
    EXPECT_EQ(Freq(5000000), "   5.000.000");
    EXPECT_EQ(Freq(5012000), "   5.012.000");
}

TEST(FormatFrequency, SmallAndLargestValues)
{
    EXPECT_EQ(Freq(0), "   0.000.000");
    EXPECT_EQ(Freq(7), "   0.000.007");
    EXPECT_EQ(Freq(999), "   0.000.999");
    EXPECT_EQ(Freq(1000000), "   1.000.000");
    EXPECT_EQ(Freq(INT32_MAX), "2147.483.647");
}

TEST(FormatFrequency, NegativeShowsZeroInsteadOfAStrayMinus)
{
    EXPECT_EQ(Freq(-5), "   0.000.000");
    EXPECT_EQ(Freq(INT32_MIN), "   0.000.000");
}

TEST(FormatFrequency, AlwaysTwelveCharactersAndTerminated)
{
    for (int32_t f : {0, 1, 12, 123456, 30000000, 1300000000}) {
        const core::FrequencyText t = core::FormatFrequency(f);
        EXPECT_EQ(t[12], '\0');
        EXPECT_EQ(std::string(t.data()).size(), 12u) << f;
    }
}

TEST(FormatOffset, SignKilohertzThreeDecimals)
{
    EXPECT_EQ(Offset(1234), "+ 1.234");
    EXPECT_EQ(Offset(-12000), "-12.000");
    EXPECT_EQ(Offset(5), "+ 0.005");
    EXPECT_EQ(Offset(0), "+ 0.000");
    EXPECT_EQ(Offset(-5), "- 0.005");
    EXPECT_EQ(Offset(24000), "+24.000");
    EXPECT_EQ(Offset(-999), "- 0.999");
}

TEST(FormatOffset, OutOfBandMagnitudesStayInSevenCharacters)
{
    EXPECT_EQ(Offset(99999), "+99.999");
    EXPECT_EQ(Offset(100000), "+99.999");
    EXPECT_EQ(Offset(INT32_MIN), "-99.999");
    EXPECT_EQ(Offset(INT32_MAX), "+99.999");
}

TEST(FormatStep, HertzBelowOneKilohertz)
{
    EXPECT_EQ(Step(1), "1 Hz");
    EXPECT_EQ(Step(500), "500 Hz");
    EXPECT_EQ(Step(999), "999 Hz");
}

TEST(FormatStep, KilohertzWithTwoDecimals)
{
    EXPECT_EQ(Step(1000), "1.00 kHz");
    EXPECT_EQ(Step(6250), "6.25 kHz");
    EXPECT_EQ(Step(9000), "9.00 kHz");
    EXPECT_EQ(Step(12500), "12.50 kHz");
    EXPECT_EQ(Step(20000), "20.00 kHz");
}

TEST(FormatStep, ExtremesFitTheBuffer)
{
    EXPECT_EQ(Step(INT32_MIN), "-2147483648 Hz");
    EXPECT_EQ(Step(INT32_MAX), "2147483.65 kHz");
}

TEST(Knob, ClickOnTheCentreLeavesTheAngle)
{
    for (auto [x, y] : {std::pair{15, 16}, {18, 19}, {20, 16}, {15, 11}, {12, 20}}) {
        const core::KnobAnswer a = core::KnobAngleFromPoint(x, y, 37);
        EXPECT_FALSE(a.changed) << x << "," << y;
        EXPECT_EQ(a.angle, 37);
    }
}

TEST(Knob, ClickSetsTheAngleOfThePoint)
{
    EXPECT_EQ(core::KnobAngleFromPoint(15, 0, -150).angle, 0);  // straight up
    EXPECT_EQ(core::KnobAngleFromPoint(21, 16, 0).angle, 90);   // just outside the centre
    EXPECT_EQ(core::KnobAngleFromPoint(31, 16, 0).angle, 90);   // right
    EXPECT_EQ(core::KnobAngleFromPoint(0, 16, 0).angle, -90);   // left
    EXPECT_EQ(core::KnobAngleFromPoint(31, 0, 0).angle, 45);
    EXPECT_EQ(core::KnobAngleFromPoint(0, 1, 0).angle, -45);
    EXPECT_TRUE(core::KnobAngleFromPoint(21, 16, 0).changed);
}

TEST(Knob, BelowTheCentreClampsToTheEnds)
{
    EXPECT_EQ(core::KnobAngleFromPoint(15, 30, 0).angle, 150);   // straight below
    EXPECT_EQ(core::KnobAngleFromPoint(14, 30, 0).angle, -150);  // one pixel left of it
    EXPECT_EQ(core::KnobAngleFromPoint(16, 30, 0).angle, 150);
    EXPECT_EQ(core::KnobAngleFromPoint(31, 32, 0).angle, 135);
}

TEST(Knob, WheelStepsFourDegreesAndClamps)
{
    EXPECT_EQ(core::KnobStep(-148, -1), -150);
    EXPECT_EQ(core::KnobStep(148, 1), 150);
    EXPECT_EQ(core::KnobStep(0, 1), 4);
    EXPECT_EQ(core::KnobStep(0, 0), -4);  // zero counts as down
    EXPECT_EQ(core::KnobStep(0, -32768), -4);
    EXPECT_EQ(core::KnobStep(-150, -1), -150);
    EXPECT_EQ(core::KnobStep(INT32_MAX, 1), 150);
}

TEST(TruncCoordinate, TowardZeroButNotBelowAWholeNumberByNoise)
{
    EXPECT_EQ(core::TruncCoordinate(4.9999999999999991), 5);
    EXPECT_EQ(core::TruncCoordinate(-34.999999999999986), -35);
    EXPECT_EQ(core::TruncCoordinate(60.62), 60);
    EXPECT_EQ(core::TruncCoordinate(-60.62), -60);
    EXPECT_EQ(core::TruncCoordinate(4.99), 4);
    EXPECT_EQ(core::TruncCoordinate(0.0), 0);
}

TEST(MeterDbOverS9, TheFacesMarksAndTheNeedlesEnds)
{
    // S1 to S9 in 6 dB steps over 35..105 degrees, then 1 dB per degree.
    EXPECT_DOUBLE_EQ(core::MeterDbOverS9(35.0), -48.0);
    EXPECT_DOUBLE_EQ(core::MeterDbOverS9(35.0 + 70.0 / 8.0), -42.0);  // S2
    EXPECT_DOUBLE_EQ(core::MeterDbOverS9(105.0), 0.0);
    EXPECT_DOUBLE_EQ(core::MeterDbOverS9(125.0), 20.0);
    EXPECT_DOUBLE_EQ(core::MeterDbOverS9(145.0), 40.0);
    EXPECT_DOUBLE_EQ(core::MeterDbOverS9(150.0), 45.0);
    EXPECT_NEAR(core::MeterDbOverS9(30.0), -51.43, 0.01);
    // The needle before the first block, and anything beyond its travel.
    EXPECT_DOUBLE_EQ(core::MeterDbOverS9(0.0), core::MeterDbOverS9(30.0));
    EXPECT_DOUBLE_EQ(core::MeterDbOverS9(400.0), 45.0);
}

}  // namespace
