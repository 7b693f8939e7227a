#include "SignalChain.h"

#include "FastMath.h"
#include "FilterDesign.h"
#include "Rounding.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>

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
constexpr int kAnPairs = (kAnTaps + 1) / 2;
constexpr int kNrTaps = 51;
constexpr int kNrLag = 10;
constexpr int kNrHist = kNrLag + kNrTaps - 1;  // 60
constexpr int kNrLead = 2;            // older samples kept for the look-ahead's lag products
constexpr int kAfHist = kAFTaps - 1;  // 50
constexpr int k3DLag = 99;

constexpr double kNrStart[26] = {
    0.83333333,     0.15850347,   -0.1355869,    0.10224705,    -0.064515667,  0.028703101,
    2.7971523e-17,  -0.018530567, 0.026339095,   -0.025115798,  0.018007932,   -0.0086052259,
    -1.7398483e-17, 0.0058370452, -0.0082534107, 0.007715265,   -0.0053537217, 0.0024460308,
    2.0554981e-17,  -0.001459992, 0.0018938456,  -0.0015932012, 0.0009700444,  -0.0003751682,
    -1.1467998e-18, 0.00012979404};
constexpr double kAnStart[17] = {
    0.83333333,     0.15827496,   -0.13480226,   0.10090786,   -0.063000934, 0.027638739,
    2.6457933e-17,  -0.017143863, 0.023716216,   -0.021881506, 0.015073747,  -0.0068607426,
    -1.3067159e-17, 0.0040704956, -0.0052398498, 0.0043351502, -0.0025492992};

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

// The front end's four-wide section steps: lanes IF I, IF Q, the squelch's
// noise high-pass and (in the first section) the FM de-emphasis.
constexpr int kLaneI = 0, kLaneQ = 1, kLaneNoise = 2, kLaneDeemph = 3;
// Lane 3 of section 1 is the squelch's noise smoother, lane 3 of section 2
// the audio high-pass when nothing comes between the squelch and it.
constexpr int kSmoothSection = 1, kLaneSmooth = 3;
constexpr int kHighPassSection = 2, kLaneHighPass = 3;
// How far the de-emphasis and the noise lane run behind the IF lanes, in
// samples: far enough that their input was computed several iterations
// before, so that no lane of a step waits for the others. Without the
// canceller, FM's angles come a batch later than the other modes' audio
// (see the front end), and its lanes run further behind ("late"); the other
// cases keep the shorter lags, which measured faster for them.
constexpr int DeemphLag(bool late) { return late ? 24 : 16; }
constexpr int NoiseLag(bool late) { return late ? 28 : 24; }
// Iterations of the front-end loop before (and after) every stage is busy:
// the high-pass lane's sample is NoiseLag + 5 behind the IF input.
constexpr int FrontFill(bool late) { return NoiseLag(late) + 5; }
// The AF filter's four outputs from 4q take four iterations from iteration
// 4q + FirLag, by when their newest input has been stored eight iterations
// (or a few more: whole quads).
constexpr int FirLag(bool late) { return (FrontFill(late) + 3 + 8 + 3) / 4 * 4; }
// Output quads whose four parts all fall within the loop's iterations.
constexpr int FirInLoop(bool late) { return (kN + FrontFill(late) - FirLag(late)) / 4; }
constexpr int kFirSplit[5] = {0, 7, 13, 19, kAfHist / 2};  // folded taps per iteration
constexpr int kChunk = 8;  // mixer samples, AM envelopes and FM angles per vectorised batch
// How far the tuning oscillator runs ahead of the IF lanes, in samples: a
// batch of eight phases is mixed over the three iterations after its last
// phase, some iterations before the IF lanes read it.
constexpr int kMixLead = 16;
// How many batches the CW and sideband products run behind the AGC.
constexpr int kBfoBehind = 1;
// Its audio is stored before the noise lane (three samples behind the AGC)
// reads it.
static_assert(kBfoBehind * kChunk + 2 < NoiseLag(false) - 3);
static_assert(kMixLead % kChunk == 0 && kMixLead >= kChunk + 3);
// An FM batch's audio is stored in the fifth iteration of the next batch
// (of the batch after next when late), before the de-emphasis lane reads it.
static_assert(kN % kChunk == 0 && kChunk + 7 < DeemphLag(false) &&
              2 * kChunk + 7 < DeemphLag(true));
static_assert(DeemphLag(true) < NoiseLag(true) && DeemphLag(false) < NoiseLag(false));
enum { kDemodAM, kDemodFM, kDemodBfo };

using v4l = long long __attribute__((vector_size(32)));

struct SectionV {
    v4d a1, a2, b0, b1, b2;
};

// BiquadStep in every lane, each lane rounding as the scalar step does.
inline v4d StepV(const SectionV& c, v4d& w1, v4d& w2, v4d x)
{
    const v4d w0 = x + c.a1 * w1 + c.a2 * w2;
    const v4d y = c.b0 * w0 + c.b1 * w1 + c.b2 * w2;
    w2 = w1;
    w1 = w0;
    return y;
}

// The same, advancing the state only in the lanes that are set.
inline v4d StepV(const SectionV& c, v4d& w1, v4d& w2, v4d x, v4l active)
{
    const v4d w0 = x + c.a1 * w1 + c.a2 * w2;
    const v4d y = c.b0 * w0 + c.b1 * w1 + c.b2 * w2;
    w2 = active ? w1 : w2;
    w1 = active ? w0 : w1;
    return y;
}

// One step of an oscillator phase, kept within [0, 2*pi). The additions stay
// strictly sequential, so the phase is bit-exact with a sample-by-sample
// oscillator. The wrap is a select: inside the front-end loop a mispredicted
// wrap would discard several samples' work.
inline double PhaseStep(double phase, double inc)
{
    phase += inc;
    const double down = phase - kTwoPi, up = phase + kTwoPi;
    return phase >= kTwoPi ? down : (phase < 0.0 ? up : phase);
}

// Two oscillators' steps as the lanes of one vector: each lane performs
// PhaseStep's operations, so the phases are the same.
inline v2d PhaseStep(v2d phase, v2d inc)
{
    phase += inc;
    const v2d down = phase - kTwoPi, up = phase + kTwoPi;
    return phase >= kTwoPi ? down : (phase < 0.0 ? up : phase);
}

}  // namespace

class SignalChainImpl {
public:
    // Block working data.
    alignas(64) double I[kN];
    alignas(64) double Q[kN];
    alignas(64) double RawI[kN];
    alignas(64) double RawQ[kN];
    alignas(64) double Audio[kN];
    alignas(64) double Gate[kN];
    alignas(64) double BfoAt[kN];   // the BFO's phases
    alignas(64) double TuneAt[kN];  // the tuning oscillator's phases
    alignas(64) double FmRaw[kN];   // FM audio before the de-emphasis

    double TunePhase = 0.0;
    double BfoPhase = 0.0;
    double ThetaPrev = 0.0;
    double AGCLevel = 1.0;
    bool SqlClosed = false;

    BiquadSection IF[4];
    BiquadSection Noise[4];
    // States of the four section vectors of the front end (lanes: IF I, IF Q,
    // noise high-pass, and in section 0 the FM de-emphasis).
    v4d W1[4] = {};
    v4d W2[4] = {};
    BiquadState Smoother;
    BiquadState HighPass;
    double AfPeak = 0.0;  // the block's largest |volume output|, when the front end computed it
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
    alignas(64) double NrHist[kNrLead + kNrHist + kN] = {};

    SpectrumAnalyzer Spectrum;

    void ResetIFStates()
    {
        for (int k = 0; k < 4; ++k) {
            W1[k][kLaneI] = W1[k][kLaneQ] = 0.0;
            W2[k][kLaneI] = W2[k][kLaneQ] = 0.0;
        }
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

    // CW and sideband audio of the eight samples from m0, in three stages:
    // the BFO's sines and cosines, then the products with the AGC output in
    // I and Q.
    void BfoStage(int stage, int m0, fastmath::SinCosx8& sc)
    {
        using V = fastmath::SinCosx8::V;
        if (stage == 0) {
            sc.Reduce(BfoAt + m0);
        } else if (stage == 1) {
            sc.PolyInner();
        } else {
            V sn, cs, i, q;
            sc.Finish(sn, cs);
            std::memcpy(&i, I + m0, sizeof i);
            std::memcpy(&q, Q + m0, sizeof q);
            const V a = 10.0 * (q * sn - i * cs);
            std::memcpy(Audio + m0, &a, sizeof a);
        }
    }

    // AM audio of samples m0 .. m0 + kChunk - 1 from the AGC output in I and Q.
    void AmChunk(int m0)
    {
        for (int j = m0; j < m0 + kChunk; ++j)
            Audio[j] = 10.0 * std::sqrt(I[j] * I[j] + Q[j] * Q[j]);
    }

    // Tuning mixer of the eight samples from m0, in three stages (the
    // oscillator's sine and cosine, then the products into I and Q).
    void MixStage(int stage, int m0, fastmath::SinCosx8& sc)
    {
        using V = fastmath::SinCosx8::V;
        if (stage == 0) {
            sc.Reduce(TuneAt + m0);
        } else if (stage == 1) {
            sc.PolyInner();
        } else {
            V sn, cs, i, q;
            sc.Finish(sn, cs);
            std::memcpy(&i, RawI + m0, sizeof i);
            std::memcpy(&q, RawQ + m0, sizeof q);
            const V mi = q * sn - i * cs;
            const V mq = q * cs + i * sn;
            std::memcpy(I + m0, &mi, sizeof mi);
            std::memcpy(Q + m0, &mq, sizeof mq);
        }
    }

    // FM audio of the eight samples from m0 from their angles t; returns the
    // last angle. The phase steps' wraps are selects: they come at random on
    // a noisy band, and a branch per sample would mispredict.
    double FmSteps(int m0, fastmath::Atan2x8::V t, double theta)
    {
        using V = fastmath::Atan2x8::V;
        const V prev = __builtin_shufflevector(t, V{} + theta, 8, 0, 1, 2, 3, 4, 5, 6);
        const V d = prev - t;
        const V up = d + kTwoPi, down = d - kTwoPi;
        const V raw = 30.0 * (d < -fastmath::kPi ? up : (d > fastmath::kPi ? down : d));
        std::memcpy(FmRaw + m0, &raw, sizeof raw);
        return t[kChunk - 1];
    }

    // From the mixer output in I and Q to AGCTrace, the demodulated Audio and
    // the squelch's Gate; returns whether the squelch opened in the block.
    //
    // One loop runs the IF cascade, the canceller, the AGC, the demodulator
    // and the squelch, each stage a few samples behind the one before it:
    // iteration n takes section k of the IF cascade to sample n - k, the
    // canceller, AGC and demodulator to sample n - 3, the de-emphasis to
    // n - DeemphLag and section k of the noise high-pass to sample
    // n - NoiseLag - k. A section then never waits for the section before it
    // within an iteration, the serial chains of all stages overlap, and the
    // IF lanes, the noise lane and the de-emphasis share one four-wide step.
    // Lanes are separate IEEE operations, so each rounds exactly as the
    // scalar step written in the same order. The squelch's smoother takes
    // the free lane of section 1, a sample after the noise high-pass.
    //
    // The tuning oscillator (and the BFO) run kMixLead samples ahead in the
    // same loop, and the mixer takes its batches of eight in stages between.
    // The BFO's sines and cosines and the CW and sideband products take
    // theirs a batch behind the AGC, as the AM envelopes and FM angles do.
    //
    // With HighPassHere (the enhancer off), the audio high-pass, the volume
    // and the limiter run here too, a sample after the squelch's decision,
    // rounding as the section step is written (the free lane of section 2),
    // and then the AF filter: they leave the AF output and the overload peak.
    template <int Demod, bool An, bool HighPassHere>
    TESMAR_STAGE bool FrontEnd(const ChainControls& c, double inc, double bfoInc, double* trace)
    {
        constexpr bool kBfo = Demod == kDemodBfo;
        constexpr bool kFm = Demod == kDemodFM;
        // With the canceller, the loop is bound by its chain, and FM's
        // angles measured faster a batch earlier.
        constexpr bool kLate = kFm && !An;
        constexpr int kDeemphLag = DeemphLag(kLate), kNoiseLag = NoiseLag(kLate);
        constexpr int kFirLag = FirLag(kLate), kFirInLoop = FirInLoop(kLate);
        SectionV sec[4];
        for (int k = 0; k < 4; ++k) {
            const BiquadSection& a = IF[k];
            const BiquadSection& b = Noise[k];
            const BiquadSection d = k == 0                                  ? kDeemphasis
                                    : k == kSmoothSection                   ? kNoiseSmoother
                                    : k == kHighPassSection && HighPassHere ? kAudioHighPass
                                                                            : BiquadSection{};
            sec[k] = {v4d{a.a1, a.a1, b.a1, d.a1}, v4d{a.a2, a.a2, b.a2, d.a2},
                      v4d{a.b0, a.b0, b.b0, d.b0}, v4d{a.b1, a.b1, b.b1, d.b1},
                      v4d{a.b2, a.b2, b.b2, d.b2}};
        }
        v4d w1[4], w2[4];
        for (int k = 0; k < 4; ++k) {
            w1[k] = W1[k];
            w2[k] = W2[k];
        }
        // The de-emphasis keeps its state while another mode is active.
        const double deemph1 = w1[0][kLaneDeemph], deemph2 = w2[0][kLaneDeemph];
        w1[kSmoothSection][kLaneSmooth] = Smoother.w1;
        w2[kSmoothSection][kLaneSmooth] = Smoother.w2;
        double noiseIn = 0.0;  // the smoother's input: the noise lane's output one iteration back
        w1[kHighPassSection][kLaneHighPass] = HighPass.w1;
        w2[kHighPassSection][kLaneHighPass] = HighPass.w2;
        double hpIn = 0.0;  // the high-pass input: the muted audio one iteration back
        double* afIn = AfHist + kAfHist;
        const double vol = c.VolGain;
        double peak = 0.0;
        v4d fir = {};

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
        const double decay = c.AGCDecay;
        bool busy = false;
        bool closed = SqlClosed;
        double level = AGCLevel;
        double theta = ThetaPrev;
        fastmath::Atan2x8 atan;

        // The canceller's weights two taps to a vector, in the history's
        // memory order: pair p holds taps 2p (low half) and 2p - 1 (high
        // half), so that all of them stay in registers. Tap -1 of pair 0 is
        // a dummy of weight 0 that the update leaves alone.
        v2d* h = AnHist;
        v4d anW[An ? kAnPairs : 1];
        if constexpr (An)
            for (int p = 0; p < kAnPairs; ++p) {
                const v2d lo = AnW[2 * p];
                const v2d hi = p > 0 ? AnW[2 * p - 1] : v2d{0.0, 0.0};
                anW[p] = v4d{lo[0], lo[1], hi[0], hi[1]};
            }

        // Section outputs of the previous iteration: the next section's input.
        v4d y0 = {}, y1 = {}, y2 = {};

        // The oscillator's first kMixLead phases and their mixer batches
        // before the loop; the loop does the rest.
        // With the BFO, both oscillators step as one vector's lanes.
        double tune = TunePhase;
        v2d osc = {TunePhase, BfoPhase};
        const v2d oscInc = {inc, bfoInc};
        fastmath::SinCosx8 mix, bfoSc;
        auto oscillate = [&](int n) __attribute__((always_inline))
        {
            if constexpr (kBfo) {
                osc = PhaseStep(osc, oscInc);
                TuneAt[n] = osc[0];
                BfoAt[n] = osc[1];
            } else {
                TuneAt[n] = tune = PhaseStep(tune, inc);
            }
        };
        for (int n = 0; n < kMixLead; ++n)
            oscillate(n);
        for (int m0 = 0; m0 < kMixLead; m0 += kChunk)
            for (int stage = 0; stage < 3; ++stage)
                MixStage(stage, m0, mix);

        // One iteration; the guarded form, for the first and last few
        // iterations, skips the stages whose sample lies outside the block.
        auto iterate = [&](int n, auto guarded) __attribute__((always_inline))
        {
            constexpr bool G = decltype(guarded)::value;
            auto inBlock = [](int i) {
                return static_cast<unsigned>(i) < static_cast<unsigned>(kN);
            };
            const int nd = n - kDeemphLag;
            const int nn = n - kNoiseLag;

            // Oscillator and mixer ahead of the IF lanes.
            if (n + kMixLead < kN)
                oscillate(n + kMixLead);
            {
                const int j = n & (kChunk - 1);
                const int m0 = n - j + kChunk;  // the batch in flight
                if (j < 3 && m0 >= kMixLead && m0 < kN)
                    MixStage(j, m0, mix);
            }

            const int ps = nn - 4;  // the smoother's sample
            const int ph = ps - 1;  // the high-pass's sample
            v4d x1 = y0;
            x1[kLaneSmooth] = noiseIn;
            v4d x2 = y1;
            if constexpr (HighPassHere)
                x2[kLaneHighPass] = hpIn;
            v4d o0, o1, o2, o3;
            if constexpr (G) {
                const v4d x0 = {inBlock(n) ? I[n] : 0.0, inBlock(n) ? Q[n] : 0.0,
                                inBlock(nn) ? Audio[nn] : 0.0,
                                kFm && inBlock(nd) ? FmRaw[nd] : 0.0};
                auto mask = [&](int k) {
                    const long long a = inBlock(n - k) ? -1 : 0;
                    const long long b = inBlock(nn - k) ? -1 : 0;
                    const long long d =
                        (k == 0 && kFm && inBlock(nd)) || (k == kSmoothSection && inBlock(ps)) ||
                                (k == kHighPassSection && HighPassHere && inBlock(ph))
                            ? -1
                            : 0;
                    return v4l{a, a, b, d};
                };
                o3 = StepV(sec[3], w1[3], w2[3], y2, mask(3));
                o2 = StepV(sec[2], w1[2], w2[2], x2, mask(2));
                o1 = StepV(sec[1], w1[1], w2[1], x1, mask(1));
                o0 = StepV(sec[0], w1[0], w2[0], x0, mask(0));
            } else {
                const v4d x0 = {I[n], Q[n], Audio[nn], kFm ? FmRaw[nd] : 0.0};
                o3 = StepV(sec[3], w1[3], w2[3], y2);
                o2 = StepV(sec[2], w1[2], w2[2], x2);
                o1 = StepV(sec[1], w1[1], w2[1], x1);
                o0 = StepV(sec[0], w1[0], w2[0], x0);
            }
            y0 = o0;
            y1 = o1;
            y2 = o2;
            if constexpr (kFm)
                if (!G || inBlock(nd))
                    Audio[nd] = o0[kLaneDeemph];

            // Canceller, AGC and demodulator on the IF output of sample m.
            const int m = n - 3;
            if (!G || inBlock(m)) {
                v2d e = {o3[kLaneI], o3[kLaneQ]};
                const v2d* ref = h + kAnHist + m - kAnLag;  // ref[-j] = x[m - 19 - j]
                if constexpr (An) {
                    h[kAnHist + m] = e;
                    // Products in parallel, the sum in the written order:
                    // taps 0, 1, 2, ... 32.
                    v4d prod[kAnPairs];
                    for (int p = 0; p < kAnPairs; ++p)
                        prod[p] = anW[p] * Load4(reinterpret_cast<const double*>(ref - 2 * p));
                    v2d y = {0.0, 0.0};
                    y = y + v2d{prod[0][0], prod[0][1]};
                    for (int p = 1; p < kAnPairs; ++p) {
                        y = y + v2d{prod[p][2], prod[p][3]};
                        y = y + v2d{prod[p][0], prod[p][1]};
                    }
                    e = e - y;
                }
                const double g = level * level * level * level;
                const v2d eg = e / v2d{g, g};
                const double k = (std::fabs(eg[0]) + std::fabs(eg[1])) / 2.0;
                // A branch, not a select: the decay path is the usual one,
                // and predicting it keeps the division off the level's chain.
                if (k > level)
                    level = k;
                else
                    level = std::max(level - decay, kAgcFloor);
                trace[m] = level;
                if constexpr (An) {
                    const v4d eg4 = {eg[0], eg[1], eg[0], eg[1]};
                    const v4d mu0 = {kMu, kMu, 0.0, 0.0};
                    const v4d mu = {kMu, kMu, kMu, kMu};
                    for (int p = 0; p < kAnPairs; ++p)
                        anW[p] = anW[p] + Load4(reinterpret_cast<const double*>(ref - 2 * p)) *
                                              (p ? mu : mu0) * eg4;
                }
                // The demodulators take the AGC output in batches.
                I[m] = eg[0];
                Q[m] = eg[1];
            }

            // CW and sideband audio eight at a time, the product folded
            // into the stage that forms the BFO's sines and cosines; a batch
            // behind, as the AM envelopes.
            if constexpr (kBfo) {
                const int j = m & (kChunk - 1);
                const int m0 = m - j - kBfoBehind * kChunk;  // the batch in flight
                if (j < 3 && m0 >= 0 && m0 < kN)
                    BfoStage(j, m0, bfoSc);
            }

            // AM envelopes eight at a time, vectorised: the square root
            // stays off the per-sample chain. A batch behind, so that the
            // vector loads find their eight scalar stores long done instead
            // of waiting for the newest (measured 1.6 us a block).
            if constexpr (Demod == kDemodAM) {
                const int m0 = m + 1 - 2 * kChunk;
                if ((m & (kChunk - 1)) == kChunk - 1 && m0 >= 0 && m0 < kN)
                    AmChunk(m0);
            }

            // FM angles eight at a time, vectorised, one stage of the
            // arctangent per iteration over five iterations: the stages'
            // latencies overlap the other stages' work. Without the
            // canceller a batch behind, as the AM envelopes, so that the
            // loads find their stores done.
            // The de-emphasis lane reads the audio well after.
            if constexpr (kFm) {
                const int j = m & (kChunk - 1);
                const int m0 = m - j - (kLate ? 2 : 1) * kChunk;  // the batch in flight
                if (j <= 4 && (!G || (m0 >= 0 && m0 < kN))) {
                    switch (j) {
                    case 0: atan.Start(I + m0, Q + m0); break;
                    case 1: atan.Reduce(); break;
                    case 2: atan.PolyInner(); break;
                    case 3: atan.PolyOuter(); break;
                    default: theta = FmSteps(m0, atan.Finish(), theta); break;
                    }
                }
            }

            // Noise measure and decision for sample ps.
            noiseIn = std::fabs(o3[kLaneNoise]);
            if (!G || inBlock(ps)) {
                const double noise = o1[kLaneSmooth];
                const double measure = (closed ? noise + offset : noise) * scale;
                const bool open = forced || threshold >= measure;
                closed = !open;
                Gate[ps] = open ? 1.0 : 0.0;
                busy |= open;
                if constexpr (HighPassHere)
                    hpIn = Audio[ps] * Gate[ps];
            }
            // Volume and limiter; the overload flag is some |x| >= 32767 (a
            // NaN never counts, as in the two comparisons it stands for).
            if constexpr (HighPassHere)
                if (!G || inBlock(ph)) {
                    const double x = o2[kLaneHighPass] * vol;
                    peak = std::max(peak, std::fabs(x));
                    afIn[ph] = std::min(std::max(x, -32767.0), 32767.0);
                }

            // The AF filter, a quarter of four outputs per iteration: wide
            // sums bound by their loads, beside the chains above.
            if constexpr (HighPassHere) {
                const int j = n & 3;
                const int q = (n - kFirLag) >> 2;
                if (n >= kFirLag && q < kFirInLoop) {
                    switch (j) {
                    case 0: FirPart<0>(q, fir); break;
                    case 1: FirPart<1>(q, fir); break;
                    case 2: FirPart<2>(q, fir); break;
                    default: FirPart<3>(q, fir); break;
                    }
                }
            }
        };

        constexpr int kFill = FrontFill(kLate);
        for (int n = 0; n < kFill; ++n)
            iterate(n, std::true_type{});
        for (int n = kFill; n < kN; ++n)
            iterate(n, std::false_type{});
        for (int n = kN; n < kN + kFill; ++n)
            iterate(n, std::true_type{});

        if constexpr (!kFm) {
            w1[0][kLaneDeemph] = deemph1;
            w2[0][kLaneDeemph] = deemph2;
        }
        for (int k = 0; k < 4; ++k) {
            W1[k] = w1[k];
            W2[k] = w2[k];
        }
        if constexpr (kBfo) {
            TunePhase = osc[0];
            BfoPhase = osc[1];
        } else {
            TunePhase = tune;
        }
        SqlClosed = closed;
        Smoother = {w1[kSmoothSection][kLaneSmooth], w2[kSmoothSection][kLaneSmooth]};
        if constexpr (HighPassHere) {
            HighPass = {w1[kHighPassSection][kLaneHighPass], w2[kHighPassSection][kLaneHighPass]};
            AfPeak = peak;
            // The outputs whose inputs came too late for the loop.
            for (int q = kFirInLoop; q < kN / 4; ++q) {
                FirPart<0>(q, fir);
                FirPart<1>(q, fir);
                FirPart<2>(q, fir);
                FirPart<3>(q, fir);
            }
        }
        AGCLevel = level;
        ThetaPrev = theta;
        if constexpr (An) {
            for (int p = 0; p < kAnPairs; ++p) {
                AnW[2 * p] = v2d{anW[p][0], anW[p][1]};
                if (p > 0)
                    AnW[2 * p - 1] = v2d{anW[p][2], anW[p][3]};
            }
            std::memmove(h, h + kN, kAnHist * sizeof(v2d));
        }
        return busy;
    }

    // `inc`: the tuning oscillator's phase step.
    template <bool HighPassHere>
    bool RunFrontEnd(const ChainControls& c, double inc, double* trace)
    {
        if (c.RxMode == kModeAM)
            return c.DSPAN ? FrontEnd<kDemodAM, true, HighPassHere>(c, inc, 0.0, trace)
                           : FrontEnd<kDemodAM, false, HighPassHere>(c, inc, 0.0, trace);
        if (c.RxMode == kModeFM)
            return c.DSPAN ? FrontEnd<kDemodFM, true, HighPassHere>(c, inc, 0.0, trace)
                           : FrontEnd<kDemodFM, false, HighPassHere>(c, inc, 0.0, trace);
        const double bfoInc =
            c.RxMode == kModeCW ? 0.10471975511965978 : kTwoPi * c.SSBShift / kSampleRate;
        return c.DSPAN ? FrontEnd<kDemodBfo, true, HighPassHere>(c, inc, bfoInc, trace)
                       : FrontEnd<kDemodBfo, false, HighPassHere>(c, inc, bfoInc, trace);
    }

    // The enhancer, its prediction looked ahead over two samples. With s_k =
    // mu * e_k and the weights of sample k W_k = W_{k-1} + s_{k-1} r_{k-1},
    //   y_k = W_{k-2}.r_k + s_{k-2} (r_{k-2}.r_k) + s_{k-1} (r_{k-1}.r_k):
    // the same prediction, the sums grouped differently. The long dot product
    // then works on weights two samples old, and only a multiply-add, a
    // subtraction and a multiplication wait for the previous error. The lag
    // products r_{k-1}.r_k and r_{k-2}.r_k slide along the block.
    TESMAR_STAGE void NoiseReduction()
    {
        double* h = NrHist + kNrLead;  // r_k = h + k, oldest first
        for (int n = 0; n < kN; ++n)
            h[kNrHist + n] = std::clamp(Audio[n], -30000.0, 30000.0);
        const double* x = h + kNrHist;
        double* w = NrW;                     // W_0 on entry, W_{k-2} in the loop
        double b1 = Dot<kNrTaps>(h - 1, h);  // r_{k-1}.r_k, here k = 0
        double b2 = Dot<kNrTaps>(h - 2, h);  // r_{k-2}.r_k
        auto slide = [&](int k) {            // to k + 1
            b1 = b1 + h[k + kNrTaps - 1] * h[k + kNrTaps] - h[k - 1] * h[k];
            b2 = b2 + h[k + kNrTaps - 2] * h[k + kNrTaps] - h[k - 2] * h[k];
        };
        const double y0 = Dot<kNrTaps>(w, h);
        Audio[0] = y0;
        double s1 = kMu * (x[0] - y0);  // s_{k-1}
        slide(0);
        const double y1 = Fma(s1, b1, Dot<kNrTaps>(w, h + 1));
        Audio[1] = y1;
        double s2 = s1;  // s_{k-2}
        s1 = kMu * (x[1] - y1);
        slide(1);
        for (int k = 2; k < kN; ++k) {
            const double y = Fma(s1, b1, Fma(s2, b2, Dot<kNrTaps>(w, h + k)));
            Audio[k] = y;
            const double s = kMu * (x[k] - y);
            Adapt<kNrTaps>(w, h + k - 2, s2);  // W_{k-1}
            s2 = s1;
            s1 = s;
            slide(k);
        }
        Adapt<kNrTaps>(w, h + kN - 2, s2);
        Adapt<kNrTaps>(w, h + kN - 1, s1);  // W_N, the next block's start
        std::memmove(NrHist, NrHist + kN, (kNrLead + kNrHist) * sizeof(double));
    }
    TESMAR_STAGE void Convert(const int16_t* frames, double gain, bool inv)
    {
        const int li = inv ? 1 : 0;
        const int lq = 1 - li;
        for (int n = 0; n < kN; ++n) {
            RawI[n] = frames[2 * n + li] * gain;
            RawQ[n] = frames[2 * n + lq] * gain;
        }
    }

    // Part j of the AF filter's four outputs from 4q (see AudioStage):
    // folded taps kFirSplit[j] .. kFirSplit[j + 1] - 1 into acc, and with
    // the last part the middle tap, the limiter and the store. The sums run
    // in the same order as AudioStage's, so the outputs are the same.
    template <int J>
    void FirPart(int q, v4d& acc) const
    {
        const double* v = AfHist + kAfHist;
        const int n0 = 4 * q;
        if constexpr (J == 0)
            acc = v4d{};
        for (int k = kFirSplit[J]; k < kFirSplit[J + 1]; ++k) {
            const v4d t = {AFTaps[k], AFTaps[k], AFTaps[k], AFTaps[k]};
            acc = Fma4(t, Load4(v + n0 - k) + Load4(v + n0 - kAfHist + k), acc);
        }
        if constexpr (J == 3) {
            constexpr int kMid = kAfHist / 2;
            const v4d t = {AFTaps[kMid], AFTaps[kMid], AFTaps[kMid], AFTaps[kMid]};
            const v4d hi = {32767.0, 32767.0, 32767.0, 32767.0};
            const v4d lo = -hi;
            v4d r = Fma4(t, Load4(v + n0 - kMid), acc);
            r = r > hi ? hi : (r < lo ? lo : r);
            Store4(const_cast<double*>(AfOut()) + n0, r);
        }
    }

    // Gate, high-pass, volume with its overload flag, AF filter; returns the
    // flag. The high-pass is a serial chain and the AF filter a wide sum: the
    // loop runs the first on one stretch of samples while the second filters
    // the stretch before, so that the two overlap. With `prepared`, the front
    // end has done everything before the AF filter.
    TESMAR_STAGE bool AudioStage(double vol, bool prepared)
    {
        constexpr int kStretch = 16;
        static_assert(kN % kStretch == 0);
        double* v = AfHist + kAfHist;
        double* y = Hist3D + k3DLag;
        BiquadState st = HighPass;  // a local: the loop's stores cannot alias it
        int over = 0;
        auto prepare = [&](int n0) __attribute__((always_inline))
        {
            for (int n = n0; n < n0 + kStretch; ++n) {
                const double x = StepFast(kAudioHighPass, st, Audio[n] * Gate[n]) * vol;
                over |= static_cast<int>(x >= 32767.0) | static_cast<int>(x <= -32767.0);
                v[n] = std::min(std::max(x, -32767.0), 32767.0);
            }
        };
        // y[n] = sum over k of tap k * v[n - k]. The taps are symmetric, so
        // the sum folds onto taps 0..25: half the multiply-adds, and a chain
        // short enough for four sums to keep the units busy.
        auto filter = [&](int n0) __attribute__((always_inline))
        {
            constexpr int kMid = kAfHist / 2;
            v4d acc0 = {}, acc1 = {}, acc2 = {}, acc3 = {};
            for (int k = 0; k < kMid; ++k) {
                const v4d t = {AFTaps[k], AFTaps[k], AFTaps[k], AFTaps[k]};
                const double* a = v + n0 - k;
                const double* b = v + n0 - kAfHist + k;
                acc0 = Fma4(t, Load4(a) + Load4(b), acc0);
                acc1 = Fma4(t, Load4(a + 4) + Load4(b + 4), acc1);
                acc2 = Fma4(t, Load4(a + 8) + Load4(b + 8), acc2);
                acc3 = Fma4(t, Load4(a + 12) + Load4(b + 12), acc3);
            }
            const v4d t = {AFTaps[kMid], AFTaps[kMid], AFTaps[kMid], AFTaps[kMid]};
            const double* c = v + n0 - kMid;
            acc0 = Fma4(t, Load4(c), acc0);
            acc1 = Fma4(t, Load4(c + 4), acc1);
            acc2 = Fma4(t, Load4(c + 8), acc2);
            acc3 = Fma4(t, Load4(c + 12), acc3);
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
        };
        if (prepared) {  // the front end has filtered too
            std::memmove(AfHist, AfHist + kN, kAfHist * sizeof(double));
            return AfPeak >= 32767.0;
        }
        prepare(0);
        for (int n0 = kStretch; n0 < kN; n0 += kStretch) {
            prepare(n0);
            filter(n0 - kStretch);
        }
        filter(kN - kStretch);
        HighPass = st;
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
    }

    // The AF output of the block, read by the output and the recorder feed.
    const double* AfOut() const { return Hist3D + k3DLag; }

    // The 3D delay line keeps the block's tail in front of the next block.
    void EndBlock() { std::memmove(Hist3D, Hist3D + kN, k3DLag * sizeof(double)); }

    // Low-pass to 4 kHz and keep every sixth sample. The four sections run
    // side by side in the lanes of one vector step, section k on sample
    // n - kRecLag * k in iteration n, so that a section's input, the output
    // of the section before, was formed kRecLag iterations earlier: the
    // sections' chains overlap and no lane waits for another. Each lane
    // performs StepFast's operations, so the samples are the same.
    TESMAR_STAGE void RecorderFeed(int16_t* out)
    {
        constexpr int kRecLag = 4;
        const double* a = AfOut();
        auto lanes = [](double BiquadSection::*f) {
            return v4d{kRecCascade[0].*f, kRecCascade[1].*f, kRecCascade[2].*f, kRecCascade[3].*f};
        };
        const v4d a1 = lanes(&BiquadSection::a1), a2 = lanes(&BiquadSection::a2);
        const v4d b0 = lanes(&BiquadSection::b0), b1 = lanes(&BiquadSection::b1),
                  b2 = lanes(&BiquadSection::b2);
        v4d w1 = {RecSt[0].w1, RecSt[1].w1, RecSt[2].w1, RecSt[3].w1};
        v4d w2 = {RecSt[0].w2, RecSt[1].w2, RecSt[2].w2, RecSt[3].w2};
        v4d ring[kRecLag] = {};  // the step outputs of the last kRecLag iterations
        auto iterate = [&](int n, v4d& slot, auto guarded) __attribute__((always_inline))
        {
            constexpr bool G = decltype(guarded)::value;
            auto inBlock = [](int i) {
                return static_cast<unsigned>(i) < static_cast<unsigned>(kN);
            };
            const v4d prev = slot;  // the outputs of iteration n - kRecLag
            const v4d x = {!G || inBlock(n) ? a[n] : 0.0, prev[0], prev[1], prev[2]};
            const v4d w0 = Fma4(a1, w1, Fma4(a2, w2, x));
            const v4d y = Fma4(b0, w0, Fma4(b1, w1, b2 * w2));
            if constexpr (G) {
                const v4l active = {inBlock(n) ? -1 : 0, inBlock(n - kRecLag) ? -1 : 0,
                                    inBlock(n - 2 * kRecLag) ? -1 : 0,
                                    inBlock(n - 3 * kRecLag) ? -1 : 0};
                w2 = active ? w1 : w2;
                w1 = active ? w0 : w1;
            } else {
                w2 = w1;
                w1 = w0;
            }
            slot = y;
            const int m = n - 3 * kRecLag;
            if ((!G || inBlock(m)) && m % 6 == 0)
                out[m / 6] = RoundHalfUp(std::clamp(y[3], -32767.0, 32767.0));
        };
        constexpr int kFill = 3 * kRecLag;
        static_assert(kFill % kRecLag == 0 && kN % kRecLag == 0);
        for (int n = 0; n < kFill; ++n)
            iterate(n, ring[n % kRecLag], std::true_type{});
        for (int n = kFill; n < kN; n += kRecLag)
            for (int j = 0; j < kRecLag; ++j)  // unrolled: the ring stays in registers
                iterate(n + j, ring[j], std::false_type{});
        for (int n = kN; n < kN + kFill; ++n)
            iterate(n, ring[n % kRecLag], std::true_type{});
        for (int k = 0; k < 4; ++k)
            RecSt[k] = {w1[k], w2[k]};
    }
};

SignalChain::SignalChain(ChainControls& controls)
    : c_(controls)
    , impl_(new SignalChainImpl)
{}

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
    case 0:
        c_.AFLow = 0.3;
        c_.AFHigh = 3.0;
        break;
    case 1:
        c_.AFLow = 0.3;
        c_.AFHigh = 6.0;
        break;
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
    // Without the enhancer, nothing comes between the squelch and the audio
    // high-pass, and the front end runs it.
    const double inc = kTwoPi * (c.FreqTune + c.SSBShift) / kSampleRate;
    out_.SqlBusy = c.DSPNR ? s.RunFrontEnd<false>(c, inc, out_.AGCTrace.data())
                           : s.RunFrontEnd<true>(c, inc, out_.AGCTrace.data());
    if (c.DSPNR)
        s.NoiseReduction();
    out_.AudioOver = s.AudioStage(c.VolGain, !c.DSPNR);
    s.Output(c.DSP3D, out_.OutFrames.data());

    // The recorder low-pass runs only on blocks that reach the file.
    out_.RecFeedReady = c.Recording && out_.SqlBusy;
    if (out_.RecFeedReady)
        s.RecorderFeed(out_.RecFeed.data());

    out_.SpectrumUpdated = c.SpectrumVisible;
    if (c.SpectrumVisible)
        s.Spectrum.Analyze(s.RawI, s.RawQ, out_.SpectrumDb.data());
    s.EndBlock();
}

}  // namespace dsp
