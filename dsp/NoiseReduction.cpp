#include "NoiseReduction.h"

#include "Vector.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace dsp {

namespace {

// Start weights from the centre tap outwards: the Kaiser prototype (N = 50,
// A = 60 dB) of a 20 kHz low-pass at 48 kHz, to 8 significant digits.
constexpr double kStart[26] = {
    0.83333333,     0.15850347,   -0.1355869,    0.10224705,    -0.064515667,  0.028703101,
    2.7971523e-17,  -0.018530567, 0.026339095,   -0.025115798,  0.018007932,   -0.0086052259,
    -1.7398483e-17, 0.0058370452, -0.0082534107, 0.007715265,   -0.0053537217, 0.0024460308,
    2.0554981e-17,  -0.001459992, 0.0018938456,  -0.0015932012, 0.0009700444,  -0.0003751682,
    -1.1467998e-18, 0.00012979404};

// Dot product of N doubles over four independent sums of four lanes: the
// prediction would otherwise be one long chain of dependent multiply-adds.
template <int N>
[[gnu::always_inline]] inline double Dot(const double* w, const double* r)
{
    constexpr int V = N / 4;
    simd::V4 acc[4] = {};
    simd::Unroll<V>([&](auto k) {
        acc[k & 3] = simd::Fma(simd::Load4(w + 4 * k), simd::Load4(r + 4 * k), acc[k & 3]);
    });
    const simd::V4 s = (acc[0] + acc[1]) + (acc[2] + acc[3]);
    double sum = (s[0] + s[1]) + (s[2] + s[3]);
    for (int k = 4 * V; k < N; ++k)
        sum = simd::Fma(w[k], r[k], sum);
    return sum;
}

// w += r * s over N doubles.
template <int N>
[[gnu::always_inline]] inline void Adapt(double* w, const double* r, double s)
{
    constexpr int V = N / 4;
    const simd::V4 sv = simd::Splat4(s);
    simd::Unroll<V>([&](auto k) {
        simd::Store4(w + 4 * k, simd::Fma(simd::Load4(r + 4 * k), sv, simd::Load4(w + 4 * k)));
    });
    for (int k = 4 * V; k < N; ++k)
        w[k] = simd::Fma(r[k], s, w[k]);
}

}  // namespace

void NoiseReduction::Restart()
{
    for (int j = 0; j < kTaps; ++j)
        w_[kTaps - 1 - j] = kStart[std::abs(j - kTaps / 2)];
    std::fill(std::begin(history_), std::end(history_), 0.0);
}

// The prediction looked ahead over two samples. With s_k = mu * e_k and the
// weights of sample k W_k = W_{k-1} + s_{k-1} r_{k-1},
//   y_k = W_{k-2}.r_k + s_{k-2} (r_{k-2}.r_k) + s_{k-1} (r_{k-1}.r_k):
// the same prediction, the sums grouped differently. The long dot product then
// works on weights two samples old, and only a multiply-add, a subtraction and
// a multiplication wait for the previous error. The lag products r_{k-1}.r_k
// and r_{k-2}.r_k slide along the block.
void NoiseReduction::Process(double* __restrict audio)
{
    using simd::Fma;
    constexpr int kN = kBlockFrames;
    double* h = history_ + kLead;  // r_k = h + k, oldest first
    for (int n = 0; n < kN; ++n)
        h[kHistory + n] = std::clamp(audio[n], -kInputLimit, kInputLimit);
    const double* x = h + kHistory;
    double* w = w_;                    // W_0 on entry, W_{k-2} in the loop
    double b1 = Dot<kTaps>(h - 1, h);  // r_{k-1}.r_k, here k = 0
    double b2 = Dot<kTaps>(h - 2, h);  // r_{k-2}.r_k
    auto slide = [&](int k) {          // to k + 1
        b1 = b1 + h[k + kTaps - 1] * h[k + kTaps] - h[k - 1] * h[k];
        b2 = b2 + h[k + kTaps - 2] * h[k + kTaps] - h[k - 2] * h[k];
    };
    const double y0 = Dot<kTaps>(w, h);
    audio[0] = y0;
    double s1 = kMu * (x[0] - y0);  // s_{k-1}
    slide(0);
    const double y1 = Fma(s1, b1, Dot<kTaps>(w, h + 1));
    audio[1] = y1;
    double s2 = s1;  // s_{k-2}
    s1 = kMu * (x[1] - y1);
    slide(1);
    for (int k = 2; k < kN; ++k) {
        const double y = Fma(s1, b1, Fma(s2, b2, Dot<kTaps>(w, h + k)));
        audio[k] = y;
        const double s = kMu * (x[k] - y);
        Adapt<kTaps>(w, h + k - 2, s2);  // W_{k-1}
        s2 = s1;
        s1 = s;
        slide(k);
    }
    Adapt<kTaps>(w, h + kN - 2, s2);
    Adapt<kTaps>(w, h + kN - 1, s1);  // W_N, the next block's start
    std::memmove(history_, history_ + kN, (kLead + kHistory) * sizeof(double));
}

}  // namespace dsp
