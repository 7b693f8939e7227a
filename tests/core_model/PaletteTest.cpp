#include "core/model/Palette.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>

namespace core {
void PrintTo(const Rgb& c, std::ostream* os)
{
    *os << "RGB(" << int(c.r) << "," << int(c.g) << "," << int(c.b) << ")";
}
}  // namespace core

namespace {

using core::PaletteColor;
using core::Rgb;

constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kWhite{255, 255, 255};
constexpr double kInf = std::numeric_limits<double>::infinity();

enum Palette { Mono, Blue, Yellow, Red, Green, Color };

TEST(PaletteColor, EveryPaletteRunsFromBlackToWhite)
{
    for (int p = 0; p < core::kPaletteCount; ++p) {
        SCOPED_TRACE(p);
        for (double v : {0.0, -0.0, -0.001, -1.0, -500.0, -1e300, -kInf})
            EXPECT_EQ(PaletteColor(v, p), kBlack) << v;
        for (double v : {1530.0, 1530.5, 1e6, 1e300, kInf})
            EXPECT_EQ(PaletteColor(v, p), kWhite) << v;
        EXPECT_EQ(PaletteColor(std::nan(""), p), kBlack);
    }
}

// The edges of the scale and of the segments, where an off-by-one or a
// rounding instead of a truncation shows.
TEST(PaletteColor, EdgesOfTheScaleAndOfTheSegments)
{
    struct Case {
        double v;
        int p;
        Rgb expected;
    };
    const Case cases[] = {
        {1530, Mono, kWhite},
        {1529, Mono, {254, 254, 254}},
        {1529.999, Mono, {254, 254, 254}},
        {5.999, Mono, {0, 0, 0}},
        {6, Mono, {1, 1, 1}},
        {510, Blue, {0, 0, 255}},  // the start of segment 1
        {509.999, Blue, {0, 0, 254}},
        {1020, Blue, {0, 255, 255}},                // the start of segment 2
        {1019.9999999999999, Blue, {0, 254, 255}},  // still segment 1
        {1529, Blue, {254, 255, 255}},
        {1529.999, Blue, {254, 255, 255}},
        {1530, Blue, kWhite},
        {600, Yellow, {255, 149, 0}},
        {510, Yellow, {255, 127, 0}},  // h + 127 starts at 127
        {1019, Yellow, {255, 254, 0}},
        {765, Color, {0, 255, 0}},
        {1529.9, Color, {255, 254, 254}},
        {1530, Color, kWhite},
        {1275, Color, {255, 0, 0}},  // the start of the last segment
    };
    for (const Case& c : cases)
        EXPECT_EQ(PaletteColor(c.v, c.p), c.expected) << "v " << c.v << ", palette " << c.p;
}

// Every segment of every palette at a whole step and at a fractional one:
// g = 100 (h = 50) and g = 201.75 (truncated to 201, h = 100) for the three
// ramps over v / 2, h = 100 and h = 254.9 for the six of "Color".
TEST(PaletteColor, EverySegmentOfEveryPalette)
{
    struct Case {
        int p;
        double v;
        Rgb expected;
    };
    const Case cases[] = {
        {Mono, 600, {100, 100, 100}},    {Mono, 227.4, {37, 37, 37}},
        {Mono, 1500, {250, 250, 250}},

        {Blue, 200, {0, 0, 100}},        {Blue, 710, {0, 100, 255}},
        {Blue, 1220, {100, 255, 255}},   {Blue, 403.5, {0, 0, 201}},
        {Blue, 913.5, {0, 201, 255}},    {Blue, 1423.5, {201, 255, 255}},

        {Yellow, 200, {100, 50, 0}},     {Yellow, 710, {255, 177, 0}},
        {Yellow, 1220, {255, 255, 100}}, {Yellow, 403.5, {201, 100, 0}},
        {Yellow, 913.5, {255, 227, 0}},  {Yellow, 1423.5, {255, 255, 201}},

        {Red, 200, {100, 0, 0}},         {Red, 710, {255, 0, 50}},
        {Red, 1220, {255, 100, 177}},    {Red, 403.5, {201, 0, 0}},
        {Red, 913.5, {255, 0, 100}},     {Red, 1423.5, {255, 201, 227}},

        {Green, 200, {0, 100, 0}},       {Green, 710, {50, 255, 100}},
        {Green, 1220, {177, 255, 255}},  {Green, 403.5, {0, 201, 0}},
        {Green, 913.5, {100, 255, 201}}, {Green, 1423.5, {227, 255, 255}},

        {Color, 100, {0, 0, 100}},       {Color, 355, {0, 100, 255}},
        {Color, 610, {0, 255, 155}},     {Color, 865, {100, 255, 0}},
        {Color, 1120, {255, 155, 0}},    {Color, 1375, {255, 100, 100}},
        {Color, 254.9, {0, 0, 254}},     {Color, 509.9, {0, 254, 255}},
        {Color, 764.9, {0, 255, 1}},     {Color, 1019.9, {254, 255, 0}},
        {Color, 1274.9, {255, 1, 0}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PaletteColor(c.v, c.p), c.expected) << "v " << c.v << ", palette " << c.p;
}

TEST(PaletteColor, AnUnknownPaletteDrawsAsMono)
{
    for (int p : {-1, 6, 1000})
        for (double v : {0.0, 600.0, 1529.0, 1530.0})
            EXPECT_EQ(PaletteColor(v, p), PaletteColor(v, Mono)) << p << " " << v;
}

}  // namespace
