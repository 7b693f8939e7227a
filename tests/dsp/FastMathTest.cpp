// The oscillator and FM kernels against the C library: both chains (the
// production one and the literal model) use these kernels, so their accuracy
// is pinned here on its own.
#include "dsp/FastMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>

namespace {

int64_t Ulps(double a, double b)
{
    if (a == b)
        return 0;
    int64_t ia, ib;
    std::memcpy(&ia, &a, 8);
    std::memcpy(&ib, &b, 8);
    if ((ia < 0) != (ib < 0))
        return INT64_MAX;
    return std::llabs(ia - ib);
}

// The error that matters for a value near zero is absolute, not relative.
bool Close(double got, double want, int64_t maxUlps)
{
    return Ulps(got, want) <= maxUlps || std::fabs(got - want) <= 2e-16;
}

TEST(FastMath, SinCosWithinOneUlpOverAFullTurn)
{
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> turn(0.0, dsp::fastmath::kTwoPi);
    for (int i = 0; i < 200000; ++i) {
        const double phi = i < 1000 ? i * dsp::fastmath::kTwoPi / 1000 : turn(rng);
        double s, c;
        dsp::fastmath::SinCos(phi, s, c);
        ASSERT_TRUE(Close(s, std::sin(phi), 1)) << phi << " " << s << " " << std::sin(phi);
        ASSERT_TRUE(Close(c, std::cos(phi), 1)) << phi << " " << c << " " << std::cos(phi);
    }
    double s, c;
    dsp::fastmath::SinCos(0.0, s, c);
    EXPECT_EQ(s, 0.0);
    EXPECT_EQ(c, 1.0);
}

TEST(FastMath, SinCosAtTheQuadrantEdges)
{
    for (int q = 0; q <= 4; ++q) {
        for (double eps : {-1e-9, 0.0, 1e-9}) {
            const double phi = q * dsp::fastmath::kPi / 2 + eps;
            if (phi < 0)
                continue;
            double s, c;
            dsp::fastmath::SinCos(phi, s, c);
            EXPECT_TRUE(Close(s, std::sin(phi), 1)) << phi;
            EXPECT_TRUE(Close(c, std::cos(phi), 1)) << phi;
        }
    }
}

TEST(FastMath, Atan2WithinTwoUlpsInEveryOctant)
{
    std::mt19937_64 rng(12);
    std::uniform_real_distribution<double> v(-40000.0, 40000.0);
    for (int i = 0; i < 200000; ++i) {
        const double y = v(rng), x = v(rng);
        ASSERT_TRUE(Close(dsp::fastmath::Atan2(y, x), std::atan2(y, x), 2)) << y << " " << x;
    }
    // The reduction's range edges and the axes.
    for (double t : {0.4374999, 0.4375, 0.6874999, 0.6875, 1.0}) {
        for (int sy : {-1, 1})
            for (int sx : {-1, 1}) {
                EXPECT_TRUE(
                    Close(dsp::fastmath::Atan2(sy * t, sx * 1.0), std::atan2(sy * t, sx * 1.0), 2));
                EXPECT_TRUE(
                    Close(dsp::fastmath::Atan2(sy * 1.0, sx * t), std::atan2(sy * 1.0, sx * t), 2));
            }
    }
    EXPECT_EQ(dsp::fastmath::Atan2(0.0, 0.0), 0.0);
    EXPECT_EQ(dsp::fastmath::Atan2(-0.0, -0.0), 0.0);
    EXPECT_DOUBLE_EQ(dsp::fastmath::Atan2(1.0, 0.0), dsp::fastmath::kPi / 2);
    EXPECT_DOUBLE_EQ(dsp::fastmath::Atan2(0.0, -1.0), dsp::fastmath::kPi);
    EXPECT_DOUBLE_EQ(dsp::fastmath::Atan2(-0.0, -1.0), -dsp::fastmath::kPi);
    EXPECT_DOUBLE_EQ(dsp::fastmath::Atan2(-3.0, 0.0), -dsp::fastmath::kPi / 2);
}

}  // namespace

TEST(FastMath, LogWithinOneUlpOverTheWholeRange)
{
    std::mt19937_64 rng(13);
    std::uniform_real_distribution<double> mant(1.0, 2.0);
    std::uniform_int_distribution<int> expo(-1074, 1023);
    for (int i = 0; i < 300000; ++i) {
        const double x = std::ldexp(mant(rng), expo(rng));
        if (x == 0.0 || !std::isfinite(x))
            continue;
        ASSERT_TRUE(Close(dsp::fastmath::Log(x), std::log(x), 1)) << x;
    }
    // Near 1, where the result is small and the reduction switches form.
    std::uniform_real_distribution<double> near(0.5, 2.0);
    for (int i = 0; i < 200000; ++i) {
        const double x = near(rng);
        ASSERT_TRUE(Close(dsp::fastmath::Log(x), std::log(x), 1)) << x;
    }
    EXPECT_EQ(dsp::fastmath::Log(1.0), 0.0);
    EXPECT_EQ(dsp::fastmath::Log(std::nextafter(1.0, 2.0)), std::log(std::nextafter(1.0, 2.0)));
    EXPECT_TRUE(
        Close(dsp::fastmath::Log(4.9406564584124654e-324), std::log(4.9406564584124654e-324), 1));
    EXPECT_TRUE(
        Close(dsp::fastmath::Log(1.7976931348623157e308), std::log(1.7976931348623157e308), 1));
    EXPECT_TRUE(Close(dsp::fastmath::Log(2.0), std::log(2.0), 0));
}
