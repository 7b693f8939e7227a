#include "IqBalance.h"
#include "Vector.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>

namespace dsp {

namespace {

constexpr int kN = IqBalance::kSize;
constexpr double kAverage = 1.0 / 8.0;  // the bins' power average, per frame
constexpr double kDominance = 30.0;     // a station: 15 dB over its mirror
constexpr double kNoiseBand = 3.0;      // band noise: the pair's sides within 5 dB
constexpr double kMinStep = 2e-3;       // the station step once averaged
constexpr double kMinNoiseStep = 5e-4;  // the noise step once averaged
// The noise step starts as if 200 frames had been averaged: a frame of band
// noise says little, and the first ones alone would put images of -35 dB on
// a perfect card.
constexpr double kNoiseStart = 200.0;
constexpr double kMaxUpdate = 0.05;     // a single frame's update at most
constexpr double kMaxWeight = 0.5;      // an image of -6 dB
constexpr int kNoiseReach = kN / 16;    // bins either side the noise is smoothed over (3 kHz)
constexpr double kLoadedTrust = 500.0;  // noise frames a loaded model counts as
constexpr double kPriorWeight = 1.0;    // the prior's weight per bin in the fit
constexpr double kMeasureRatio = 1e3;   // a measured station: 30 dB over its mirror
constexpr double kFitEdge = 0.95;       // the fit leaves the last bins before Nyquist out
constexpr double kTaperFrom = 0.92;     // 22 kHz: the odd part fades out beyond
constexpr int kFillFrames = 32;         // frames between fills from the model
constexpr double kTaughtEnough = 10.0;  // a bin a station taught that long keeps its own

using simd::Load4;
using simd::Store4;
using v4d = simd::V4;

int Mirror(int k) { return (kN - k) & (kN - 1); }

// The offset of bin k over 24 kHz, -1 .. 1.
double Offset(int k) { return (k < kN / 2 ? k : k - kN) / (kN / 2.0); }

// |u| brought to at most `limit`.
void Limit(double& re, double& im, double limit)
{
    const double m2 = re * re + im * im;
    if (m2 > limit * limit) {
        const double scale = limit / std::sqrt(m2);
        re *= scale;
        im *= scale;
    }
}

}  // namespace

IqBalance::IqBalance()
{
    constexpr double pi = std::numbers::pi;
    for (int n = 0; n < kN; ++n)
        window_[n] = std::sin(pi * n / kN);
    for (int span = 1; span < kN; span *= 2)
        for (int t = 0; t < span; ++t) {
            cos_[span + t] = std::cos(pi * t / span);
            sin_[span + t] = std::sin(pi * t / span);
        }
    // The weights' odd part (a delay's) fades out over the last bins before
    // Nyquist, where it would jump sign: a weight continuous round the band
    // has a short response, which the frames' circular convolution needs.
    for (int k = 0; k < kN / 2; ++k) {
        const double x = Offset(k);
        const double u = std::clamp((x - kTaperFrom) / (1.0 - kTaperFrom), 0.0, 1.0);
        taper_[k] = 0.5 + 0.5 * std::cos(pi * u);
    }
    int bits = 0;
    while ((1 << bits) < kN)
        ++bits;
    for (int n = 0; n < kN; ++n) {
        int r = 0;
        for (int b = 0; b < bits; ++b)
            r |= ((n >> b) & 1) << (bits - 1 - b);
        rev_[n] = r;
    }
}

void IqBalance::Reset()
{
    Restart();
    wRe_.fill(0.0);
    wIm_.fill(0.0);
    power_.fill(0.0);
    taught_.fill(0.0);
    noiseTaught_.fill(0.0);
    noiseFrames_ = 0.0;
    prior_ = {};
    stationPower_ = 0.0;
    imagePower_ = 0.0;
}

void IqBalance::Restart()
{
    inRe_.fill(0.0);
    inIm_.fill(0.0);
    outRe_.fill(0.0);
    outIm_.fill(0.0);
    olaRe_.fill(0.0);
    olaIm_.fill(0.0);
    fill_ = 0;
    frames_ = 0;
}

void IqBalance::Process(std::span<double> i, std::span<double> q)
{
    for (std::size_t n = 0; n < i.size(); ++n) {
        const int at = kN - kHop + fill_;
        inRe_[at] = q[n];
        inIm_[at] = i[n];
        q[n] = outRe_[fill_];
        i[n] = outIm_[fill_];
        if (++fill_ == kHop) {
            Frame();
            fill_ = 0;
        }
    }
}

void IqBalance::Frame()
{
    for (int n = 0; n < kN; ++n) {
        re_[rev_[n]] = inRe_[n] * window_[n];
        im_[rev_[n]] = inIm_[n] * window_[n];
    }
    Transform(false);
    Correct();
    Learn();
    Synthesize();
    std::copy(inRe_.begin() + kHop, inRe_.end(), inRe_.begin());
    std::copy(inIm_.begin() + kHop, inIm_.end(), inIm_.begin());
}

// In place over re_ and im_, whose input stands in bit-reversed order; the
// inverse without its 1/N. The first two stages need no multiplications, the
// others run four butterflies to a vector.
void IqBalance::Transform(bool inverse)
{
    double* re = re_.data();
    double* im = im_.data();
    for (int a = 0; a < kN; a += 2) {
        const double br = re[a + 1], bi = im[a + 1];
        re[a + 1] = re[a] - br;
        im[a + 1] = im[a] - bi;
        re[a] += br;
        im[a] += bi;
    }
    const double s = inverse ? 1.0 : -1.0;  // the twiddle of a quarter turn is s j
    for (int a = 0; a < kN; a += 4) {
        double br = re[a + 2], bi = im[a + 2];
        re[a + 2] = re[a] - br;
        im[a + 2] = im[a] - bi;
        re[a] += br;
        im[a] += bi;
        const double xr = -s * im[a + 3], xi = s * re[a + 3];
        re[a + 3] = re[a + 1] - xr;
        im[a + 3] = im[a + 1] - xi;
        re[a + 1] += xr;
        im[a + 1] += xi;
    }
    for (int span = 4; span < kN; span *= 2)
        for (int start = 0; start < kN; start += 2 * span)
            for (int t = 0; t < span; t += 4) {
                const v4d wr = Load4(&cos_[span + t]);
                const v4d wi = s * Load4(&sin_[span + t]);
                double* ar = re + start + t;
                double* ai = im + start + t;
                const v4d br = Load4(ar + span), bi = Load4(ai + span);
                const v4d xr = br * wr - bi * wi;
                const v4d xi = br * wi + bi * wr;
                const v4d pr = Load4(ar), pi = Load4(ai);
                Store4(ar + span, pr - xr);
                Store4(ai + span, pi - xi);
                Store4(ar, pr + xr);
                Store4(ai, pi + xi);
            }
}

void IqBalance::Correct()
{
    for (int k = 0; k < kN; ++k) {
        const int m = Mirror(k);
        // y_k = x_k + w_k conj(x_m)
        yRe_[k] = re_[k] + (wRe_[k] * re_[m] + wIm_[k] * im_[m]);
        yIm_[k] = im_[k] + (wIm_[k] * re_[m] - wRe_[k] * im_[m]);
    }
}

void IqBalance::Learn()
{
    double station = 0.0;
    double image = 0.0;
    for (int k = 1; k < kN / 2; ++k) {
        const int m = kN - k;
        const double pk = yRe_[k] * yRe_[k] + yIm_[k] * yIm_[k];
        const double pm = yRe_[m] * yRe_[m] + yIm_[m] * yIm_[m];
        power_[k] += kAverage * (pk - power_[k]);
        power_[m] += kAverage * (pm - power_[m]);
        const double cr = yRe_[k] * yRe_[m] - yIm_[k] * yIm_[m];
        const double ci = yRe_[k] * yIm_[m] + yIm_[k] * yRe_[m];
        noiseOk_[k] = false;
        if (power_[k] > kDominance * power_[m]) {
            Teach(m, cr, ci, pk);
        } else if (power_[m] > kDominance * power_[k]) {
            Teach(k, cr, ci, pm);
        } else if (power_[k] < kNoiseBand * power_[m] && power_[m] < kNoiseBand * power_[k] &&
                   pk + pm > 0.0) {
            noiseRe_[k] = cr / (pk + pm);
            noiseIm_[k] = ci / (pk + pm);
            noiseOk_[k] = true;
        }
        const double strong = std::max(power_[k], power_[m]);
        const double weak = std::min(power_[k], power_[m]);
        if (strong > kMeasureRatio * weak) {
            station += strong;
            image += weak;
        }
    }
    LearnNoise();
    if (++frames_ == kFillFrames) {
        frames_ = 0;
        FillFromModel();
    }
    TaperToNyquist();
    // The self-mirrored bins (the centre and Nyquist) take their neighbours'.
    wRe_[0] = 0.5 * (wRe_[1] + wRe_[kN - 1]);
    wIm_[0] = 0.5 * (wIm_[1] + wIm_[kN - 1]);
    wRe_[kN / 2] = 0.5 * (wRe_[kN / 2 - 1] + wRe_[kN / 2 + 1]);
    wIm_[kN / 2] = 0.5 * (wIm_[kN / 2 - 1] + wIm_[kN / 2 + 1]);
    stationPower_ += 0.05 * (station - stationPower_);
    imagePower_ += 0.05 * (image - imagePower_);
}

// The weak side `bin` of a pair whose other side is a station of power
// `strong`: (cr, ci) = y_k y_-k over that power is the image's share.
void IqBalance::Teach(int bin, double cr, double ci, double strong)
{
    if (!(strong > 0.0))
        return;
    const double step = std::max(kMinStep, 1.0 / (taught_[bin] + 2.0));
    double ur = cr / strong;
    double ui = ci / strong;
    Limit(ur, ui, kMaxUpdate / step);
    wRe_[bin] -= step * ur;
    wIm_[bin] -= step * ui;
    Limit(wRe_[bin], wIm_[bin], kMaxWeight);
    taught_[bin] = std::min(taught_[bin] + 1.0, 1.0 / kMinStep);
}

// The pairs without a station: their sum of weights from the noise,
// averaged over kNoiseReach bins either side.
void IqBalance::LearnNoise()
{
    const double step = std::max(kMinNoiseStep, 1.0 / (noiseFrames_ + kNoiseStart));
    // Running sums over the pairs 1 .. kN/2-1 of the evidence and its count.
    std::array<double, kN / 2 + 1> sumRe, sumIm, sumCount;
    sumRe[0] = sumIm[0] = sumCount[0] = 0.0;
    for (int k = 1; k < kN / 2; ++k) {
        const bool ok = noiseOk_[k];
        sumRe[k] = sumRe[k - 1] + (ok ? noiseRe_[k] : 0.0);
        sumIm[k] = sumIm[k - 1] + (ok ? noiseIm_[k] : 0.0);
        sumCount[k] = sumCount[k - 1] + (ok ? 1.0 : 0.0);
    }
    if (sumCount[kN / 2 - 1] == 0.0)
        return;
    for (int k = 1; k < kN / 2; ++k) {
        if (!noiseOk_[k])
            continue;
        const int lo = std::max(1, k - kNoiseReach) - 1;
        const int hi = std::min(kN / 2 - 1, k + kNoiseReach);
        const double scale = step / (sumCount[hi] - sumCount[lo]);
        const double gr = (sumRe[hi] - sumRe[lo]) * scale;
        const double gi = (sumIm[hi] - sumIm[lo]) * scale;
        for (const int b : {k, kN - k}) {
            wRe_[b] -= gr;
            wIm_[b] -= gi;
            Limit(wRe_[b], wIm_[b], kMaxWeight);
            noiseTaught_[b] = std::min(noiseTaught_[b] + 1.0, 1.0 / kMinNoiseStep);
        }
    }
    noiseFrames_ = std::min(noiseFrames_ + 1.0, 1.0 / kMinNoiseStep);
}

void IqBalance::TaperToNyquist()
{
    for (int k = 1; k < kN / 2; ++k) {
        if (taper_[k] == 1.0)
            continue;
        const int m = kN - k;
        const double er = 0.5 * (wRe_[k] + wRe_[m]);
        const double ei = 0.5 * (wIm_[k] + wIm_[m]);
        const double orr = 0.5 * (wRe_[k] - wRe_[m]) * taper_[k];
        const double oi = 0.5 * (wIm_[k] - wIm_[m]) * taper_[k];
        wRe_[k] = er + orr;
        wIm_[k] = ei + oi;
        wRe_[m] = er - orr;
        wIm_[m] = ei - oi;
    }
}

void IqBalance::Synthesize()
{
    for (int k = 0; k < kN; ++k) {
        // The inverse as the forward transform of the conjugate.
        re_[rev_[k]] = yRe_[k];
        im_[rev_[k]] = -yIm_[k];
    }
    Transform(false);
    constexpr double scale = 1.0 / kN;
    for (int n = 0; n < kN; ++n) {
        olaRe_[n] += re_[n] * scale * window_[n];
        olaIm_[n] -= im_[n] * scale * window_[n];
    }
    std::copy(olaRe_.begin(), olaRe_.begin() + kHop, outRe_.begin());
    std::copy(olaIm_.begin(), olaIm_.begin() + kHop, outIm_.begin());
    std::copy(olaRe_.begin() + kHop, olaRe_.end(), olaRe_.begin());
    std::copy(olaIm_.begin() + kHop, olaIm_.end(), olaIm_.begin());
    std::fill(olaRe_.begin() + kHop, olaRe_.end(), 0.0);
    std::fill(olaIm_.begin() + kHop, olaIm_.end(), 0.0);
}

double IqBalance::ImageRejectionDb() const
{
    if (!(stationPower_ > 0.0) || !(imagePower_ > 0.0))
        return std::numeric_limits<double>::quiet_NaN();
    return 10.0 * std::log10(stationPower_ / imagePower_);
}

double IqBalance::Evidence() const
{
    // Frames: the longest a station taught a bin, and the noise frames.
    const double taught = *std::max_element(taught_.begin(), taught_.end());
    return taught + noiseFrames_;
}

namespace {

// Weighted least squares over the polynomial's terms: a real normal matrix
// with two right-hand sides (the real and imaginary parts).
struct Normal {
    static constexpr int T = IqFit::kTerms;
    double a[T][T + 2] = {};

    // One row: the terms' values p, its weight and its value.
    void Add(const double* p, double weight, std::complex<double> value)
    {
        for (int r = 0; r < T; ++r) {
            for (int c = 0; c < T; ++c)
                a[r][c] += weight * p[r] * p[c];
            a[r][T] += weight * p[r] * value.real();
            a[r][T + 1] += weight * p[r] * value.imag();
        }
    }

    IqFit Solve()
    {
        for (int c = 0; c < T; ++c) {
            int pivot = c;
            for (int r = c + 1; r < T; ++r)
                if (std::abs(a[r][c]) > std::abs(a[pivot][c]))
                    pivot = r;
            std::swap(a[c], a[pivot]);
            if (a[c][c] == 0.0)
                continue;
            for (int r = 0; r < T; ++r)
                if (r != c) {
                    const double f = a[r][c] / a[c][c];
                    for (int j = c; j < T + 2; ++j)
                        a[r][j] -= f * a[c][j];
                }
        }
        IqFit model;
        for (int t = 0; t < T; ++t)
            if (a[t][t] != 0.0)
                model.c[t] = {a[t][T] / a[t][t], a[t][T + 1] / a[t][t]};
        return model;
    }
};

void Powers(double x, double* p)
{
    p[0] = 1.0;
    for (int t = 1; t < IqFit::kTerms; ++t)
        p[t] = p[t - 1] * x;
}

std::complex<double> Evaluate(const IqFit& model, double x)
{
    std::complex<double> w = 0.0;
    for (int t = IqFit::kTerms - 1; t >= 0; --t)
        w = w * x + model.c[t];
    return w;
}

}  // namespace

// A bin a station taught is known by itself; a pair the noise taught only by
// its sum, which says nothing of the odd terms (a delay's); everywhere the
// prior (the band's model as loaded, or none) holds what nothing else tells.
IqFit IqBalance::Fit() const
{
    constexpr int T = IqFit::kTerms;
    Normal n;
    double p[T], pm[T], sum[T];
    for (int k = 0; k < kN; ++k) {
        const double x = Offset(k);
        if (std::abs(x) > kFitEdge)
            continue;
        Powers(x, p);
        n.Add(p, kPriorWeight, Evaluate(prior_, x));
        if (taught_[k] > 0.0)
            n.Add(p, taught_[k], {wRe_[k], wIm_[k]});
        if (k > 0 && k < kN / 2 && noiseTaught_[k] > 0.0) {
            Powers(-x, pm);
            for (int t = 0; t < T; ++t)
                sum[t] = p[t] + pm[t];
            const int m = kN - k;
            n.Add(sum, noiseTaught_[k], {wRe_[k] + wRe_[m], wIm_[k] + wIm_[m]});
        }
    }
    return n.Solve();
}

void IqBalance::FillFromModel()
{
    if (!(Evidence() > 0.0))
        return;
    const IqFit model = Fit();
    for (int k = 0; k < kN; ++k) {
        if (taught_[k] >= kTaughtEnough)
            continue;
        const std::complex<double> w = Evaluate(model, Offset(k));
        // Blended by what the bin's own station taught it.
        const double own = taught_[k] / kTaughtEnough;
        double wr = own * wRe_[k] + (1.0 - own) * w.real();
        double wi = own * wIm_[k] + (1.0 - own) * w.imag();
        if (std::isfinite(wr) && std::isfinite(wi)) {
            Limit(wr, wi, kMaxWeight);
            wRe_[k] = wr;
            wIm_[k] = wi;
        }
    }
}

IqModel IqBalance::Model() const
{
    constexpr int step = kN / IqModel::kPoints;
    IqModel model;
    for (int p = 0; p < IqModel::kPoints; ++p)
        model.w[p] = {wRe_[p * step], wIm_[p * step]};
    return model;
}

void IqBalance::Load(const IqModel& model)
{
    constexpr int step = kN / IqModel::kPoints;
    for (int k = 0; k < kN; ++k) {
        const int p = k / step;
        const double t = static_cast<double>(k % step) / step;
        const std::complex<double> w =
            (1.0 - t) * model.w[p] + t * model.w[(p + 1) % IqModel::kPoints];
        double wr = std::isfinite(w.real()) ? w.real() : 0.0;
        double wi = std::isfinite(w.imag()) ? w.imag() : 0.0;
        Limit(wr, wi, kMaxWeight);
        wRe_[k] = wr;
        wIm_[k] = wi;
    }
    // Kept as they are until stations teach them again.
    taught_.fill(kTaughtEnough);
    noiseTaught_.fill(0.0);
    noiseFrames_ = kLoadedTrust;
    prior_ = {};
    prior_ = Fit();
}

void BalanceManually(std::span<double> i, std::span<double> q, double gainDb, double phaseDeg)
{
    const double p = phaseDeg * std::numbers::pi / 180.0;
    const double a = 1.0 / (std::pow(10.0, gainDb / 20.0) * std::cos(p));
    const double b = -std::tan(p);
    for (std::size_t n = 0; n < i.size(); ++n)
        i[n] = a * i[n] + b * q[n];
}

}  // namespace dsp
