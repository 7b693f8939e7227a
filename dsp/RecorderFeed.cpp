#include "RecorderFeed.h"

#include "Constants.h"
#include "Rounding.h"
#include "Vector.h"

#include <algorithm>
#include <type_traits>

namespace dsp {

// The four sections run side by side in the lanes of one vector step, section
// k on sample n - kLag * k in iteration n, so that a section's input, the
// output of the section before, was formed kLag iterations earlier: the
// sections' chains overlap and no lane waits for another. The sums are
// grouped as in the high-pass of the AF stage: only a1 * w1 waits for the
// sample before.
void RecorderFeed::Process(const double* __restrict a, int16_t* __restrict out)
{
    using simd::M4;
    using simd::V4;
    constexpr int kN = kBlockFrames;
    constexpr int kLag = 4;
    auto lanes = [](double BiquadSection::*f) {
        return V4{kLowPass[0].*f, kLowPass[1].*f, kLowPass[2].*f, kLowPass[3].*f};
    };
    const V4 a1 = lanes(&BiquadSection::a1), a2 = lanes(&BiquadSection::a2);
    const V4 b0 = lanes(&BiquadSection::b0), b1 = lanes(&BiquadSection::b1),
             b2 = lanes(&BiquadSection::b2);
    V4 w1 = {state_[0].w1, state_[1].w1, state_[2].w1, state_[3].w1};
    V4 w2 = {state_[0].w2, state_[1].w2, state_[2].w2, state_[3].w2};
    V4 ring[kLag] = {};  // the step outputs of the last kLag iterations
    auto iterate = [&](int n, V4& slot, auto guarded) __attribute__((always_inline))
    {
        constexpr bool G = decltype(guarded)::value;
        auto inBlock = [](int i) { return static_cast<unsigned>(i) < static_cast<unsigned>(kN); };
        const V4 prev = slot;  // the outputs of iteration n - kLag
        const V4 x = {!G || inBlock(n) ? a[n] : 0.0, prev[0], prev[1], prev[2]};
        const V4 w0 = simd::Fma(a1, w1, simd::Fma(a2, w2, x));
        const V4 y = simd::Fma(b0, w0, simd::Fma(b1, w1, b2 * w2));
        if constexpr (G) {
            const M4 active = {inBlock(n) ? -1 : 0, inBlock(n - kLag) ? -1 : 0,
                               inBlock(n - 2 * kLag) ? -1 : 0, inBlock(n - 3 * kLag) ? -1 : 0};
            w2 = active ? w1 : w2;
            w1 = active ? w0 : w1;
        } else {
            w2 = w1;
            w1 = w0;
        }
        slot = y;
        const int m = n - 3 * kLag;
        if ((!G || inBlock(m)) && m % kDecimation == 0)
            out[m / kDecimation] = RoundHalfUp(std::clamp(y[3], -32767.0, 32767.0));
    };
    constexpr int kFill = 3 * kLag;
    static_assert(kFill % kLag == 0 && kN % kLag == 0);
    for (int n = 0; n < kFill; ++n)
        iterate(n, ring[n % kLag], std::true_type{});
    for (int n = kFill; n < kN; n += kLag)
        simd::Unroll<kLag>([&](auto j) {  // the ring stays in registers
            iterate(n + j, ring[j], std::false_type{});
        });
    for (int n = kN; n < kN + kFill; ++n)
        iterate(n, ring[n % kLag], std::true_type{});
    for (int k = 0; k < kSections; ++k)
        state_[k] = {w1[k], w2[k]};
}

}  // namespace dsp
