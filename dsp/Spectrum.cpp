#include "Spectrum.h"

#include "FastMath.h"
#include "Vector.h"

#include <cmath>
#include <cstring>
#include <numbers>

namespace dsp {

namespace {

using simd::Load4;
using simd::Store4;
using v4d = simd::V4;

}  // namespace

SpectrumAnalyzer::SpectrumAnalyzer()
{
    constexpr int n = kSpectrumSize;
    constexpr double pi = std::numbers::pi;
    for (int i = 0; i < n; ++i)
        window_[i] = 0.5 - 0.5 * std::cos(2.0 * pi * i / n);
    for (int t = 0; t < n / 2; ++t) {
        cw_[t] = std::cos(2.0 * pi * t / n);
        sw_[t] = -std::sin(2.0 * pi * t / n);
    }
    // Stage with span s (step n / (2 s)) at offset n - 2 s.
    for (int span = n / 2, step = 1; span >= 1; span /= 2, step *= 2)
        for (int t = 0; t < span; ++t) {
            stageCos_[n - 2 * span + t] = cw_[t * step];
            stageSin_[n - 2 * span + t] = sw_[t * step];
        }
    rev_[0] = 0;
    for (int h = n / 2, size = 1; size < n; h /= 2, size *= 2)
        for (int k = 0; k < size; ++k)
            rev_[size + k] = rev_[k] + h;
}

void SpectrumAnalyzer::Analyze(const double* i, const double* q, double* out)
{
    double* __restrict re = re_.data();
    double* __restrict im = im_.data();
    for (int p = 0; p < kSpectrumSize; ++p) {
        re[p] = window_[p] * q[p];
        im[p] = window_[p] * i[p];
    }
    WideStages();
    LastThreeStages();
    Levels();
    // Natural order. Bit reversal pairs the positions, so a gather does what
    // the exchanges would, without a branch per position.
    for (int p = 0; p < kSpectrumSize; ++p)
        out[p] = level_[rev_[p]];
}

// Radix-2 decimation in frequency. The twiddles of each stage (every step-th
// table entry) lie contiguous in stageCos_/stageSin_, so the butterflies of
// the wide stages run on contiguous data.
void SpectrumAnalyzer::WideStages()
{
    constexpr int n = kSpectrumSize;
    double* __restrict re = re_.data();
    double* __restrict im = im_.data();
    for (int span = n / 2; span >= 8; span /= 2) {
        const double* __restrict cs = stageCos_.data() + n - 2 * span;
        const double* __restrict sn = stageSin_.data() + n - 2 * span;
        for (int g = 0; g < n; g += 2 * span) {
            double* __restrict ar = re + g;
            double* __restrict ai = im + g;
            double* __restrict br = re + g + span;
            double* __restrict bi = im + g + span;
            for (int t = 0; t < span; t += 4) {
                const v4d xr = Load4(ar + t), xi = Load4(ai + t), yr = Load4(br + t),
                          yi = Load4(bi + t);
                const v4d c = Load4(cs + t), s = Load4(sn + t);
                Store4(ar + t, xr + yr);
                Store4(ai + t, xi + yi);
                const v4d dr = xr - yr, di = xi - yi;
                Store4(br + t, dr * c - di * s);
                Store4(bi + t, dr * s + di * c);
            }
        }
    }
}

// The last three stages (spans 4, 2, 1) within each group of eight, the same
// butterflies with the same twiddles: inner loops that short would otherwise
// cost more in loop control than in arithmetic.
void SpectrumAnalyzer::LastThreeStages()
{
    constexpr int n = kSpectrumSize;
    double* __restrict re = re_.data();
    double* __restrict im = im_.data();
    const double* c4 = stageCos_.data() + n - 8;
    const double* s4 = stageSin_.data() + n - 8;
    const double c2[2] = {cw_[0], cw_[n / 4]}, s2[2] = {sw_[0], sw_[n / 4]};
    const double c1 = cw_[0], s1 = sw_[0];
    for (int g = 0; g < n; g += 8) {
        double xr[8], xi[8];
        for (int k = 0; k < 8; ++k) {
            xr[k] = re[g + k];
            xi[k] = im[g + k];
        }
        auto butterfly = [&](int a, int b, double c, double s) {
            const double ar = xr[a], ai = xi[a], br = xr[b], bi = xi[b];
            xr[a] = ar + br;
            xi[a] = ai + bi;
            const double dr = ar - br, di = ai - bi;
            xr[b] = dr * c - di * s;
            xi[b] = dr * s + di * c;
        };
        for (int t = 0; t < 4; ++t)
            butterfly(t, t + 4, c4[t], s4[t]);
        for (int h = 0; h < 8; h += 4)
            for (int t = 0; t < 2; ++t)
                butterfly(h + t, h + t + 2, c2[t], s2[t]);
        for (int h = 0; h < 8; h += 2)
            butterfly(h, h + 1, c1, s1);
        for (int k = 0; k < 8; ++k) {
            re[g + k] = xr[k];
            im[g + k] = xi[k];
        }
    }
}

// 20 ln sqrt(P) as 10 ln P: one rounding less, and no square root.
void SpectrumAnalyzer::Levels()
{
    const double* __restrict re = re_.data();
    const double* __restrict im = im_.data();
    double* __restrict level = level_.data();
    for (int p = 0; p < kSpectrumSize; ++p) {
        const double r = re[p], m = im[p];
        const double power = r * r + m * m;
        level[p] = (r == 0.0 || m == 0.0) ? 0.0 : power;
    }
    for (int p = 0; p < kSpectrumSize; ++p) {
        const double power = level[p];
        const double db = 10.0 * fastmath::Log(power);  // finite, and unused, for 0
        level[p] = power == 0.0 ? 0.0 : db;
    }
}

}  // namespace dsp
