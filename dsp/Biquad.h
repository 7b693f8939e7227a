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

// A state value this small is what is left of a signal after a long
// stretch of exact digital silence; a signal of any level keeps the states
// many orders of magnitude above it.
inline constexpr double kNegligible = 1e-100;

// Decided: at the end of each block, state values below kNegligible become
// zero. Left alone they would decay into the subnormal range, where the
// processor computes many times slower (a silent block took twice as long),
// and stay there: a decaying section can hang on the smallest subnormal for
// ever. Nothing audible changes: such values are some 2000 dB below a
// sample.
inline void FlushNegligible(BiquadState& s)
{
    s.w1 = s.w1 > -kNegligible && s.w1 < kNegligible ? 0.0 : s.w1;
    s.w2 = s.w2 > -kNegligible && s.w2 < kNegligible ? 0.0 : s.w2;
}

}  // namespace dsp
