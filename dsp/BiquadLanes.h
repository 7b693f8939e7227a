#pragma once

#include "Biquad.h"
#include "Vector.h"

namespace dsp {

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
