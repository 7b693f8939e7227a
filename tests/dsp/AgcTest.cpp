// The AGC: its speeds, its instant attack and linear decay, its floor, on its
// own and in the chain.

#include "dsp/Agc.h"
#include "dsp/Constants.h"
#include "tests/dsp/TestUtil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

// Each choice gives its decay (an unknown one becomes "Fast"). From its
// start level of 1 the level falls by exactly the decay per sample of
// silence, down to the floor and no further. The first sound on the floor
// restarts the AGC at its start level, so that it is divided by 1, not by
// the floor's fourth power (which would set a level 10^4 times too high,
// and deafen the receiver for as long as the decay takes); its instant
// attack then sets the level at once. At "Fast" a level of 10 takes about
// 1.9 s to fall to 1.
TEST(Agc, LinearDecayToTheFloorThenInstantAttack)
{
    const struct {
        int32_t choice, becomes;
        double decay;
    } speeds[] = {
        {0, 0, 0.0001}, {1, 1, 0.00003}, {2, 2, 0.00001}, {7, 0, 0.0001}, {-1, 0, 0.0001}};
    for (const auto& s : speeds) {
        auto choice = dsp::FromCode<dsp::AgcSpeed>(s.choice);
        const double decay = dsp::Agc::DecayFor(choice);
        EXPECT_EQ(dsp::Code(choice), s.becomes);
        EXPECT_EQ(decay, s.decay);

        dsp::Agc agc;
        std::vector<double> trace(dsp::kBlockFrames);
        double want = 1.0;
        const int blocks = static_cast<int>(1.0 / decay / dsp::kBlockFrames) + 1;
        for (int b = 0; b < blocks; ++b) {
            dsp::Agc::Run run(agc, decay, trace.data());
            for (int m = 0; m < dsp::kBlockFrames; ++m) {
                const dsp::simd::V2 out = run.Step(dsp::simd::V2{0.0, 0.0}, m);
                ASSERT_EQ(out[0], 0.0);
                want = std::max(want - decay, dsp::Agc::kFloor);
                ASSERT_EQ(trace[m], want) << "block " << b << " sample " << m;
            }
            run.Finish();
        }
        EXPECT_EQ(agc.Level(), dsp::Agc::kFloor);
        dsp::Agc::Run run(agc, decay, trace.data());
        const dsp::simd::V2 out = run.Step(dsp::simd::V2{30.0, -10.0}, 0);
        EXPECT_EQ(out[0], 30.0);
        EXPECT_EQ(out[1], -10.0);
        EXPECT_EQ(trace[0], 20.0);
        run.Step(dsp::simd::V2{0.0, 0.0}, 1);
        EXPECT_EQ(trace[1], 20.0 - decay);
    }
    dsp::AgcSpeed fast = dsp::AgcSpeed::Fast;
    EXPECT_NEAR((10.0 - 1.0) / dsp::Agc::DecayFor(fast) / dsp::kSampleRate, 1.9, 0.05);
}

TEST(Agc, AgcRecoversAtOnceAfterDigitalSilence)
{
    dsptest::Rx rx([](dsp::ChainControls& c) {
        c.FreqTune = 5000;
        c.AGC = dsp::AgcSpeed::Fast;
        c.GainPos = -100;
    });
    dsptest::Band band(3);
    double before = 0;
    for (int b = 0; b < 10; ++b)
        before = dsptest::Rms(rx.Run(band.Next()).OutFrames.data(), 0);
    auto zero = dsptest::MakeBlock();
    for (int b = 0; b < 20; ++b) {
        const auto& o = rx.Run(zero);
        for (double v : o.AGCTrace)
            ASSERT_GE(v, 0.1);
    }
    rx.Run(band.Next());
    const double after = dsptest::Rms(rx.Run(band.Next()).OutFrames.data(), 0);
    EXPECT_GT(after, before * 0.3);
    EXPECT_LT(after, before * 3.0);
}

TEST(Agc, NonSilentInputKeepsTheLevelFarAboveTheFloor)
{
    dsptest::Rx rx([](dsp::ChainControls& c) { c.AGC = dsp::AgcSpeed::Fast; });
    dsptest::Rng rng(5);
    for (int b = 0; b < 40; ++b) {
        auto blk = dsptest::MakeBlock();
        for (auto& v : blk)
            v = dsptest::ClampSample(2.0 * rng.Gauss());
        for (double v : rx.Run(blk).AGCTrace)
            ASSERT_GT(v, 0.3);
    }
}

// Digital silence lets the level sink to the floor; loud noise after it must
// not lift the level far above where the same noise holds it otherwise (once
// 16767 instead of about 55: deaf for an hour at "Fast", ten at "Slow").
TEST(Agc, LoudSoundAfterDigitalSilenceDoesNotDeafenTheReceiver)
{
    auto init = [](dsp::ChainControls& c) {
        c.RxMode = dsp::Mode::Fm;
        c.IFBW = dsp::IfChoice::Khz12;
        c.InGainPos = 20;
        c.GainPos = 0;
        c.AGC = dsp::AgcSpeed::Slow;
    };
    dsptest::Rx afterSilence(init), steady(init);
    dsptest::Rng rng(9);
    const dsptest::Block silence = dsptest::MakeBlock();
    for (int b = 0; b < 40; ++b)
        afterSilence.Run(silence);
    ASSERT_EQ(afterSilence.chain->AGCLevel(), dsp::Agc::kFloor);
    for (int b = 0; b < 10; ++b) {
        dsptest::Block noise = dsptest::MakeBlock();
        for (auto& v : noise)
            v = dsptest::ClampSample(20000.0 * rng.Gauss());
        afterSilence.Run(noise);
        steady.Run(noise);
    }
    EXPECT_LT(afterSilence.chain->AGCLevel(), 2.0 * steady.chain->AGCLevel());
    EXPECT_GT(dsptest::Rms(afterSilence.chain->Outputs().OutFrames.data(), 0), 100.0);
}
