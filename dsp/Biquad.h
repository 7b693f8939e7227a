#pragma once

#include "Vector.h"

namespace dsp {

// One second-order section. The feedback coefficients carry the sign that is
// added: H(z) = (b0 + b1 z^-1 + b2 z^-2) / (1 - a1 z^-1 - a2 z^-2).
struct BiquadSection {
    double a1 = 0, a2 = 0, b0 = 0, b1 = 0, b2 = 0;
};

struct BiquadState {
    double w1 = 0, w2 = 0;
};

// One step, the sums in the order they are written. The stages up to the AGC
// and the squelch use it: the AGC's instant attack turns a level error into
// four times that error of the opposite sign, so any other rounding there
// would grow into an audible difference.
inline double BiquadStep(const BiquadSection& s, BiquadState& st, double x)
{
    const double w0 = x + s.a1 * st.w1 + s.a2 * st.w2;
    const double y = s.b0 * w0 + s.b1 * st.w1 + s.b2 * st.w2;
    st.w2 = st.w1;
    st.w1 = w0;
    return y;
}

// The same with the sums grouped so that only a1 * w1 waits for the previous
// sample: one multiply-add of latency instead of three operations. For the
// stages after the squelch, where a last-bit difference stays one.
inline double BiquadStepFused(const BiquadSection& s, BiquadState& st, double x)
{
    const double w0 = simd::Fma(s.a1, st.w1, simd::Fma(s.a2, st.w2, x));
    const double y = simd::Fma(s.b0, w0, simd::Fma(s.b1, st.w1, s.b2 * st.w2));
    st.w2 = st.w1;
    st.w1 = w0;
    return y;
}

// Four independent sections stepped as the lanes of one vector: lane i holds
// the coefficients and state of its own filter. Each lane performs
// BiquadStep's operations in the same order, so it rounds exactly as the
// scalar step.
struct BiquadLanes {
    simd::V4 a1{}, a2{}, b0{}, b1{}, b2{};

    void Set(int lane, const BiquadSection& s)
    {
        a1[lane] = s.a1;
        a2[lane] = s.a2;
        b0[lane] = s.b0;
        b1[lane] = s.b1;
        b2[lane] = s.b2;
    }
};

struct BiquadLaneState {
    simd::V4 w1{}, w2{};

    BiquadState Get(int lane) const { return {w1[lane], w2[lane]}; }
    void Set(int lane, const BiquadState& s)
    {
        w1[lane] = s.w1;
        w2[lane] = s.w2;
    }
};

[[gnu::always_inline]] inline simd::V4 BiquadStep(const BiquadLanes& c, BiquadLaneState& st,
                                                  simd::V4 x)
{
    const simd::V4 w0 = x + c.a1 * st.w1 + c.a2 * st.w2;
    const simd::V4 y = c.b0 * w0 + c.b1 * st.w1 + c.b2 * st.w2;
    st.w2 = st.w1;
    st.w1 = w0;
    return y;
}

// The same, advancing the state only in the lanes whose mask is set.
[[gnu::always_inline]] inline simd::V4 BiquadStep(const BiquadLanes& c, BiquadLaneState& st,
                                                  simd::V4 x, simd::M4 active)
{
    const simd::V4 w0 = x + c.a1 * st.w1 + c.a2 * st.w2;
    const simd::V4 y = c.b0 * w0 + c.b1 * st.w1 + c.b2 * st.w2;
    st.w2 = active ? st.w1 : st.w2;
    st.w1 = active ? w0 : st.w1;
    return y;
}

}  // namespace dsp
