#include "NoiseReduction.h"

#include "Vector.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>

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

// The largest |w|; a NaN anywhere gives NaN.
template <int N>
double MaxAbs(const double* w)
{
    double m = 0.0;
    for (int k = 0; k < N; ++k)
        m = std::isnan(w[k]) || m < std::fabs(w[k]) ? std::fabs(w[k]) : m;
    return m;
}

// The largest |w + r2 * s2 + r1 * s1|, each weight formed as two Adapt
// steps form it.
template <int N>
double MaxAbsAfter(const double* w, const double* r2, double s2, const double* r1, double s1)
{
    double m = 0.0;
    for (int k = 0; k < N; ++k) {
        const double v = std::fabs(simd::Fma(r1[k], s1, simd::Fma(r2[k], s2, w[k])));
        m = std::isnan(v) || m < v ? v : m;
    }
    return m;
}

}  // namespace

void NoiseReduction::LoadStartWeights()
{
    for (int j = 0; j < kTaps; ++j)
        w_[kTaps - 1 - j] = kStart[std::abs(j - kTaps / 2)];
}

void NoiseReduction::Restart()
{
    LoadStartWeights();
    std::fill(std::begin(history_), std::end(history_), 0.0);
}

void NoiseReduction::Process(double* __restrict audio)
{
    double* h = history_ + kLead;
    for (int n = 0; n < kBlockFrames; ++n)
        h[kHistory + n] = std::clamp(audio[n], -kInputLimit, kInputLimit);
    for (int k = 0; k < kBlockFrames;)
        k = PredictFrom(audio, k);
    // The weights after the block's last update, those of the next sample.
    if (!(MaxAbs<kTaps>(w_) <= kWeightLimit))
        Restart();
    else
        std::memmove(history_, history_ + kBlockFrames, (kLead + kHistory) * sizeof(double));
}

// The prediction looked ahead over two samples. With s_k = mu * e_k and the
// weights for sample k W_k = W_{k-1} + s_{k-1} r_{k-1},
//   y_k = W_{k-2}.r_k + s_{k-2} (r_{k-2}.r_k) + s_{k-1} (r_{k-1}.r_k):
// the same prediction, the sums grouped differently. The long dot product then
// works on weights two samples old, and only a multiply-add, a subtraction and
// a multiplication wait for the previous error. The lag products r_{k-1}.r_k
// and r_{k-2}.r_k slide along the block.
//
// Each W_k is checked against the bound before it predicts, without forming
// every W_k: an update moves a weight by at most |s| * kInputLimit, so a
// running sum says when the weights could have come near the bound, and only
// then is W_k formed (as the updates will form it) and measured.
//
// Runs from sample k0 with W_{k0} in w_; returns the block's length, or the
// sample before which the enhancer restarted.
int NoiseReduction::PredictFrom(double* __restrict audio, int k0)
{
    using simd::Fma;
    constexpr int kN = kBlockFrames;
    double* h = history_ + kLead;  // r_k = h + k, oldest first
    const double* x = h + kHistory;
    double* w = w_;                   // W_{k0} on entry, W_{k-2} in the loop
    double reach = MaxAbs<kTaps>(w);  // at least the largest |weight| of the newest W
    // Whether W_k = w + s2 r2 + s1 r1 leaves the bound; s1 is the newest step.
    auto leaves = [&](const double* r2, double s2, const double* r1, double s1) {
        reach = Fma(std::fabs(s1), kInputLimit, reach);
        if (reach <= 0.5 * kWeightLimit) [[likely]]
            return false;
        reach = MaxAbsAfter<kTaps>(w, r2, s2, r1, s1);
        return !(reach <= kWeightLimit);
    };
    // As when switched on, before sample k: the samples before it leave the lines.
    auto restartBefore = [&](int k) {
        LoadStartWeights();
        std::fill(history_, history_ + kLead + kHistory + k, 0.0);
        return k;
    };
    double b1 = Dot<kTaps>(h + k0 - 1, h + k0);  // r_{k-1}.r_k, here k = k0
    double b2 = Dot<kTaps>(h + k0 - 2, h + k0);  // r_{k-2}.r_k
    auto slide = [&](int k) {                    // to k + 1
        b1 = b1 + h[k + kTaps - 1] * h[k + kTaps] - h[k - 1] * h[k];
        b2 = b2 + h[k + kTaps - 2] * h[k + kTaps] - h[k - 2] * h[k];
    };
    const double y0 = Dot<kTaps>(w, h + k0);
    audio[k0] = y0;
    double s1 = kMu * (x[k0] - y0);  // s_{k-1}
    if (k0 + 1 == kN) {
        Adapt<kTaps>(w, h + k0, s1);
        return kN;
    }
    if (leaves(h + k0, 0.0, h + k0, s1))
        return restartBefore(k0 + 1);
    slide(k0);
    const double y1 = Fma(s1, b1, Dot<kTaps>(w, h + k0 + 1));
    audio[k0 + 1] = y1;
    double s2 = s1;  // s_{k-2}
    s1 = kMu * (x[k0 + 1] - y1);
    slide(k0 + 1);
    for (int k = k0 + 2; k < kN; ++k) {
        if (leaves(h + k - 2, s2, h + k - 1, s1)) [[unlikely]]
            return restartBefore(k);
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
    return kN;
}

}  // namespace dsp
