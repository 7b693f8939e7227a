// The eight-wide, staged arctangent the FM demodulator runs must give the
// very angles of the scalar kernel, lane by lane, over every branch of the
// reduction, the axes, signed zeros and subnormal inputs.
#include "dsp/FastMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace {

using dsp::fastmath::Atan2;
using dsp::fastmath::Atan2x8;

uint64_t Bits(double v)
{
    uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

// Runs the stages on eight pairs and compares each lane with Atan2.
void ExpectSameAngles(const double* y, const double* x)
{
    Atan2x8 a;
    a.Start(y, x);
    a.Reduce();
    a.PolyInner();
    a.PolyOuter();
    const Atan2x8::V r = a.Finish();
    for (int j = 0; j < 8; ++j)
        ASSERT_EQ(Bits(r[j]), Bits(Atan2(y[j], x[j])))
            << "atan2(" << y[j] << ", " << x[j] << "): " << r[j] << " instead of "
            << Atan2(y[j], x[j]);
}

TEST(StagedArctangent, SameAnglesAsTheScalarKernelOnRandomPairs)
{
    std::mt19937_64 rng(23);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::uniform_int_distribution<int> e(-40, 40);
    double y[8], x[8];
    for (int k = 0; k < 40000; ++k) {
        for (int j = 0; j < 8; ++j) {
            y[j] = std::ldexp(u(rng), e(rng));
            x[j] = std::ldexp(u(rng), e(rng));
        }
        ExpectSameAngles(y, x);
    }
}

TEST(StagedArctangent, SameAnglesAtTheReductionEdgesAndOnTheAxes)
{
    // Ratios at and around 7/16, 11/16 and 1, in every quadrant, with the
    // arguments exchanged; zeros of both signs; subnormal and huge values.
    std::vector<std::pair<double, double>> pairs;
    for (double t : {0.4375, 0.6875, 1.0, 0.5, 0.0, 1e-300})
        for (double eps : {-1e-15, 0.0, 1e-15})
            for (int q = 0; q < 8; ++q) {
                const double a = t + eps, b = 1.0;
                const double sy = (q & 1) ? -1.0 : 1.0, sx = (q & 2) ? -1.0 : 1.0;
                if (q & 4)
                    pairs.push_back({sy * b, sx * a});
                else
                    pairs.push_back({sy * a, sx * b});
            }
    for (double a : {0.0, -0.0, 4.9e-324, -4.9e-324, 2.2e-308, 1e300, -1e300, 3.0})
        for (double b : {0.0, -0.0, 4.9e-324, -2.2e-308, 1e-310, -1e300, -3.0})
            pairs.push_back({a, b});
    while (pairs.size() % 8)
        pairs.push_back({0.0, 0.0});
    for (size_t k = 0; k < pairs.size(); k += 8) {
        double y[8], x[8];
        for (int j = 0; j < 8; ++j) {
            y[j] = pairs[k + j].first;
            x[j] = pairs[k + j].second;
        }
        ExpectSameAngles(y, x);
    }
    double zero[8] = {};
    Atan2x8 a;
    a.Start(zero, zero);
    a.Reduce();
    a.PolyInner();
    a.PolyOuter();
    for (int j = 0; j < 8; ++j)
        EXPECT_EQ(a.Finish()[j], 0.0);  // atan2(0, 0) = 0, as the scalar kernel
}

}  // namespace

namespace {

using dsp::fastmath::SinCos;
using dsp::fastmath::SinCosx8;

TEST(StagedSinCos, SameValuesAsTheScalarKernelOverTheOscillatorRange)
{
    // Phases as the oscillators hold them, [0, 2 pi), a little either side,
    // and every quadrant edge with its neighbours.
    std::vector<double> phases;
    std::mt19937_64 rng(29);
    std::uniform_real_distribution<double> turn(-0.01, dsp::fastmath::kTwoPi + 0.01);
    for (int k = 0; k < 80000; ++k)
        phases.push_back(turn(rng));
    for (int q = 0; q <= 4; ++q)
        for (double eps : {-1e-12, -4e-16, 0.0, 4e-16, 1e-12})
            phases.push_back(q * dsp::fastmath::kPi / 2 + eps);
    phases.push_back(0.0);
    phases.push_back(-0.0);
    phases.push_back(4.9e-324);
    while (phases.size() % 8)
        phases.push_back(1.0);
    for (size_t k = 0; k < phases.size(); k += 8) {
        SinCosx8 sc;
        sc.Reduce(&phases[k]);
        sc.PolyInner();
        SinCosx8::V s, c;
        sc.Finish(s, c);
        for (int j = 0; j < 8; ++j) {
            double ws, wc;
            SinCos(phases[k + j], ws, wc);
            ASSERT_EQ(Bits(s[j]), Bits(ws)) << "sin " << phases[k + j];
            ASSERT_EQ(Bits(c[j]), Bits(wc)) << "cos " << phases[k + j];
        }
    }
}

}  // namespace
