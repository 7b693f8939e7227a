#include "SignalChain.h"

#include "FastMath.h"
#include "FilterDesign.h"
#include "Rounding.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace dsp {

namespace {

constexpr int kN = kBlockFrames;
constexpr double kTwoPi = fastmath::kTwoPi;
constexpr double kMu = 0.00001;

// Adaptive filter geometry: the canceller predicts from 19..51 samples back,
// the enhancer from 10..60 samples back.
constexpr int kAnTaps = 33;
constexpr int kAnLag = 19;
constexpr int kAnHist = kAnLag + kAnTaps - 1;  // 51 samples of history
constexpr int kNrTaps = 51;
constexpr int kNrLag = 10;
constexpr int kNrHist = kNrLag + kNrTaps - 1;  // 60
constexpr int kAfHist = kAFTaps - 1;           // 50
constexpr int k3DLag = 99;

constexpr double kNrStart[26] = {
    0.83333333, 0.15850347, -0.1355869, 0.10224705, -0.064515667, 0.028703101, 2.7971523e-17,
    -0.018530567, 0.026339095, -0.025115798, 0.018007932, -0.0086052259, -1.7398483e-17,
    0.0058370452, -0.0082534107, 0.007715265, -0.0053537217, 0.0024460308, 2.0554981e-17,
    -0.001459992, 0.0018938456, -0.0015932012, 0.0009700444, -0.0003751682, -1.1467998e-18,
    0.00012979404};
constexpr double kAnStart[17] = {
    0.83333333, 0.15827496, -0.13480226, 0.10090786, -0.063000934, 0.027638739, 2.6457933e-17,
    -0.017143863, 0.023716216, -0.021881506, 0.015073747, -0.0068607426, -1.3067159e-17,
    0.0040704956, -0.0052398498, 0.0043351502, -0.0025492992};

constexpr BiquadSection kAudioHighPass{1.98148851, -0.98165828, 0.9907867, -1.9815734, 0.9907867};
constexpr BiquadSection kDeemphasis{1.63299316, -0.69059892, 0.01440144, 0.02880288, 0.01440144};
constexpr BiquadSection kNoiseSmoother{1.9990744, -0.99907483, 1.1e-07, 2.1e-07, 1.1e-07};
constexpr BiquadSection kRecCascade[4] = {
    {1.16214396, -0.34192826, 0.04494607, 0.08989215, 0.04494607},
    {1.22342885, -0.41269395, 0.04731628, 0.09463255, 0.04731628},
    {1.35551024, -0.5652084, 0.05242454, 0.10484908, 0.05242454},
    {1.57811347, -0.82224848, 0.06103375, 0.1220675, 0.06103375}};

// The AGC's level never sinks below this: after exact digital silence the
// divisor (level^4) would otherwise reach zero and the receiver stay deaf.
constexpr double kAgcFloor = 0.1;

using v2d = double __attribute__((vector_size(16)));
using v4d = double __attribute__((vector_size(32)));

// Fused multiply-add where the processor has it; the library is built
// without automatic fusion, so these are the only fused operations.
inline double Fma(double a, double b, double c)
{
#ifdef __FMA__
    return __builtin_fma(a, b, c);
#else
    return a * b + c;
#endif
}

inline v4d Fma4(v4d a, v4d b, v4d c)
{
#ifdef __FMA__
    return __builtin_ia32_vfmaddpd256(a, b, c);
#else
    return a * b + c;
#endif
}

inline v4d Load4(const double* p)
{
    v4d v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void Store4(double* p, v4d v) { std::memcpy(p, &v, sizeof v); }

// Dot product of N doubles over four independent sums of four lanes: the
// adaptive filters' prediction would otherwise be one long chain of
// dependent multiply-adds per sample.
template <int N>
inline double Dot(const double* w, const double* r)
{
    constexpr int V = N / 4;
    v4d acc[4] = {};
    for (int k = 0; k < V; ++k)
        acc[k & 3] = Fma4(Load4(w + 4 * k), Load4(r + 4 * k), acc[k & 3]);
    const v4d s = (acc[0] + acc[1]) + (acc[2] + acc[3]);
    double sum = (s[0] + s[1]) + (s[2] + s[3]);
    for (int k = 4 * V; k < N; ++k)
        sum = Fma(w[k], r[k], sum);
    return sum;
}

// w += r * s over N doubles.
template <int N>
inline void Adapt(double* w, const double* r, double s)
{
    constexpr int V = N / 4;
    const v4d sv = {s, s, s, s};
    for (int k = 0; k < V; ++k)
        Store4(w + 4 * k, Fma4(Load4(r + 4 * k), sv, Load4(w + 4 * k)));
    for (int k = 4 * V; k < N; ++k)
        w[k] = Fma(r[k], s, w[k]);
}

// Stages stay separate functions: one call per block costs nothing, and a
// profile then shows where a block's time goes.
#define TESMAR_STAGE __attribute__((noinline))

// One section step in the order the sums are written. Stages up to the AGC
// and the squelch use it: the AGC's instant attack turns a level error into
// four times that error of the opposite sign, so any other rounding there
// would grow into an audible difference from the reference computation.
inline double Step(const BiquadSection& c, BiquadState& st, double x)
{
    const double w0 = x + c.a1 * st.w1 + c.a2 * st.w2;
    const double y = c.b0 * w0 + c.b1 * st.w1 + c.b2 * st.w2;
    st.w2 = st.w1;
    st.w1 = w0;
    return y;
}

// The same with the sums grouped so that only a1 * w1 waits for the previous
// sample: one multiply-add of latency instead of three operations. For the
// stages after the squelch, where a last-bit difference stays a last-bit
// difference.
inline double StepFast(const BiquadSection& c, BiquadState& st, double x)
{
    const double w0 = Fma(c.a1, st.w1, Fma(c.a2, st.w2, x));
    const double y = Fma(c.b0, w0, Fma(c.b1, st.w1, c.b2 * st.w2));
    st.w2 = st.w1;
    st.w1 = w0;
    return y;
}

// Advance an oscillator phase over a block, keeping it within [0, 2*pi).
// The additions stay strictly sequential: the phase is bit-exact with a
// sample-by-sample oscillator.
TESMAR_STAGE double RunPhase(double phase, double inc, double* out)
{
    for (int n = 0; n < kN; ++n) {
        phase += inc;
        if (phase >= kTwoPi)
            phase -= kTwoPi;
        else if (phase < 0.0)
            phase += kTwoPi;
        out[n] = phase;
    }
    return phase;
}

} // namespace

class SignalChainImpl {
public:
    // Block working data.
    alignas(64) double I[kN];
    alignas(64) double Q[kN];
    alignas(64) double RawI[kN];
    alignas(64) double RawQ[kN];
    alignas(64) double Audio[kN];
    alignas(64) double Gate[kN];
    alignas(64) double Phase[kN];
    alignas(64) double Sin[kN];
    alignas(64) double Cos[kN];

    double TunePhase = 0.0;
    double BfoPhase = 0.0;
    double ThetaPrev = 0.0;
    double AGCLevel = 1.0;
    bool SqlClosed = false;

    BiquadSection IF[4];
    v2d IFw1[4] = {};
    v2d IFw2[4] = {};
    BiquadState Deemph;
    BiquadSection Noise[4];
    BiquadState NoiseSt[4];
    BiquadState Smoother;
    BiquadState HighPass;
    BiquadState RecSt[4];

    alignas(64) double AFTaps[kAFTaps] = {};
    // Sample histories: the previous block's tail sits in front of this block.
    alignas(64) double AfHist[kAfHist + kN] = {};
    alignas(64) double Hist3D[k3DLag + kN] = {};

    // Canceller: lane 0 is I, lane 1 is Q. Weights in reference order
    // (newest first); the history holds the IF output, oldest first.
    v2d AnW[kAnTaps] = {};
    v2d AnHist[kAnHist + kN] = {};
    // Enhancer.
    alignas(64) double NrW[kNrTaps] = {};
    alignas(64) double NrHist[kNrHist + kN] = {};

    int16_t RecWork[kN] = {};

    SpectrumAnalyzer Spectrum;

    void ResetIFStates()
    {
        for (int k = 0; k < 4; ++k)
            IFw1[k] = IFw2[k] = v2d{0.0, 0.0};
    }

    void LoadAn()
    {
        for (int m = 0; m < kAnTaps; ++m) {
            const double w = kAnStart[std::abs(m - 16)];
            AnW[m] = v2d{w, w};
        }
        for (v2d& x : AnHist)
            x = v2d{0.0, 0.0};
    }

    void LoadNr()
    {
        for (int j = 0; j < kNrTaps; ++j)
            NrW[kNrTaps - 1 - j] = kNrStart[std::abs(j - 25)];
        std::fill(std::begin(NrHist), std::end(NrHist), 0.0);
    }

    TESMAR_STAGE void RunIF()
    {
        v2d a1[4], a2[4], b0[4], b1[4], b2[4];
        v2d w1[4], w2[4];
        for (int k = 0; k < 4; ++k) {
            a1[k] = v2d{IF[k].a1, IF[k].a1};
            a2[k] = v2d{IF[k].a2, IF[k].a2};
            b0[k] = v2d{IF[k].b0, IF[k].b0};
            b1[k] = v2d{IF[k].b1, IF[k].b1};
            b2[k] = v2d{IF[k].b2, IF[k].b2};
            w1[k] = IFw1[k];
            w2[k] = IFw2[k];
        }
        for (int n = 0; n < kN; ++n) {
            v2d x = {I[n], Q[n]};
            for (int k = 0; k < 4; ++k) {
                const v2d w0 = x + a1[k] * w1[k] + a2[k] * w2[k];
                x = b0[k] * w0 + b1[k] * w1[k] + b2[k] * w2[k];
                w2[k] = w1[k];
                w1[k] = w0;
            }
            I[n] = x[0];
            Q[n] = x[1];
        }
        for (int k = 0; k < 4; ++k) {
            IFw1[k] = w1[k];
            IFw2[k] = w2[k];
        }
    }

    TESMAR_STAGE void RunAgc(double decay, double* trace)
    {
        double level = AGCLevel;
        for (int n = 0; n < kN; ++n) {
            const double g = level * level * level * level;
            const double i = I[n] / g;
            const double q = Q[n] / g;
            I[n] = i;
            Q[n] = q;
            const double k = (std::fabs(i) + std::fabs(q)) / 2.0;
            if (k > level)
                level = k;
            else
                level = std::max(level - decay, kAgcFloor);
            trace[n] = level;
        }
        AGCLevel = level;
    }

    // The canceller's sums keep their written order (newest reference
    // first): they feed the AGC. I and Q run side by side in two lanes.
    TESMAR_STAGE void RunAnAgc(double decay, double* trace)
    {
        v2d* h = AnHist;
        for (int n = 0; n < kN; ++n)
            h[kAnHist + n] = v2d{I[n], Q[n]};
        v2d w[kAnTaps];
        for (int m = 0; m < kAnTaps; ++m)
            w[m] = AnW[m];
        const v2d mu = {kMu, kMu};
        double level = AGCLevel;
        for (int n = 0; n < kN; ++n) {
            // ref[m] = x[n - 19 - m]
            const v2d* ref = h + kAnHist + n - kAnLag;
            v2d y = {0.0, 0.0};
            for (int m = 0; m < kAnTaps; ++m)
                y = y + w[m] * ref[-m];
            const v2d x = h[kAnHist + n];
            const v2d e = x - y;
            const double g = level * level * level * level;
            const double ei = e[0] / g;
            const double eq = e[1] / g;
            I[n] = ei;
            Q[n] = eq;
            const double k = (std::fabs(ei) + std::fabs(eq)) / 2.0;
            if (k > level)
                level = k;
            else
                level = std::max(level - decay, kAgcFloor);
            trace[n] = level;
            const v2d ev = {ei, eq};
            for (int m = 0; m < kAnTaps; ++m)
                w[m] = w[m] + ref[-m] * mu * ev;
        }
        AGCLevel = level;
        for (int m = 0; m < kAnTaps; ++m)
            AnW[m] = w[m];
        std::memmove(h, h + kN, kAnHist * sizeof(v2d));
    }

    TESMAR_STAGE void Demodulate(const ChainControls& c)
    {
        if (c.RxMode == kModeAM) {
            for (int n = 0; n < kN; ++n)
                Audio[n] = 10.0 * std::sqrt(I[n] * I[n] + Q[n] * Q[n]);
        } else if (c.RxMode == kModeFM) {
            for (int n = 0; n < kN; ++n)
                Phase[n] = fastmath::Atan2(I[n], Q[n]);
            double prev = ThetaPrev;
            for (int n = 0; n < kN; ++n) {
                double d = prev - Phase[n];
                d = d < -fastmath::kPi ? d + kTwoPi : (d > fastmath::kPi ? d - kTwoPi : d);
                Audio[n] = 30.0 * d;
                prev = Phase[n];
            }
            ThetaPrev = prev;
            BiquadState st = Deemph;
            for (int n = 0; n < kN; ++n)
                Audio[n] = Step(kDeemphasis, st, Audio[n]);
            Deemph = st;
        } else {
            const double inc = c.RxMode == kModeCW ? 0.10471975511965978 : kTwoPi * c.SSBShift / kSampleRate;
            BfoPhase = RunPhase(BfoPhase, inc, Phase);
            for (int n = 0; n < kN; ++n)
                fastmath::SinCos(Phase[n], Sin[n], Cos[n]);
            for (int n = 0; n < kN; ++n)
                Audio[n] = 10.0 * (Q[n] * Sin[n] - I[n] * Cos[n]);
        }
    }

    TESMAR_STAGE bool Squelch(const ChainControls& c)
    {
        double offset, scale;
        if (c.RxMode == kModeFM) {
            offset = c.IFBW == 2 ? 0.003 : 0.005;
            scale = c.IFBW == 2 ? 7800.0 : 3200.0;
        } else {
            offset = c.IFBW == 2 ? 0.01 : 0.08;
            scale = c.IFBW == 2 ? 3500.0 : 680.0;
        }
        const bool forced = c.SqlPos == -150 || c.MonitorOn;
        const double threshold = 150 - c.SqlPos;
        bool busy = false;
        bool closed = SqlClosed;
        const BiquadSection n0 = Noise[0], n1 = Noise[1], n2 = Noise[2], n3 = Noise[3];
        BiquadState s0 = NoiseSt[0], s1 = NoiseSt[1], s2 = NoiseSt[2], s3 = NoiseSt[3];
        BiquadState sm = Smoother;
        for (int n = 0; n < kN; ++n) {
            double y = Audio[n];
            y = Step(n0, s0, y);
            y = Step(n1, s1, y);
            y = Step(n2, s2, y);
            y = Step(n3, s3, y);
            const double noise = Step(kNoiseSmoother, sm, std::fabs(y));
            const double measure = (closed ? noise + offset : noise) * scale;
            const bool open = forced || threshold >= measure;
            closed = !open;
            Gate[n] = open ? 1.0 : 0.0;
            busy |= open;
        }
        SqlClosed = closed;
        NoiseSt[0] = s0;
        NoiseSt[1] = s1;
        NoiseSt[2] = s2;
        NoiseSt[3] = s3;
        Smoother = sm;
        return busy;
    }

    TESMAR_STAGE void NoiseReduction()
    {
        double* h = NrHist;
        for (int n = 0; n < kN; ++n)
            h[kNrHist + n] = std::clamp(Audio[n], -30000.0, 30000.0);
        double* w = NrW;
        for (int n = 0; n < kN; ++n) {
            const double* r = h + n;  // samples 10..60 back, oldest first
            const double y = Dot<kNrTaps>(w, r);
            const double e = h[kNrHist + n] - y;
            Audio[n] = y;
            Adapt<kNrTaps>(w, r, kMu * e);
        }
        std::memmove(h, h + kN, kNrHist * sizeof(double));
    }
    TESMAR_STAGE void Convert(const int16_t* frames, double gain, bool inv)
    {
        const int li = inv ? 1 : 0;
        const int lq = 1 - li;
        for (int n = 0; n < kN; ++n) {
            I[n] = frames[2 * n + li] * gain;
            Q[n] = frames[2 * n + lq] * gain;
        }
        std::memcpy(RawI, I, sizeof I);
        std::memcpy(RawQ, Q, sizeof Q);
    }

    TESMAR_STAGE void Mix(double inc)
    {
        TunePhase = RunPhase(TunePhase, inc, Phase);
        for (int n = 0; n < kN; ++n)
            fastmath::SinCos(Phase[n], Sin[n], Cos[n]);
        for (int n = 0; n < kN; ++n) {
            const double i = I[n], q = Q[n], sn = Sin[n], cs = Cos[n];
            I[n] = q * sn - i * cs;
            Q[n] = q * cs + i * sn;
        }
    }

    // High-pass, volume with its overload flag, AF filter; returns the flag.
    TESMAR_STAGE bool AudioStage(double vol)
    {
        for (int n = 0; n < kN; ++n)
            Audio[n] *= Gate[n];
        double* v = AfHist + kAfHist;
        {
            BiquadState st = HighPass;  // a local: the loop's stores cannot alias it
            for (int n = 0; n < kN; ++n)
                v[n] = StepFast(kAudioHighPass, st, Audio[n]);
            HighPass = st;
        }
        int over = 0;
        for (int n = 0; n < kN; ++n) {
            const double x = v[n] * vol;
            const bool hi = x >= 32767.0;
            const bool lo = x <= -32767.0;
            over |= static_cast<int>(hi) | static_cast<int>(lo);
            v[n] = hi ? 32767.0 : (lo ? -32767.0 : x);
        }
        // y[n] = sum over k of tap k * v[n - k], newest first, one output
        // per lane so each sum keeps its order.
        double* y = Hist3D + k3DLag;
        static_assert(kN % 16 == 0);
        for (int n0 = 0; n0 < kN; n0 += 16) {
            v4d acc0 = {}, acc1 = {}, acc2 = {}, acc3 = {};
            for (int k = 0; k < kAFTaps; ++k) {
                const v4d t = {AFTaps[k], AFTaps[k], AFTaps[k], AFTaps[k]};
                const double* src = v + n0 - k;
                acc0 = Fma4(t, Load4(src), acc0);
                acc1 = Fma4(t, Load4(src + 4), acc1);
                acc2 = Fma4(t, Load4(src + 8), acc2);
                acc3 = Fma4(t, Load4(src + 12), acc3);
            }
            const v4d hi = {32767.0, 32767.0, 32767.0, 32767.0};
            const v4d lo = -hi;
            acc0 = acc0 > hi ? hi : (acc0 < lo ? lo : acc0);
            acc1 = acc1 > hi ? hi : (acc1 < lo ? lo : acc1);
            acc2 = acc2 > hi ? hi : (acc2 < lo ? lo : acc2);
            acc3 = acc3 > hi ? hi : (acc3 < lo ? lo : acc3);
            Store4(y + n0, acc0);
            Store4(y + n0 + 4, acc1);
            Store4(y + n0 + 8, acc2);
            Store4(y + n0 + 12, acc3);
        }
        std::memcpy(Audio, y, sizeof Audio);
        std::memmove(AfHist, AfHist + kN, kAfHist * sizeof(double));
        return over != 0;
    }

    TESMAR_STAGE void Output(bool spread, int16_t* o)
    {
        const double* x = Hist3D + k3DLag;
        if (spread) {
            for (int n = 0; n < kN; ++n) {
                const double d = x[n - k3DLag];
                o[2 * n] = RoundHalfUp((x[n] - 0.5 * d) * 0.66666666666);
                o[2 * n + 1] = RoundHalfUp((x[n] + 0.5 * d) * 0.66666666666);
            }
        } else {
            for (int n = 0; n < kN; ++n)
                o[2 * n] = o[2 * n + 1] = RoundHalfUp(x[n]);
        }
        std::memmove(Hist3D, Hist3D + kN, k3DLag * sizeof(double));
    }

    // Low-pass to 4 kHz and keep every sixth sample.
    TESMAR_STAGE void RecorderFeed(int16_t* out)
    {
        BiquadState s0 = RecSt[0], s1 = RecSt[1], s2 = RecSt[2], s3 = RecSt[3];
        for (int n = 0; n < kN; ++n) {
            double y = Audio[n];
            y = StepFast(kRecCascade[0], s0, y);
            y = StepFast(kRecCascade[1], s1, y);
            y = StepFast(kRecCascade[2], s2, y);
            y = StepFast(kRecCascade[3], s3, y);
            RecWork[n] = RoundHalfUp(std::clamp(y, -32767.0, 32767.0));
        }
        RecSt[0] = s0;
        RecSt[1] = s1;
        RecSt[2] = s2;
        RecSt[3] = s3;
        for (int m = 0; m < kRecSamples; ++m)
            out[m] = RecWork[6 * m];
    }
};

SignalChain::SignalChain(ChainControls& controls) : c_(controls), impl_(new SignalChainImpl) {}

SignalChain::~SignalChain() { delete impl_; }

double SignalChain::AGCLevel() const { return impl_->AGCLevel; }
const BiquadSection* SignalChain::IFSections() const { return impl_->IF; }
const BiquadSection* SignalChain::NoiseSections() const { return impl_->Noise; }
const double* SignalChain::AFTaps() const { return impl_->AFTaps; }

void SignalChain::Setup()
{
    if (c_.RxMode < 0 || c_.RxMode > 4)
        c_.RxMode = 0;
    DesignIFFilter();
    DesignAFFilter();
    SetAGCSpeed();
    SetVolume();
    SetInputGain();
    DesignChebyshev8(-1, 48.0, 12.0, impl_->Noise);
    // Processors restored as on start from zero weights; only a press of
    // their button loads the start tables.
}

void SignalChain::DesignIFFilter()
{
    switch (c_.IFBW) {
    case 0: c_.IFWidth = 500; break;
    case 1: c_.IFWidth = 3000; break;
    case 2: c_.IFWidth = 6000; break;
    case 3: c_.IFWidth = 12000; break;
    case 4:
        if (c_.PosIFBW < 1 || c_.PosIFBW > 200)
            c_.PosIFBW = 30;
        c_.IFWidth = c_.PosIFBW * 100;
        break;
    default:
        c_.IFBW = 0;
        c_.IFWidth = 500;
        break;
    }
    DesignIFFilterForWidth();
}

void SignalChain::DesignIFFilterForWidth()
{
    if (c_.IFWidth < 100 || c_.IFWidth > 20000)
        c_.IFWidth = 3000;
    DesignChebyshev8(+1, 48.0, c_.IFWidth * 0.0005, impl_->IF);
    impl_->ResetIFStates();
    if (c_.RxMode == kModeLSB)
        c_.SSBShift = -(c_.IFWidth / 2);
    else if (c_.RxMode == kModeUSB)
        c_.SSBShift = c_.IFWidth / 2;
}

void SignalChain::DesignAFFilter()
{
    switch (c_.AFLPF) {
    case 0: c_.AFLow = 0.3; c_.AFHigh = 3.0; break;
    case 1: c_.AFLow = 0.3; c_.AFHigh = 6.0; break;
    case 2:
        if (!(c_.PosAFFC1 >= 1 && c_.PosAFFC1 < c_.PosAFFC2 && c_.PosAFFC2 <= 100)) {
            c_.PosAFFC1 = 3;
            c_.PosAFFC2 = 60;
        }
        c_.AFLow = c_.PosAFFC1 * 0.1;
        c_.AFHigh = c_.PosAFFC2 * 0.1;
        break;
    default:
        c_.AFLPF = 0;
        c_.AFLow = 0.3;
        c_.AFHigh = 3.0;
        break;
    }
    DesignKaiserFir(kAFTaps - 1, 48.0, c_.AFLow, c_.AFHigh, 60.0, impl_->AFTaps);
    std::fill(std::begin(impl_->AfHist), std::end(impl_->AfHist), 0.0);
}

void SignalChain::SetAGCSpeed()
{
    switch (c_.AGC) {
    case 1: c_.AGCDecay = 0.00003; break;
    case 2: c_.AGCDecay = 0.00001; break;
    default:
        c_.AGC = 0;
        c_.AGCDecay = 0.0001;
        break;
    }
}

void SignalChain::SetVolume() { c_.VolGain = (c_.GainPos + 150) * 5.0; }

void SignalChain::SetInputGain() { c_.InGain = std::pow(10.0, c_.InGainPos / 20.0); }

void SignalChain::ANButtonClick(bool down)
{
    if (down)
        impl_->LoadAn();
    else
        impl_->ResetIFStates();
    c_.DSPAN = down;
}

void SignalChain::NRButtonClick(bool down)
{
    if (down)
        impl_->LoadNr();
    c_.DSPNR = down;
}

void SignalChain::ProcessBlock(const int16_t* frames)
{
    SignalChainImpl& s = *impl_;
    const ChainControls& c = c_;

    s.Convert(frames, c.InGain, c.InvIQ);
    s.Mix(kTwoPi * (c.FreqTune + c.SSBShift) / kSampleRate);
    s.RunIF();
    if (c.DSPAN)
        s.RunAnAgc(c.AGCDecay, out_.AGCTrace.data());
    else
        s.RunAgc(c.AGCDecay, out_.AGCTrace.data());
    s.Demodulate(c);
    out_.SqlBusy = s.Squelch(c);
    if (c.DSPNR)
        s.NoiseReduction();
    out_.AudioOver = s.AudioStage(c.VolGain);
    s.Output(c.DSP3D, out_.OutFrames.data());

    // The recorder low-pass runs only on blocks that reach the file.
    out_.RecFeedReady = c.Recording && out_.SqlBusy;
    if (out_.RecFeedReady)
        s.RecorderFeed(out_.RecFeed.data());

    out_.SpectrumUpdated = c.SpectrumVisible;
    if (c.SpectrumVisible)
        s.Spectrum.Analyze(s.RawI, s.RawQ, out_.SpectrumDb.data());
}

} // namespace dsp
