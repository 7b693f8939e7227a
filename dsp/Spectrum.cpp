#include "Spectrum.h"

#include "FastMath.h"

#include <cmath>
#include <numbers>

namespace dsp {

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
    rev_[0] = 0;
    for (int h = n / 2, size = 1; size < n; h /= 2, size *= 2)
        for (int k = 0; k < size; ++k)
            rev_[size + k] = rev_[k] + h;
}

void SpectrumAnalyzer::Analyze(const double* i, const double* q, double* out)
{
    constexpr int n = kSpectrumSize;
    double* __restrict re = re_.data();
    double* __restrict im = im_.data();
    for (int p = 0; p < n; ++p) {
        re[p] = window_[p] * q[p];
        im[p] = window_[p] * i[p];
    }
    // Radix-2 decimation in frequency; the twiddles of a stage are every
    // step-th table entry, gathered once per stage so the butterflies run on
    // contiguous data.
    alignas(64) double cs[n / 2];
    alignas(64) double sn[n / 2];
    for (int span = n / 2, step = 1; step < n; span /= 2, step *= 2) {
        for (int t = 0; t < span; ++t) {
            cs[t] = cw_[t * step];
            sn[t] = sw_[t * step];
        }
        for (int g = 0; g < n; g += 2 * span) {
            double* __restrict ar = re + g;
            double* __restrict ai = im + g;
            double* __restrict br = re + g + span;
            double* __restrict bi = im + g + span;
            for (int t = 0; t < span; ++t) {
                const double xr = ar[t], xi = ai[t], yr = br[t], yi = bi[t];
                ar[t] = xr + yr;
                ai[t] = xi + yi;
                const double dr = xr - yr, di = xi - yi;
                br[t] = dr * cs[t] - di * sn[t];
                bi[t] = dr * sn[t] + di * cs[t];
            }
        }
    }
    // 20 ln sqrt(P) as 10 ln P: one rounding less, and no square root.
    for (int p = 0; p < n; ++p) {
        const double r = re[p], m = im[p];
        const double power = r * r + m * m;
        level_[p] = (r == 0.0 || m == 0.0) ? 0.0 : power;
    }
    for (int p = 0; p < n; ++p) {
        const double power = level_[p];
        const double db = 10.0 * fastmath::Log(power);  // finite, and unused, for 0
        level_[p] = power == 0.0 ? 0.0 : db;
    }
    // Natural order. Bit reversal pairs the positions, so a gather does what
    // the exchanges would, without a branch per position.
    for (int p = 0; p < n; ++p)
        out[p] = level_[rev_[p]];
}

} // namespace dsp
