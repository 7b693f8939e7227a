#pragma once

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

}  // namespace dsp
