#include "tests/dsp/LiteralChain.h"

#include "dsp/FastMath.h"

#include <cmath>
#include <complex>
#include <cstdlib>

namespace literal {

using dsp::AfChoice;
using dsp::AgcSpeed;
using dsp::IfChoice;
using dsp::Mode;

namespace {
const double kPi = 3.14159265358979323846;
const double kTwoPi = 2.0 * kPi;
}  // namespace

double Step(const Section& s, State& st, double x)
{
    double w0 = x + s.a1 * st.w1 + s.a2 * st.w2;
    double y = s.b0 * w0 + s.b1 * st.w1 + s.b2 * st.w2;
    st.w2 = st.w1;
    st.w1 = w0;
    return y;
}

double CascadeResponseDb(const Section* s, int count, double f)
{
    const std::complex<double> z1 = std::polar(1.0, -kTwoPi * f / 48000.0);
    const std::complex<double> z2 = z1 * z1;
    std::complex<double> h = 1.0;
    for (int i = 0; i < count; ++i) {
        h *= (s[i].b0 + s[i].b1 * z1 + s[i].b2 * z2) / (1.0 - s[i].a1 * z1 - s[i].a2 * z2);
    }
    return 20.0 * std::log10(std::abs(h));
}

double FirResponseDb(const double* taps, int count, double f)
{
    std::complex<double> h = 0.0;
    for (int k = 0; k < count; ++k)
        h += taps[k] * std::polar(1.0, -kTwoPi * f * k / 48000.0);
    return 20.0 * std::log10(std::abs(h));
}

int Chebyshev(int order, int kind, double fs, double fc, double staging[20])
{
    if (order < 2 || order % 2 != 0 || order > 40)
        return 0;
    const int n = order;
    const double l = kind;
    double a0[20], a1[20], a2[20], b0[20], b1[20], b2[20];

    double eps2 = std::pow(10.0, 0.1 * 1.0) - 1.0;
    double x = 1.0 / std::sqrt(eps2);
    double h = std::log(x + std::sqrt(x * x + 1.0));
    double fp = kind > 0 ? fc : fs / 2.0 - fc;
    double w = std::tan(kPi * fp / fs);
    double v = h / n;
    for (int i = 0; i < n / 2; ++i) {
        int A = 2 * i + 1;
        double theta = A * (kPi / 2.0) / n;
        double sigma = std::sinh(v) * std::cos(theta);
        double omega = std::cosh(v) * std::sin(theta);
        double rho = std::sqrt(sigma * sigma + omega * omega);
        double M = rho * w;
        double R = 2.0 * M * sigma / rho;
        double U = M * M + R + 1.0;
        a0[i] = 1.0;
        a1[i] = -2.0 * l * (M * M - 1.0) / U;
        a2[i] = -(M * M - R + 1.0) / U;
        b0[i] = M * M / U;
        b1[i] = 2.0 * l * b0[i];
        b2[i] = b0[i];
    }
    double g = std::pow(1.0 / std::pow(10.0, 0.05 * 1.0), 1.0 / (n / 2));
    for (int i = 0; i < n / 2; ++i) {
        b0[i] = b0[i] * g;
        b1[i] = b1[i] * g;
        b2[i] = b2[i] * g;
    }
    (void)a0;
    for (int i = 0; i < 20; ++i)
        staging[i] = 0.0;
    for (int i = 0; i < n / 2 && i < 4; ++i) {
        staging[5 * i + 0] = a1[i];
        staging[5 * i + 1] = a2[i];
        staging[5 * i + 2] = b0[i];
        staging[5 * i + 3] = b1[i];
        staging[5 * i + 4] = b2[i];
    }
    return n / 2;
}

double BesselI0(double x)
{
    double sum = 1.0;
    double t = 1.0;
    for (int k = 1; k <= 19; ++k) {
        t = t * 0.5 * x / k;
        sum = sum + t * t;
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

void KaiserPrototype(int n, double fs, double f1, double f2, double a, double* p)
{
    double d = (f2 - f1) / 2.0;
    double beta = KaiserBeta(a);
    for (int q = 0; q <= n / 2; ++q) {
        double m = 2.0 * q / n;
        double wq = BesselI0(beta * std::sqrt(1.0 - m * m)) / BesselI0(beta);
        if (q == 0) {
            p[q] = 2.0 * d / fs;
        } else {
            p[q] = std::sin(2.0 * kPi * q * d / fs) / (kPi * q) * wq;
        }
    }
}

void KaiserFir(int n, double fs, double f1, double f2, double a, double* taps)
{
    double p[101];
    KaiserPrototype(n, fs, f1, f2, a, p);
    double sum = 0.0;
    for (int q = 1; q <= n / 2; ++q)
        sum = sum + p[q];
    double S = p[0] + 2.0 * sum;
    if (S == 0.0) {
        // Equal edges: nothing passes. Dividing would give 0/0.
        for (int k = 0; k <= n; ++k)
            taps[k] = 0.0;
        return;
    }
    for (int q = 0; q <= n / 2; ++q)
        p[q] = p[q] / S;
    double w0 = kPi * (f1 + f2) / fs;
    for (int q = 0; q <= n / 2; ++q)
        p[q] = 2.0 * std::cos(q * w0) * p[q];
    for (int k = 0; k <= n; ++k)
        taps[k] = p[std::abs(k - n / 2)];
}

double RoundHalfUpValue(double v) { return std::trunc(v + 0.5); }

int16_t RoundHalfUp(double v) { return static_cast<int16_t>(static_cast<int>(v + 0.5)); }

const Section kAudioHighPass = {1.98148851, -0.98165828, 0.9907867, -1.9815734, 0.9907867};
const Section kRecCascade[4] = {
    {1.16214396, -0.34192826, 0.04494607, 0.08989215, 0.04494607},
    {1.22342885, -0.41269395, 0.04731628, 0.09463255, 0.04731628},
    {1.35551024, -0.5652084, 0.05242454, 0.10484908, 0.05242454},
    {1.57811347, -0.82224848, 0.06103375, 0.1220675, 0.06103375},
};
const Section kDeemphasis = {1.63299316, -0.69059892, 0.01440144, 0.02880288, 0.01440144};
const Section kNoiseSmoother = {1.9990744, -0.99907483, 1.1e-07, 2.1e-07, 1.1e-07};

const double kAnWeightLimit = 1e6;
const double kNrWeightLimit = 1000.0;

const double kNrStart[26] = {
    0.83333333,     0.15850347,   -0.1355869,    0.10224705,    -0.064515667,  0.028703101,
    2.7971523e-17,  -0.018530567, 0.026339095,   -0.025115798,  0.018007932,   -0.0086052259,
    -1.7398483e-17, 0.0058370452, -0.0082534107, 0.007715265,   -0.0053537217, 0.0024460308,
    2.0554981e-17,  -0.001459992, 0.0018938456,  -0.0015932012, 0.0009700444,  -0.0003751682,
    -1.1467998e-18, 0.00012979404};
const double kAnStart[17] = {
    0.83333333,     0.15827496,   -0.13480226,   0.10090786,   -0.063000934, 0.027638739,
    2.6457933e-17,  -0.017143863, 0.023716216,   -0.021881506, 0.015073747,  -0.0068607426,
    -1.3067159e-17, 0.0040704956, -0.0052398498, 0.0043351502, -0.0025492992};

// ---------------------------------------------------------------- spectrum

Spectrum::Spectrum()
{
    for (int n = 0; n < 2048; ++n)
        w_[n] = 0.5 - 0.5 * std::cos(kTwoPi * n / 2048.0);
    for (int t = 0; t < 1024; ++t) {
        cw_[t] = std::cos(kTwoPi * t / 2048.0);
        sw_[t] = -std::sin(kTwoPi * t / 2048.0);
    }
    rev[0] = 0;
    int h = 1024;
    int size = 1;
    while (size < 2048) {
        for (int k = 0; k < size; ++k)
            rev[size + k] = rev[k] + h;
        h = h / 2;
        size = 2 * size;
    }
}

void Spectrum::Analyze(const double* I, const double* Q, double* out)
{
    for (int n = 0; n < 2048; ++n) {
        re_[n] = w_[n] * Q[n];
        im_[n] = w_[n] * I[n];
    }
    int span = 1024;
    int step = 1;
    while (step < 2048) {
        for (int g = 0; g < 2048; g += 2 * span) {
            int t = 0;
            for (int p = g; p < g + span; ++p) {
                double ar = re_[p], ai = im_[p];
                double br = re_[p + span], bi = im_[p + span];
                re_[p] = ar + br;
                im_[p] = ai + bi;
                double dr = ar - br, di = ai - bi;
                re_[p + span] = dr * cw_[t] - di * sw_[t];
                im_[p + span] = dr * sw_[t] + di * cw_[t];
                t = t + step;
            }
        }
        span = span / 2;
        step = 2 * step;
    }
    for (int p = 0; p < 2048; ++p) {
        if (re_[p] == 0.0 || im_[p] == 0.0) {
            out[p] = 0.0;
        } else {
            out[p] = 20.0 * std::log(std::sqrt(re_[p] * re_[p] + im_[p] * im_[p]));
        }
    }
    for (int p = 0; p < 2048; ++p) {
        if (p < rev[p]) {
            double tmp = out[p];
            out[p] = out[rev[p]];
            out[rev[p]] = tmp;
        }
    }
}

// ---------------------------------------------------------------- chain

LiteralChain::LiteralChain(dsp::ChainControls& c)
    : c_(c)
{}

void LiteralChain::ClearIFStates()
{
    for (int ch = 0; ch < 2; ++ch)
        for (int s = 0; s < 4; ++s)
            ifSt_[ch][s] = State{};
}

void LiteralChain::Setup()
{
    agcLevel_ = 1.0;
    c_.IFWidth = 3000;
    if (!dsp::IsKnown(c_.RxMode))
        c_.RxMode = Mode::Am;
    DesignIFFilter();
    DesignAFFilter();
    SetAGCSpeed();
    SetVolume();
    SetInputGain();
    double staging[20];
    Chebyshev(8, -1, 48.0, 12.0, staging);
    for (int i = 0; i < 4; ++i) {
        noiseSec[i] = Section{staging[5 * i], staging[5 * i + 1], staging[5 * i + 2],
                              staging[5 * i + 3], staging[5 * i + 4]};
    }
    // DSPAN and DSPNR are taken as restored; their weights stay at zero.
}

void LiteralChain::DesignIFFilter()
{
    switch (c_.IFBW) {
    case IfChoice::Khz0_5: c_.IFWidth = 500; break;
    case IfChoice::Khz3: c_.IFWidth = 3000; break;
    case IfChoice::Khz6: c_.IFWidth = 6000; break;
    case IfChoice::Khz12: c_.IFWidth = 12000; break;
    case IfChoice::User:
        if (c_.PosIFBW < 1 || c_.PosIFBW > 200)
            c_.PosIFBW = 30;
        c_.IFWidth = c_.PosIFBW * 100;
        break;
    default:
        c_.IFBW = IfChoice::Khz0_5;
        c_.IFWidth = 500;
        break;
    }
    DesignIFFilterForWidth();
}

void LiteralChain::DesignIFFilterForWidth()
{
    if (c_.IFWidth < 100 || c_.IFWidth > 20000)
        c_.IFWidth = 3000;
    double staging[20];
    Chebyshev(8, 1, 48.0, c_.IFWidth * 0.0005, staging);
    for (int i = 0; i < 4; ++i) {
        ifSec[i] = Section{staging[5 * i], staging[5 * i + 1], staging[5 * i + 2],
                           staging[5 * i + 3], staging[5 * i + 4]};
    }
    ClearIFStates();
    if (c_.RxMode == Mode::Lsb)
        c_.SSBShift = -(c_.IFWidth / 2);
    if (c_.RxMode == Mode::Usb)
        c_.SSBShift = c_.IFWidth / 2;
}

void LiteralChain::DesignAFFilter()
{
    switch (c_.AFLPF) {
    case AfChoice::Khz3:
        c_.AFLow = 0.3;
        c_.AFHigh = 3.0;
        break;
    case AfChoice::Khz6:
        c_.AFLow = 0.3;
        c_.AFHigh = 6.0;
        break;
    case AfChoice::User:
        if (!(1 <= c_.PosAFFC1 && c_.PosAFFC1 < c_.PosAFFC2 && c_.PosAFFC2 <= 100)) {
            c_.PosAFFC1 = 3;
            c_.PosAFFC2 = 60;
        }
        c_.AFLow = c_.PosAFFC1 * 0.1;
        c_.AFHigh = c_.PosAFFC2 * 0.1;
        break;
    default:
        c_.AFLPF = AfChoice::Khz3;
        c_.AFLow = 0.3;
        c_.AFHigh = 3.0;
        break;
    }
    double taps[51];
    KaiserFir(50, 48.0, c_.AFLow, c_.AFHigh, 60.0, taps);
    for (int k = 0; k < 51; ++k) {
        afTaps[k] = taps[k];
        afDelay_[k] = 0.0;
    }
}

void LiteralChain::SetAGCSpeed()
{
    switch (c_.AGC) {
    case AgcSpeed::Fast: c_.AGCDecay = 0.0001; break;
    case AgcSpeed::Middle: c_.AGCDecay = 0.00003; break;
    case AgcSpeed::Slow: c_.AGCDecay = 0.00001; break;
    default:
        c_.AGC = AgcSpeed::Fast;
        c_.AGCDecay = 0.0001;
        break;
    }
}

void LiteralChain::SetVolume() { c_.VolGain = (c_.GainPos + 150) * 5.0; }

void LiteralChain::SetInputGain() { c_.InGain = std::pow(10.0, c_.InGainPos / 20.0); }

void LiteralChain::RestartCanceller()
{
    for (int ch = 0; ch < 2; ++ch) {
        for (int m = 0; m < 33; ++m) {
            anWeights[ch][m] = kAnStart[std::abs(m - 16)];
            anRef_[ch][m] = 0.0;
        }
        for (int m = 0; m < 20; ++m)
            anDelay_[ch][m] = 0.0;
    }
}

void LiteralChain::RestartNoiseReduction()
{
    for (int j = 0; j < 51; ++j) {
        nrWeights[j] = kNrStart[std::abs(j - 25)];
        nrRef_[j] = 0.0;
    }
    for (int j = 0; j < 20; ++j)
        nrDelay_[j] = 0.0;
}

void LiteralChain::SetCanceller(bool down)
{
    if (down)
        RestartCanceller();
    else
        ClearIFStates();
    c_.DSPAN = down;
}

void LiteralChain::SetNoiseReduction(bool down)
{
    if (down)
        RestartNoiseReduction();
    c_.DSPNR = down;
}

void LiteralChain::ProcessBlock(const int16_t* frames)
{
    // 1. Input conversion.
    for (int n = 0; n < kN; ++n) {
        double ch0 = frames[2 * n];
        double ch1 = frames[2 * n + 1];
        if (c_.InvIQ) {
            I_[n] = ch1 * c_.InGain;
            Q_[n] = ch0 * c_.InGain;
        } else {
            I_[n] = ch0 * c_.InGain;
            Q_[n] = ch1 * c_.InGain;
        }
    }
    // 2. Copy for the spectrum.
    for (int n = 0; n < kN; ++n) {
        rawI[n] = I_[n];
        rawQ[n] = Q_[n];
    }
    // 3. Tuning mixer and IF filter.
    const double tuneHz = static_cast<double>(c_.FreqTune) + static_cast<double>(c_.SSBShift);
    for (int n = 0; n < kN; ++n) {
        tunePhase = tunePhase + kTwoPi * tuneHz / 48000.0;
        if (tunePhase >= kTwoPi)
            tunePhase = tunePhase - kTwoPi;
        // Decided: a phase below zero is brought back up too.
        else if (tunePhase < 0.0)
            tunePhase = tunePhase + kTwoPi;
        double s, c;
        dsp::fastmath::SinCos(tunePhase, s, c);
        double i1 = Q_[n] * s - I_[n] * c;
        double q1 = Q_[n] * c + I_[n] * s;
        I_[n] = i1;
        Q_[n] = q1;
        for (int k = 0; k < 4; ++k)
            I_[n] = Step(ifSec[k], ifSt_[0][k], I_[n]);
        for (int k = 0; k < 4; ++k)
            Q_[n] = Step(ifSec[k], ifSt_[1][k], Q_[n]);
    }
    // 4. AN, AGC, AN weight update.
    for (int n = 0; n < kN; ++n) {
        if (c_.DSPAN) {
            double* chans[2] = {&I_[n], &Q_[n]};
            for (int ch = 0; ch < 2; ++ch) {
                double x = *chans[ch];
                for (int m = 19; m > 0; --m)
                    anDelay_[ch][m] = anDelay_[ch][m - 1];
                anDelay_[ch][0] = x;
                for (int m = 32; m > 0; --m)
                    anRef_[ch][m] = anRef_[ch][m - 1];
                anRef_[ch][0] = anDelay_[ch][19];
                double y = 0.0;
                for (int m = 0; m < 33; ++m)
                    y = y + anWeights[ch][m] * anRef_[ch][m];
                *chans[ch] = x - y;
            }
        }
        // Decided: on the floor (only exact digital silence puts it there)
        // the first sound restarts the AGC at its start level.
        if (agcLevel_ == 0.1 && (I_[n] != 0.0 || Q_[n] != 0.0))
            agcLevel_ = 1.0;
        double g = agcLevel_ * agcLevel_ * agcLevel_ * agcLevel_;
        I_[n] = I_[n] / g;
        Q_[n] = Q_[n] / g;
        double K = (std::fabs(I_[n]) + std::fabs(Q_[n])) / 2.0;
        if (K > agcLevel_) {
            agcLevel_ = K;
        } else {
            agcLevel_ = agcLevel_ - c_.AGCDecay;
        }
        // Floor on the level itself: exact digital silence must not leave the
        // receiver deaf when the signal returns.
        if (agcLevel_ < 0.1)
            agcLevel_ = 0.1;
        out_.AGCTrace[n] = agcLevel_;
        if (c_.DSPAN) {
            anErr_[0][n] = I_[n];
            anErr_[1][n] = Q_[n];
            for (int ch = 0; ch < 2; ++ch) {
                double e = anErr_[ch][n];
                for (int m = 0; m < 33; ++m)
                    anWeights[ch][m] = anWeights[ch][m] + anRef_[ch][m] * 0.00001 * e;
            }
            // Decided: weights gone astray restart the canceller, as when
            // switched on, from the next sample.
            bool astray = false;
            for (int ch = 0; ch < 2; ++ch)
                for (int m = 0; m < 33; ++m)
                    astray = astray || !(std::fabs(anWeights[ch][m]) <= kAnWeightLimit);
            if (astray)
                RestartCanceller();
        }
        iqAfterAgcI[n] = I_[n];
        iqAfterAgcQ[n] = Q_[n];
    }
    // 5. Demodulation.
    if (c_.RxMode == Mode::Am) {
        for (int n = 0; n < kN; ++n)
            audioBlock_[n] = 10.0 * std::sqrt(I_[n] * I_[n] + Q_[n] * Q_[n]);
    } else if (c_.RxMode == Mode::Fm) {
        for (int n = 0; n < kN; ++n) {
            if (I_[n] == 0.0 && Q_[n] == 0.0) {
                theta_[n] = 0.0;
            } else {
                theta_[n] = std::atan2(I_[n], Q_[n]);
            }
            double prev = n == 0 ? thetaPrev_ : theta_[n - 1];
            double d = prev - theta_[n];
            if (d < -kPi) {
                d = d + kTwoPi;
            } else if (d > kPi) {
                d = d - kTwoPi;
            }
            fmRaw[n] = 30.0 * d;
            audioBlock_[n] = Step(kDeemphasis, deemphSt_, 30.0 * d);
        }
        thetaPrev_ = theta_[kN - 1];
    } else {
        for (int n = 0; n < kN; ++n) {
            if (c_.RxMode == Mode::Cw) {
                bfoPhase = bfoPhase + 0.10471975511965978;
            } else {
                bfoPhase = bfoPhase + kTwoPi * c_.SSBShift / 48000.0;
            }
            if (bfoPhase >= kTwoPi)
                bfoPhase = bfoPhase - kTwoPi;
            else if (bfoPhase < 0.0)
                bfoPhase = bfoPhase + kTwoPi;
            double bs, bc;
            dsp::fastmath::SinCos(bfoPhase, bs, bc);
            double r = Q_[n] * bs - I_[n] * bc;
            I_[n] = r;
            audioBlock_[n] = 10.0 * r;
        }
    }
    for (int n = 0; n < kN; ++n)
        demod[n] = audioBlock_[n];

    // 6. Squelch.
    out_.SqlBusy = false;
    double offset, scale;
    if (c_.RxMode == Mode::Fm) {
        if (c_.IFBW == IfChoice::Khz6) {
            offset = 0.003;
            scale = 7800.0;
        } else {
            offset = 0.005;
            scale = 3200.0;
        }
    } else {
        if (c_.IFBW == IfChoice::Khz6) {
            offset = 0.01;
            scale = 3500.0;
        } else {
            offset = 0.08;
            scale = 680.0;
        }
    }
    for (int n = 0; n < kN; ++n) {
        double x = audioBlock_[n];
        double y = x;
        for (int k = 0; k < 4; ++k)
            y = Step(noiseSec[k], noiseSt_[k], y);
        y = std::fabs(y);
        double noise = Step(kNoiseSmoother, smoothSt_, y);
        sqlNoise[n] = noise;
        double v = noise;
        if (sqlClosed_)
            v = v + offset;
        v = v * scale;
        sqlDecision[n] = v;
        bool open = c_.SqlPos == -150 || (150 - c_.SqlPos) >= v || c_.MonitorOn;
        sqlClosed_ = !open;
        if (open) {
            sqlGate[n] = 1.0;
            out_.SqlBusy = true;
        } else {
            sqlGate[n] = 0.0;
        }
    }
    // 7. Noise reduction.
    if (c_.DSPNR) {
        for (int n = 0; n < kN; ++n) {
            double x = audioBlock_[n];
            if (x > 30000.0)
                x = 30000.0;
            if (x < -30000.0)
                x = -30000.0;
            for (int j = 19; j > 0; --j)
                nrDelay_[j] = nrDelay_[j - 1];
            nrDelay_[0] = x;
            for (int j = 50; j > 0; --j)
                nrRef_[j] = nrRef_[j - 1];
            nrRef_[0] = nrDelay_[10];
            double y = 0.0;
            for (int j = 0; j < 51; ++j)
                y = y + nrWeights[j] * nrRef_[j];
            double e = x - y;
            nrErr_[n] = e;
            audioBlock_[n] = y;
            for (int j = 0; j < 51; ++j)
                nrWeights[j] = nrWeights[j] + nrRef_[j] * 0.00001 * e;
            // Decided: weights gone astray restart the enhancer, as when
            // switched on, from the next sample.
            bool astray = false;
            for (int j = 0; j < 51; ++j)
                astray = astray || !(std::fabs(nrWeights[j]) <= kNrWeightLimit);
            if (astray)
                RestartNoiseReduction();
        }
    }
    // 8. Mute.
    for (int n = 0; n < kN; ++n)
        audioBlock_[n] = audioBlock_[n] * sqlGate[n];
    // 9. High-pass, volume, AF filter.
    out_.AudioOver = false;
    for (int n = 0; n < kN; ++n) {
        double x = Step(kAudioHighPass, hpSt_, audioBlock_[n]);
        double v = x * c_.VolGain;
        if (v >= 32767.0) {
            v = 32767.0;
            out_.AudioOver = true;
        } else if (!(v > -32767.0)) {
            v = -32767.0;
            out_.AudioOver = true;
        }
        for (int k = 50; k > 0; --k)
            afDelay_[k] = afDelay_[k - 1];
        afDelay_[0] = v;
        double y = 0.0;
        for (int k = 0; k < 51; ++k)
            y = y + afTaps[k] * afDelay_[k];
        if (y > 32767.0)
            y = 32767.0;
        if (y < -32767.0)
            y = -32767.0;
        audioBlock_[n] = y;
        audio[n] = y;
    }
    // 10. Output frames, with the 3D delay line always fed.
    for (int n = 0; n < kN; ++n) {
        double x = audioBlock_[n];
        for (int k = 99; k > 0; --k)
            delay3D_[k] = delay3D_[k - 1];
        delay3D_[0] = x;
        if (c_.DSP3D) {
            double d = delay3D_[99];
            out_.OutFrames[2 * n] = RoundHalfUp((x - 0.5 * d) * 0.66666666666);
            out_.OutFrames[2 * n + 1] = RoundHalfUp((x + 0.5 * d) * 0.66666666666);
        } else {
            out_.OutFrames[2 * n] = RoundHalfUp(x);
            out_.OutFrames[2 * n + 1] = RoundHalfUp(x);
        }
    }
    // 12. Recorder feed.
    out_.RecFeedReady = false;
    if (c_.Recording && out_.SqlBusy) {
        for (int n = 0; n < kN; ++n) {
            double r = audioBlock_[n];
            for (int k = 0; k < 4; ++k)
                r = Step(kRecCascade[k], recSt_[k], r);
            if (r > 32767.0)
                r = 32767.0;
            if (r < -32767.0)
                r = -32767.0;
            recFull[n] = RoundHalfUp(r);
        }
        for (int m = 0; m < 400; ++m)
            out_.RecFeed[m] = recFull[6 * m];
        out_.RecFeedReady = true;
    }
    // 13. Spectrum.
    out_.SpectrumUpdated = false;
    if (c_.SpectrumVisible) {
        spectrum_.Analyze(rawI, rawQ, out_.SpectrumDb.data());
        out_.SpectrumUpdated = true;
    }
    // Decided: section states that long digital silence has left below
    // 1e-100 become zero before they sink into the subnormal range.
    auto flush = [](State& s) {
        if (std::fabs(s.w1) < 1e-100)
            s.w1 = 0.0;
        if (std::fabs(s.w2) < 1e-100)
            s.w2 = 0.0;
    };
    for (auto& channel : ifSt_)
        for (State& s : channel)
            flush(s);
    flush(deemphSt_);
    for (State& s : noiseSt_)
        flush(s);
    flush(smoothSt_);
    flush(hpSt_);
    for (State& s : recSt_)
        flush(s);
}

}  // namespace literal
