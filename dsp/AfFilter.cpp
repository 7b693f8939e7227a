#include "AfFilter.h"

#include "FilterDesign.h"

#include <cstring>
#include <iterator>

namespace dsp {

namespace {

// A section step with the sums grouped so that only a1 * w1 waits for the
// previous sample: one multiply-add of latency instead of three operations.
[[gnu::always_inline]] inline double BiquadStepFused(const BiquadSection& s, BiquadState& st,
                                                     double x)
{
    const double w0 = simd::Fma(s.a1, st.w1, simd::Fma(s.a2, st.w2, x));
    const double y = simd::Fma(s.b0, w0, simd::Fma(s.b1, st.w1, s.b2 * st.w2));
    st.w2 = st.w1;
    st.w1 = w0;
    return y;
}

}  // namespace

void AfFilter::Design(double lowKHz, double highKHz)
{
    DesignKaiserFir(kTaps - 1, 48.0, lowKHz, highKHz, 60.0, taps_);
    std::fill(std::begin(history_), std::end(history_), 0.0);
}

void AfFilter::EndBlock()
{
    std::memmove(history_, history_ + kBlockFrames, kHistory * sizeof(double));
}

// The high-pass is a serial chain and the AF filter a wide sum: the loop runs
// the first on one stretch of samples while the second filters the stretch
// before, so that the two overlap.
bool AfFilter::Process(const double* __restrict audio, const double* __restrict gate, double vol,
                       double* __restrict out)
{
    constexpr int kStretch = 16;
    static_assert(kBlockFrames % kStretch == 0);
    double* v = history_ + kHistory;
    BiquadState st = highPass_;  // a local: the loop's stores cannot alias it
    int over = 0;
    auto prepare = [&](int n0) __attribute__((always_inline))
    {
        for (int n = n0; n < n0 + kStretch; ++n) {
            const double x = BiquadStepFused(kHighPass, st, audio[n] * gate[n]) * vol;
            over |= static_cast<int>(x >= kLimit) | static_cast<int>(x <= -kLimit);
            v[n] = std::min(std::max(x, -kLimit), kLimit);
        }
    };
    // y[n] = sum over k of tap k * v[n - k]. The taps are symmetric, so the
    // sum folds onto taps 0..25: half the multiply-adds, and a chain short
    // enough for four sums to keep the units busy.
    auto filter = [&](int n0) __attribute__((always_inline))
    {
        simd::V4 acc[4] = {};
        for (int k = 0; k < kMid; ++k) {
            const simd::V4 t = simd::Splat4(taps_[k]);
            const double* a = v + n0 - k;
            const double* b = v + n0 - kHistory + k;
            for (int j = 0; j < 4; ++j)
                acc[j] = simd::Fma(t, simd::Load4(a + 4 * j) + simd::Load4(b + 4 * j), acc[j]);
        }
        const simd::V4 t = simd::Splat4(taps_[kMid]);
        const double* c = v + n0 - kMid;
        for (int j = 0; j < 4; ++j)
            simd::Store4(out + n0 + 4 * j, Limit(simd::Fma(t, simd::Load4(c + 4 * j), acc[j])));
    };
    prepare(0);
    for (int n0 = kStretch; n0 < kBlockFrames; n0 += kStretch) {
        prepare(n0);
        filter(n0 - kStretch);
    }
    filter(kBlockFrames - kStretch);
    highPass_ = st;
    EndBlock();
    return over != 0;
}

}  // namespace dsp
