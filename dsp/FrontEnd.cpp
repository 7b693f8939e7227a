#include "FrontEnd.h"

#include "AfFilter.h"
#include "Agc.h"
#include "AmDemodulator.h"
#include "Canceller.h"
#include "FmDemodulator.h"
#include "IfFilter.h"
#include "Mixer.h"
#include "ProductDemodulator.h"
#include "SignalChain.h"
#include "Squelch.h"

#include <type_traits>

namespace dsp {

namespace {

using simd::M4;
using simd::V2;
using simd::V4;

constexpr int kN = kBlockFrames;
constexpr int kBatch = 8;  // samples per batch of the mixer and the demodulators
constexpr int kSections = IfFilter::kSections;
static_assert(Squelch::kSections == kSections);

enum class Demod { Am, Fm, Product };

constexpr int RoundUp4(int v) { return (v + 3) / 4 * 4; }

// The schedule of the front-end loop. Iteration n works on sample n - lag in
// each stage (a negative lag runs ahead of the IF input); a stage that works on
// batches of eight names the lag of a batch's first sample at its first
// stage, and takes one stage per iteration from there. Every stage thus runs
// a fixed number of samples behind the stage it reads, far enough that what it
// reads was stored some iterations before: the serial chains of the stages
// overlap instead of waiting for each other. Changing a stage's latency
// changes its number here; the assertions below check that each stage still
// reads only what is stored by then.
template <Demod D, bool An>
struct Schedule {
    // With the canceller the loop is bound by the canceller's chain, and FM's
    // angles measured faster a batch earlier; without it they come a batch
    // later, and the FM lanes behind them run further back ("late"). The other
    // cases keep the shorter lags, which measured faster for them.
    static constexpr bool kLate = D == Demod::Fm && !An;

    // The oscillators' phases, sample by sample.
    static constexpr int kOscillator = -16;
    // The mixer's batches (three stages): stored some iterations before the
    // IF lanes read them.
    static constexpr int kMixer = -8;
    // IF section k on sample n - k.
    static constexpr int kIf = 0;
    // The canceller and the AGC, on the IF cascade's output of the iteration.
    static constexpr int kAgc = kIf + kSections - 1;
    // The demodulators' batches, a batch or more behind the AGC, so that
    // their vector loads find the eight scalar stores long done instead of
    // waiting for the newest (measured 1.6 us a block in AM).
    static constexpr int kDemod = kAgc + (D == Demod::Am ? 15 : kLate ? 16 : 8);
    static constexpr int kDemodStages = D == Demod::Am   ? 1
                                        : D == Demod::Fm ? FmDemodulator::kStages
                                                         : ProductDemodulator::kStages;
    // The FM de-emphasis lane.
    static constexpr int kDeemphasis = kLate ? 24 : 16;
    // The squelch's noise high-pass, section k on sample n - kNoise - k.
    static constexpr int kNoise = kLate ? 28 : 24;
    // Its smoother, on the noise cascade's output of the iteration before,
    // then the squelch's decision on the smoother's output.
    static constexpr int kSmoother = kNoise + kSections;
    static constexpr int kSquelch = kSmoother;
    // The audio high-pass on the gated audio of the decision before, and the
    // volume on its output.
    static constexpr int kHighPass = kSquelch + 1;
    static constexpr int kVolume = kHighPass;
    // The AF filter's quads of four outputs: part j of quad q in iteration
    // 4q + kAf + j, eight iterations (or a few more: whole quads) after the
    // newest input is stored.
    static constexpr int kAf = RoundUp4(kVolume + 3 + 8);

    // Iterations at either end in which some stage's sample lies outside the
    // block: the largest lag.
    static constexpr int kFill = kVolume;
    // Quads whose four parts fall within the loop's iterations.
    static constexpr int kAfInLoop = (kN + kFill - kAf) / 4;

    // Each stage reads what an earlier iteration stored (or this one, before
    // it in the loop body):
    // the mixer's first stage reads the phases of its batch,
    static_assert(kBatch - 1 + kOscillator <= kMixer);
    // the IF lanes the mixer's products,
    static_assert(kMixer + TuningMixer::kStages - 1 < kIf);
    // a demodulator the AGC's output of its batch,
    static_assert(kAgc + kBatch - 1 < kDemod);
    // the de-emphasis the FM audio, the noise lane the demodulated audio,
    static_assert(D != Demod::Fm || kDemod + kDemodStages - 1 < kDeemphasis);
    static_assert(D != Demod::Fm || kDeemphasis < kNoise);
    static_assert(D == Demod::Fm || kDemod + kDemodStages - 1 < kNoise);
    // and the AF filter the volume's output.
    static_assert(kAf % 4 == 0 && kVolume + 3 < kAf);
    static_assert(kN % kBatch == 0 && kN % 4 == 0);
};

// The lanes of the four section steps: IF I and Q, the squelch's noise
// high-pass, and in the last lane a filter of its own per section: the FM
// de-emphasis, the squelch's smoother, the audio high-pass (with the AF
// stages in the loop), none.
constexpr int kLaneI = 0, kLaneQ = 1, kLaneNoise = 2, kLaneOwn = 3;
constexpr int kDeemphasisSection = 0, kSmootherSection = 1, kHighPassSection = 2;
constexpr int kLastSection = kSections - 1;

inline bool InBlock(int i) { return static_cast<unsigned>(i) < static_cast<unsigned>(kN); }

// A batch stage with the given lag: which of its stages iteration n runs, on
// the batch from sample `first` (no stage when `stage` is past its last).
struct BatchStep {
    int stage, first;
};
inline BatchStep BatchAt(int n, int lag)
{
    const int stage = (n - lag) & (kBatch - 1);
    return {stage, n - lag - stage};
}

// The four section steps of an iteration, each four filters wide: section k
// of the IF cascade (I and Q), of the squelch's noise high-pass, and of the
// last lane's own filter. Each section takes the output of the section
// before from the iteration before, so no section waits for another.
//
// A half of the chain (Front or Back false) leaves the other half's lanes
// with zero coefficients and states: they compute zeros and touch no stage
// of the other half, which another thread may be running.
template <class S, bool Fm, bool ThroughAf, bool Front, bool Back>
class SectionSteps {
public:
    explicit SectionSteps(const FrontEndStages& s)
    {
        if constexpr (Front)
            s.ifFilter.ToLanes(c_, st_, kLaneI);
        if constexpr (Back) {
            s.squelch.NoiseToLanes(c_, st_, kLaneNoise);
            if constexpr (Fm)
                s.fm.DeemphasisToLanes(c_[kDeemphasisSection], st_[kDeemphasisSection], kLaneOwn);
            s.squelch.SmootherToLanes(c_[kSmootherSection], st_[kSmootherSection], kLaneOwn);
            if constexpr (ThroughAf)
                s.af.HighPassToLanes(c_[kHighPassSection], st_[kHighPassSection], kLaneOwn);
        }
    }
    void Finish(const FrontEndStages& s) const
    {
        if constexpr (Front)
            s.ifFilter.FromLanes(st_, kLaneI);
        if constexpr (Back) {
            s.squelch.NoiseFromLanes(st_, kLaneNoise);
            s.squelch.SmootherFromLanes(st_[kSmootherSection], kLaneOwn);
            if constexpr (Fm)
                s.fm.DeemphasisFromLanes(st_[kDeemphasisSection], kLaneOwn);
            if constexpr (ThroughAf)
                s.af.HighPassFromLanes(st_[kHighPassSection], kLaneOwn);
        }
    }

    // x0: the inputs of section 0; the smoother's and the high-pass's inputs
    // go to the last lane of their sections. Guarded, a lane whose sample
    // lies outside the block keeps its state.
    template <bool Guarded>
    [[gnu::always_inline]] void Step(int n, V4 x0, double smootherIn, double highPassIn)
    {
        V4 x[kSections] = {x0, out_[0], out_[1], out_[2]};
        x[kSmootherSection][kLaneOwn] = smootherIn;
        if constexpr (ThroughAf)
            x[kHighPassSection][kLaneOwn] = highPassIn;
        simd::Unroll<kSections>([&](auto j) {
            constexpr int k = kSections - 1 - j;  // the last section first
            if constexpr (Guarded) {
                const M4 sample = n - kLaneLag[k];
                out_[k] = BiquadStep(c_[k], st_[k], x[k], (sample >= 0) & (sample < kN));
            } else {
                out_[k] = BiquadStep(c_[k], st_[k], x[k]);
            }
        });
    }
    // Section k's output in a lane.
    double Out(int k, int lane) const { return out_[k][lane]; }

private:
    // Each lane's lag (section k of a cascade runs k samples behind section 0);
    // a lane without a filter is never in the block.
    static constexpr M4 kLaneLag[kSections] = {
        {S::kIf, S::kIf, S::kNoise, Fm ? S::kDeemphasis : -kN},
        {S::kIf + 1, S::kIf + 1, S::kNoise + 1, S::kSmoother},
        {S::kIf + 2, S::kIf + 2, S::kNoise + 2, ThroughAf ? S::kHighPass : -kN},
        {S::kIf + 3, S::kIf + 3, S::kNoise + 3, -kN}};

    BiquadLanes c_[kSections];
    BiquadLaneState st_[kSections];
    V4 out_[kSections] = {};
};

// Stand-ins for the stages a variant does not run.
struct Absent {
    template <class... A>
    explicit Absent(A&&...)
    {}
};
struct NoCanceller {
    explicit NoCanceller(Canceller&) {}
    V2 Predict(V2 x, int) { return x; }
    void Adapt(V2, int) {}
    void Finish() {}
};

struct AmBatches {
    const double* i;
    const double* q;
    double* audio;
    void Stage(int, int m0) { AmDemodulator::Batch(i, q, audio, m0); }
};

// The stages of one loop variant and one iteration of its schedule. A half
// of the chain runs the whole schedule with the other half's stages left
// out, so every stage computes exactly what it computes in the whole loop; it
// constructs none of them either, since another thread may be running them.
template <Demod D, bool An, bool ThroughAf, ChainPart P>
class ChainIteration {
    using S = Schedule<D, An>;
    static constexpr bool kFm = D == Demod::Fm;
    static constexpr bool kBfo = D == Demod::Product;
    static constexpr bool kFront = P != ChainPart::Back;
    static constexpr bool kBack = P != ChainPart::Front;
    static_assert(kBack || !ThroughAf);

    using Demodulator = std::conditional_t<
        !kBack, Absent,
        std::conditional_t<D == Demod::Am, AmBatches,
                           std::conditional_t<kFm, FmDemodulator::Run, ProductDemodulator>>>;

public:
    // Iterations at either end in which some stage's sample lies outside the
    // block.
    static constexpr int kFill = S::kFill;

    ChainIteration(const ChainControls& c, const FrontEndStages& s, ChainBuffers& b, double* trace,
                   double* afOut)
        : b_(b)
        , sections_(s)
        , osc_(s.oscillators, Oscillators::TuneIncrement(c.FreqTune, c.SSBShift),
               kBfo ? Oscillators::BfoIncrement(c.RxMode, c.SSBShift) : 0.0, b.TuneAt, b.BfoAt)
        , mixer_(b.TuneAt, b.RawI, b.RawQ, b.I, b.Q)
        , canceller_(s.canceller)
        , agc_(s.agc, c.AGCDecay, trace)
        , demod_(MakeDemodulator(s, b))
        , squelch_(s.squelch, c.RxMode, c.IFBW, c.SqlPos, c.MonitorOn, b.Gate)
        , af_(s.af, c.VolGain, afOut)
    {}

    // The phases and mixer batches that the loop does not reach.
    void Lead()
    {
        if constexpr (kFront) {
            for (int n = 0; n < -S::kOscillator; ++n)
                osc_.Step(n);
            for (int m0 = 0; m0 + S::kMixer < 0; m0 += kBatch)
                for (int stage = 0; stage < TuningMixer::kStages; ++stage)
                    mixer_.Stage(stage, m0);
        }
    }

    // One iteration; the guarded form, for the first and last iterations,
    // leaves out the stages whose sample lies outside the block.
    template <bool G>
    [[gnu::always_inline]] void Step(int n)
    {
        ChainBuffers& b = b_;
        auto in = [](int i) { return !G || InBlock(i); };
        const int m = n - S::kAgc;

        // Oscillators and mixer ahead of the IF lanes.
        if constexpr (kFront) {
            if (n - S::kOscillator < kN)
                osc_.Step(n - S::kOscillator);
            if (const BatchStep mix = BatchAt(n, S::kMixer);
                mix.stage < TuningMixer::kStages && mix.first + S::kMixer >= 0 && mix.first < kN)
                mixer_.Stage(mix.stage, mix.first);
        }

        // The section steps: IF, noise high-pass, and the lanes of their own.
        const int nd = n - S::kDeemphasis, nn = n - S::kNoise;
        sections_.template Step<G>(
            n,
            V4{kFront && in(n) ? b.I[n] : 0.0, kFront && in(n) ? b.Q[n] : 0.0,
               kBack && in(nn) ? b.Audio[nn] : 0.0, kBack && kFm && in(nd) ? b.FmRaw[nd] : 0.0},
            smootherIn_, highPassIn_);
        if constexpr (kFm && kBack)
            if (in(nd))
                b.Audio[nd] = sections_.Out(kDeemphasisSection, kLaneOwn);

        // Canceller and AGC on the IF output; the demodulators take the AGC's
        // output from I and Q in batches.
        if constexpr (kFront) {
            if (in(m)) {
                const V2 e = canceller_.Predict(
                    V2{sections_.Out(kLastSection, kLaneI), sections_.Out(kLastSection, kLaneQ)},
                    m);
                const V2 g = agc_.Step(e, m);
                canceller_.Adapt(g, m);
                b.I[m] = g[0];
                b.Q[m] = g[1];
            }
        }
        if constexpr (kBack) {
            if (const BatchStep dm = BatchAt(n, S::kDemod);
                dm.stage < S::kDemodStages && (!G || InBlock(dm.first)))
                demod_.Stage(dm.stage, dm.first);

            // The squelch's decision on the smoothed noise.
            smootherIn_ = std::fabs(sections_.Out(kLastSection, kLaneNoise));
            const int ps = n - S::kSquelch;
            if (in(ps)) {
                squelch_.Decide(sections_.Out(kSmootherSection, kLaneOwn), ps);
                if constexpr (ThroughAf)
                    highPassIn_ = b.Audio[ps] * b.Gate[ps];
            }
        }

        // Volume, limiter and AF filter.
        if constexpr (ThroughAf) {
            if (const int ph = n - S::kVolume; in(ph))
                af_.Volume(sections_.Out(kHighPassSection, kLaneOwn), ph);
            af_.FirStep(n - S::kAf, S::kAfInLoop);
        }
    }

    // The stages' states back where the next block finds them.
    FrontEndResult Finish(const FrontEndStages& s)
    {
        sections_.Finish(s);
        FrontEndResult r;
        if constexpr (kFront) {
            osc_.Finish();
            canceller_.Finish();
            agc_.Finish();
        }
        if constexpr (kBack) {
            squelch_.Finish();
            if constexpr (kFm)
                demod_.Finish();
            r.busy = squelch_.Busy();
            if constexpr (ThroughAf)
                r.over = af_.Finish(S::kAfInLoop);
        }
        return r;
    }

private:
    static Demodulator MakeDemodulator(const FrontEndStages& s, ChainBuffers& b)
    {
        if constexpr (!kBack)
            return Absent{};
        else if constexpr (D == Demod::Am)
            return AmBatches{b.I, b.Q, b.Audio};
        else if constexpr (kFm)
            return FmDemodulator::Run(s.fm, b.I, b.Q, b.FmRaw);
        else
            return ProductDemodulator(b.BfoAt, b.I, b.Q, b.Audio);
    }

    ChainBuffers& b_;
    SectionSteps<S, kFm, ThroughAf, kFront, kBack> sections_;
    std::conditional_t<kFront, Oscillators::Run<kBfo>, Absent> osc_;
    std::conditional_t<kFront, TuningMixer, Absent> mixer_;
    std::conditional_t<An && kFront, Canceller::Run, NoCanceller> canceller_;
    std::conditional_t<kFront, Agc::Run, Absent> agc_;
    Demodulator demod_;
    std::conditional_t<kBack, Squelch::Run, Absent> squelch_;
    std::conditional_t<kBack && ThroughAf, AfFilter::Run, Absent> af_;
    double smootherIn_ = 0.0;  // the noise cascade's rectified output of the iteration before
    double highPassIn_ = 0.0;  // the gated audio of the decision before
};

// One loop per variant (demodulator, canceller, AF stages in the loop or not,
// the whole chain or one half), each a function of its own: one call per
// block costs nothing, and a profile then shows the front end apart from the
// later stages.
template <Demod D, bool An, bool ThroughAf, ChainPart P>
[[gnu::noinline]] FrontEndResult Loop(const ChainControls& c, const FrontEndStages& s,
                                      ChainBuffers& b, double* __restrict trace,
                                      double* __restrict afOut)
{
    using It = ChainIteration<D, An, ThroughAf, P>;
    It it(c, s, b, trace, afOut);
    it.Lead();
    for (int n = 0; n < It::kFill; ++n)
        it.template Step<true>(n);
    for (int n = It::kFill; n < kN; ++n)
        it.template Step<false>(n);
    for (int n = kN; n < kN + It::kFill; ++n)
        it.template Step<true>(n);
    return it.Finish(s);
}

template <bool ThroughAf>
FrontEndResult Whole(const ChainControls& c, const FrontEndStages& s, ChainBuffers& b,
                     double* trace, double* afOut)
{
    constexpr ChainPart W = ChainPart::Whole;
    const bool an = c.DSPAN;
    if (c.RxMode == Mode::Am)
        return an ? Loop<Demod::Am, true, ThroughAf, W>(c, s, b, trace, afOut)
                  : Loop<Demod::Am, false, ThroughAf, W>(c, s, b, trace, afOut);
    if (c.RxMode == Mode::Fm)
        return an ? Loop<Demod::Fm, true, ThroughAf, W>(c, s, b, trace, afOut)
                  : Loop<Demod::Fm, false, ThroughAf, W>(c, s, b, trace, afOut);
    return an ? Loop<Demod::Product, true, ThroughAf, W>(c, s, b, trace, afOut)
              : Loop<Demod::Product, false, ThroughAf, W>(c, s, b, trace, afOut);
}

// The front half differs between the modes only by the BFO's phases.
FrontEndResult Front(const ChainControls& c, const FrontEndStages& s, ChainBuffers& b,
                     double* trace)
{
    constexpr ChainPart F = ChainPart::Front;
    const bool bfo = c.RxMode != Mode::Am && c.RxMode != Mode::Fm;
    if (bfo)
        return c.DSPAN ? Loop<Demod::Product, true, false, F>(c, s, b, trace, nullptr)
                       : Loop<Demod::Product, false, false, F>(c, s, b, trace, nullptr);
    return c.DSPAN ? Loop<Demod::Am, true, false, F>(c, s, b, trace, nullptr)
                   : Loop<Demod::Am, false, false, F>(c, s, b, trace, nullptr);
}

// The back half has no canceller: its schedule is the one without.
template <bool ThroughAf>
FrontEndResult Back(const ChainControls& c, const FrontEndStages& s, ChainBuffers& b, double* afOut)
{
    constexpr ChainPart B = ChainPart::Back;
    if (c.RxMode == Mode::Am)
        return Loop<Demod::Am, false, ThroughAf, B>(c, s, b, nullptr, afOut);
    if (c.RxMode == Mode::Fm)
        return Loop<Demod::Fm, false, ThroughAf, B>(c, s, b, nullptr, afOut);
    return Loop<Demod::Product, false, ThroughAf, B>(c, s, b, nullptr, afOut);
}

}  // namespace

FrontEndResult RunFrontEnd(const ChainControls& c, const FrontEndStages& s, ChainBuffers& b,
                           double* agcTrace, bool throughAf, double* afOut, ChainPart part)
{
    switch (part) {
    case ChainPart::Front: return Front(c, s, b, agcTrace);
    case ChainPart::Back:
        return throughAf ? Back<true>(c, s, b, afOut) : Back<false>(c, s, b, afOut);
    default:
        return throughAf ? Whole<true>(c, s, b, agcTrace, afOut)
                         : Whole<false>(c, s, b, agcTrace, afOut);
    }
}

}  // namespace dsp
