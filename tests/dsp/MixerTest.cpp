// The oscillators and the tuning mixer, and the FM demodulator's phase
// steps: the batched, vectorised forms against the formulas sample by sample.

#include "dsp/Mixer.h"
#include "dsp/FmDemodulator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

constexpr int kN = dsp::kBlockFrames;
constexpr double kTwoPi = dsp::fastmath::kTwoPi;

}  // namespace

// Both oscillators as the lanes of one vector step exactly as each alone,
// and their phases stay in [0, 2 pi) also when they turn backwards (LSB).
TEST(Oscillators, PhasesStayInOneTurnAndLanesStepAsOneOscillatorEach)
{
    const double incs[][2] = {{dsp::Oscillators::TuneIncrement(-12000, 0),
                               dsp::Oscillators::BfoIncrement(dsp::Mode::Cw, 0)},
                              {dsp::Oscillators::TuneIncrement(-16000, -1500),
                               dsp::Oscillators::BfoIncrement(dsp::Mode::Lsb, -1500)},
                              {dsp::Oscillators::TuneIncrement(23999, 0), 0.0}};
    EXPECT_EQ(dsp::Oscillators::BfoIncrement(dsp::Mode::Cw, 0), kTwoPi * 800.0 / 48000.0);
    for (const auto& inc : incs) {
        dsp::Oscillators both, tuneOnly;
        std::vector<double> tuneAt(kN), bfoAt(kN), alone(kN), unused(kN);
        double tune = 0.0, bfo = 0.0;
        for (int b = 0; b < 30; ++b) {
            dsp::Oscillators::Run<true> run(both, inc[0], inc[1], tuneAt.data(), bfoAt.data());
            dsp::Oscillators::Run<false> one(tuneOnly, inc[0], 0.0, alone.data(), unused.data());
            for (int n = 0; n < kN; ++n) {
                run.Step(n);
                one.Step(n);
                tune = dsp::PhaseStep(tune, inc[0]);
                bfo = dsp::PhaseStep(bfo, inc[1]);
                ASSERT_EQ(tuneAt[n], tune);
                ASSERT_EQ(alone[n], tune);
                ASSERT_EQ(bfoAt[n], bfo);
                ASSERT_TRUE(tune >= 0.0 && tune < kTwoPi) << tune;
                ASSERT_TRUE(bfo >= 0.0 && bfo < kTwoPi) << bfo;
            }
            run.Finish();
            one.Finish();
        }
        EXPECT_EQ(both.TunePhase(), tune);
        EXPECT_EQ(both.BfoPhase(), bfo);
        EXPECT_EQ(tuneOnly.TunePhase(), tune);
    }
}

// The mixer's three stages on a batch give I' = Q sin - I cos and
// Q' = Q cos + I sin with the scalar sine and cosine, to the bit.
TEST(TuningMixer, BatchesGiveTheScalarProducts)
{
    std::vector<double> phase(kN), i(kN), q(kN), mi(kN), mq(kN);
    for (int n = 0; n < kN; ++n) {
        phase[n] = std::fmod(0.37 * n, kTwoPi);
        i[n] = 1000.0 * std::sin(0.01 * n) + n;
        q[n] = -700.0 * std::cos(0.013 * n);
    }
    dsp::TuningMixer mixer(phase.data(), i.data(), q.data(), mi.data(), mq.data());
    for (int m0 = 0; m0 < kN; m0 += dsp::TuningMixer::kBatch)
        for (int stage = 0; stage < dsp::TuningMixer::kStages; ++stage)
            mixer.Stage(stage, m0);
    for (int n = 0; n < kN; ++n) {
        double s, c;
        dsp::fastmath::SinCos(phase[n], s, c);
        ASSERT_EQ(mi[n], q[n] * s - i[n] * c) << n;
        ASSERT_EQ(mq[n], q[n] * c + i[n] * s) << n;
    }
}

// FM before the de-emphasis: a carrier turning at f Hz gives 30 x 2 pi f /
// 48000 on every sample; phase steps beyond pi fold into (-pi, pi]; the last
// angle carries over to the next block.
TEST(FmDemodulator, PhaseStepsTimesThirtyFoldedIntoOneTurn)
{
    for (const double f : {1000.0, -2500.0, 20000.0, 23000.0}) {
        dsp::FmDemodulator fm;
        std::vector<double> i(kN), q(kN), raw(kN);
        const double step = kTwoPi * f / 48000.0;
        const double folded = step > dsp::fastmath::kPi ? step - kTwoPi : step;
        for (int b = 0; b < 2; ++b) {
            for (int n = 0; n < kN; ++n) {
                const double a = step * (b * kN + n);
                i[n] = std::sin(a);  // the angle is atan2(I, Q)
                q[n] = std::cos(a);
            }
            dsp::FmDemodulator::Run run(fm, i.data(), q.data(), raw.data());
            for (int m0 = 0; m0 < kN; m0 += dsp::FmDemodulator::kBatch)
                for (int stage = 0; stage < dsp::FmDemodulator::kStages; ++stage)
                    run.Stage(stage, m0);
            run.Finish();
            // The angle decreases as the carrier turns: d = previous - current.
            for (int n = b == 0 ? 1 : 0; n < kN; ++n)
                ASSERT_NEAR(raw[n], -30.0 * folded, 1e-9) << f << " " << n;
        }
    }
}
