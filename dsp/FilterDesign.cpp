#include "FilterDesign.h"

#include <cmath>
#include <numbers>
#include <vector>

namespace dsp {

int DesignChebyshev(int order, int kind, double fs, double fc, double staging[20])
{
    constexpr int kMaxSections = 20;
    if (order <= 0 || order % 2 != 0 || order / 2 > kMaxSections)
        return 0;
    const int n = order;
    const double l = kind >= 0 ? 1.0 : -1.0;
    constexpr double pi = std::numbers::pi;

    // Ripple 1 dB.
    const double eps = std::sqrt(std::pow(10.0, 0.1 * 1.0) - 1.0);
    const double x = 1.0 / eps;
    const double h = std::log(x + std::sqrt(x * x + 1.0));
    const double fp = kind >= 0 ? fc : fs / 2.0 - fc;
    const double w = std::tan(pi * fp / fs);
    const double v = h / n;

    double a1[kMaxSections], a2[kMaxSections], b0[kMaxSections], b1[kMaxSections], b2[kMaxSections];
    const int sections = n / 2;
    for (int i = 0; i < sections; ++i) {
        const int odd = 2 * i + 1;
        const double theta = odd * (pi / 2.0) / n;
        const double sigma = std::sinh(v) * std::cos(theta);
        const double omega = std::cosh(v) * std::sin(theta);
        const double rho = std::sqrt(sigma * sigma + omega * omega);
        const double m = rho * w;
        const double r = 2.0 * m * sigma / rho;
        const double u = m * m + r + 1.0;
        a1[i] = -2.0 * l * (m * m - 1.0) / u;
        a2[i] = -(m * m - r + 1.0) / u;
        b0[i] = m * m / u;
        b1[i] = 2.0 * l * b0[i];
        b2[i] = b0[i];
    }
    // Spread the -1 dB of an even-order Chebyshev over the sections so the
    // ripple peaks of the whole cascade sit at 0 dB.
    const double g = std::pow(1.0 / std::pow(10.0, 0.05 * 1.0), 1.0 / sections);
    for (int i = 0; i < sections; ++i) {
        b0[i] *= g;
        b1[i] *= g;
        b2[i] *= g;
    }
    for (int i = 0; i < sections && i < 4; ++i) {
        staging[5 * i + 0] = a1[i];
        staging[5 * i + 1] = a2[i];
        staging[5 * i + 2] = b0[i];
        staging[5 * i + 3] = b1[i];
        staging[5 * i + 4] = b2[i];
    }
    return sections;
}

void DesignChebyshev8(int kind, double fs, double fc, BiquadSection out[4])
{
    double staging[20] = {};
    DesignChebyshev(8, kind, fs, fc, staging);
    for (int i = 0; i < 4; ++i)
        out[i] = BiquadSection{staging[5 * i], staging[5 * i + 1], staging[5 * i + 2],
                               staging[5 * i + 3], staging[5 * i + 4]};
}

double BesselI0(double x)
{
    double t = 1.0;
    double sum = 1.0;
    for (int k = 1; k <= 19; ++k) {
        t = t * 0.5 * x / k;
        sum += t * t;
    }
    return sum;
}

double KaiserBeta(double a)
{
    if (a >= 50.0)
        return 0.1102 * (a - 8.7);
    if (a >= 21.0)
        return 0.5842 * std::pow(a - 21.0, 0.4) + 0.07886 * (a - 21.0);
    return 0.0;
}

void DesignKaiserFir(int n, double fs, double f1, double f2, double a, double* taps)
{
    constexpr double pi = std::numbers::pi;
    const int half = n / 2;
    const double d = (f2 - f1) / 2.0;
    const double beta = KaiserBeta(a);
    const double i0beta = BesselI0(beta);

    std::vector<double> p(static_cast<size_t>(half) + 1);
    p[0] = 2.0 * d / fs;
    for (int q = 1; q <= half; ++q) {
        const double m = 2.0 * q / n;
        const double wq = BesselI0(beta * std::sqrt(1.0 - m * m)) / i0beta;
        p[q] = std::sin(2.0 * pi * q * d / fs) / (pi * q) * wq;
    }
    double s = p[0];
    for (int q = 1; q <= half; ++q)
        s += 2.0 * p[q];
    // Equal edges leave nothing to normalise: an all-zero filter rather than NaN.
    if (s == 0.0) {
        for (int k = 0; k <= n; ++k)
            taps[k] = 0.0;
        return;
    }
    for (int q = 0; q <= half; ++q)
        p[q] /= s;
    const double w0 = pi * (f1 + f2) / fs;
    for (int q = 0; q <= half; ++q)
        p[q] = 2.0 * std::cos(q * w0) * p[q];
    for (int k = 0; k <= n; ++k)
        taps[k] = p[static_cast<size_t>(std::abs(k - half))];
}

}  // namespace dsp
