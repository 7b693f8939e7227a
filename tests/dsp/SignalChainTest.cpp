// Block-level facts of the production chain.

#include "dsp/SignalChain.h"
#include "tests/dsp/TestUtil.h"

#include <memory>

namespace {

struct Rx {
    dsp::ChainControls c;
    std::unique_ptr<dsp::SignalChain> chain;
    explicit Rx(const std::function<void(dsp::ChainControls&)>& init)
    {
        init(c);
        chain = std::make_unique<dsp::SignalChain>(c);
        chain->Setup();
    }
    const dsp::BlockOutputs& Run(const dsptest::Block& b)
    {
        chain->ProcessBlock(b.data());
        return chain->Outputs();
    }
};

}  // namespace

TEST(ChainFacts, AmOfASteadyCarrierGoesSilent)
{
    Rx rx([](dsp::ChainControls& c) {
        c.FreqTune = 0;
        c.GainPos = 0;
    });
    auto blk = dsptest::MakeBlock();
    for (int n = 0; n < 2400; ++n)
        blk[2 * n] = 1000;
    for (int b = 0; b < 40; ++b)
        rx.Run(blk);
    // The AGC's decay-and-jump ripple leaves at most one LSB.
    for (int16_t v : rx.Run(blk).OutFrames)
        EXPECT_LE(std::abs(v), 1);
}

TEST(ChainFacts, GainPosMinusOneFiftyGivesZeros)
{
    Rx rx([](dsp::ChainControls& c) { c.FreqTune = 5000; });
    dsptest::Band band(1);
    for (int b = 0; b < 5; ++b)
        for (int16_t v : rx.Run(band.Next()).OutFrames)
            ASSERT_EQ(v, 0);
}

TEST(ChainFacts, CwOfACarrierGivesEightHundredHertz)
{
    Rx rx([](dsp::ChainControls& c) {
        c.FreqTune = 2000;
        c.RxMode = 2;
        c.IFBW = 0;
        c.GainPos = -100;
    });
    const dsp::BlockOutputs* out = nullptr;
    for (int b = 0; b < 10; ++b) {
        auto blk = dsptest::MakeBlock();
        dsptest::AddTone(blk, b * 2400L, 2000.0, 3000.0);
        out = &rx.Run(blk);
    }
    const double at800 = dsptest::ToneAmplitude(out->OutFrames.data(), 0, 800.0);
    EXPECT_GT(at800, 100.0);
    for (double f : {400.0, 600.0, 1000.0, 1200.0})
        EXPECT_LT(dsptest::ToneAmplitude(out->OutFrames.data(), 0, f), at800 * 0.05) << f;
}

TEST(ChainFacts, SidebandsPutATuneOnTheRightSide)
{
    for (int mode : {3, 4}) {
        Rx rx([&](dsp::ChainControls& c) {
            c.FreqTune = 6000;
            c.RxMode = mode;
            c.IFBW = 1;
            c.GainPos = -100;
        });
        const dsp::BlockOutputs* out = nullptr;
        for (int b = 0; b < 10; ++b) {
            auto blk = dsptest::MakeBlock();
            dsptest::AddTone(blk, b * 2400L, 6000.0 + 1000.0, 2000.0);  // above: USB
            dsptest::AddTone(blk, b * 2400L, 6000.0 - 1700.0, 2000.0);  // below: LSB
            out = &rx.Run(blk);
        }
        const double upper = dsptest::ToneAmplitude(out->OutFrames.data(), 0, 1000.0);
        const double lower = dsptest::ToneAmplitude(out->OutFrames.data(), 0, 1700.0);
        if (mode == 4)
            EXPECT_GT(upper, 30.0 * lower);
        else
            EXPECT_GT(lower, 30.0 * upper);
    }
}

TEST(ChainFacts, SquelchKnobEndsAndMonitor)
{
    dsptest::Band band(2);
    Rx closed([](dsp::ChainControls& c) {
        c.SqlPos = 150;
        c.GainPos = 0;
        c.Recording = true;
    });
    Rx open([](dsp::ChainControls& c) {
        c.SqlPos = -150;
        c.GainPos = 0;
        c.Recording = true;
    });
    for (int b = 0; b < 5; ++b) {
        auto in = band.Next();
        const auto& a = closed.Run(in);
        EXPECT_FALSE(a.SqlBusy);
        EXPECT_FALSE(a.RecFeedReady);
        const auto& o = open.Run(in);
        EXPECT_TRUE(o.SqlBusy);
        EXPECT_TRUE(o.RecFeedReady);
    }
    closed.c.MonitorOn = true;
    EXPECT_TRUE(closed.Run(band.Next()).SqlBusy);
}

TEST(ChainFacts, NrOnZerosGivesZeros)
{
    Rx rx([](dsp::ChainControls& c) { c.GainPos = 100; });
    rx.chain->SetNoiseReduction(true);
    EXPECT_TRUE(rx.c.DSPNR);
    auto blk = dsptest::MakeBlock();
    for (int b = 0; b < 3; ++b)
        for (int16_t v : rx.Run(blk).OutFrames)
            ASSERT_EQ(v, 0);
}

TEST(ChainFacts, AgcRecoversAtOnceAfterDigitalSilence)
{
    Rx rx([](dsp::ChainControls& c) {
        c.FreqTune = 5000;
        c.AGC = 0;
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

TEST(ChainFacts, NonSilentInputKeepsTheLevelFarAboveTheFloor)
{
    Rx rx([](dsp::ChainControls& c) { c.AGC = 0; });
    dsptest::Rng rng(5);
    for (int b = 0; b < 40; ++b) {
        auto blk = dsptest::MakeBlock();
        for (auto& v : blk)
            v = dsptest::ClampSample(2.0 * rng.Gauss());
        for (double v : rx.Run(blk).AGCTrace)
            ASSERT_GT(v, 0.3);
    }
}

TEST(ChainFacts, BadSettingsNeverGiveNaN)
{
    const std::function<void(dsp::ChainControls&)> cases[] = {
        [](dsp::ChainControls& c) { c.IFBW = 99; },
        [](dsp::ChainControls& c) {
            c.IFBW = 4;
            c.PosIFBW = 0;
        },
        [](dsp::ChainControls& c) {
            c.IFBW = 4;
            c.PosIFBW = 500;
        },
        [](dsp::ChainControls& c) {
            c.AFLPF = 2;
            c.PosAFFC1 = 40;
            c.PosAFFC2 = 40;
        },
        [](dsp::ChainControls& c) {
            c.AFLPF = 2;
            c.PosAFFC1 = 50;
            c.PosAFFC2 = 10;
        },
    };
    for (const auto& init : cases) {
        Rx rx([&](dsp::ChainControls& c) {
            init(c);
            c.GainPos = 0;
            c.FreqTune = 5000;
        });
        dsptest::Band band(6);
        for (int b = 0; b < 4; ++b) {
            const auto& o = rx.Run(band.Next());
            for (double v : o.AGCTrace)
                ASSERT_TRUE(std::isfinite(v));
        }
        for (int k = 0; k < 51; ++k)
            ASSERT_TRUE(std::isfinite(rx.chain->AFTaps()[k]));
        EXPECT_GT(dsptest::Rms(rx.chain->Outputs().OutFrames.data(), 0), 1.0);
    }
}

TEST(ChainFacts, ThreeDChannelsFollowTheRule)
{
    // The same input with and without 3D: the sum of the 3D channels is
    // 4/3 of the plain output and their difference 2/3 of the plain output
    // 99 samples earlier, within the rounding of the three values.
    Rx plain([](dsp::ChainControls& c) {
        c.FreqTune = 5000;
        c.GainPos = -60;
    });
    Rx three([](dsp::ChainControls& c) {
        c.FreqTune = 5000;
        c.GainPos = -60;
        c.DSP3D = true;
    });
    dsptest::Band band(7);
    std::vector<int> hist;
    for (int b = 0; b < 4; ++b) {
        auto in = band.Next();
        const auto& p = plain.Run(in);
        const auto& t = three.Run(in);
        for (int n = 0; n < 2400; ++n) {
            EXPECT_EQ(p.OutFrames[2 * n], p.OutFrames[2 * n + 1]);
            hist.push_back(p.OutFrames[2 * n]);
            const double x = hist.back();
            const double d = hist.size() > 99 ? hist[hist.size() - 100] : 0.0;
            EXPECT_NEAR(t.OutFrames[2 * n] + t.OutFrames[2 * n + 1], 2.0 * 0.66666666666 * x, 2.5);
            EXPECT_NEAR(t.OutFrames[2 * n + 1] - t.OutFrames[2 * n], 0.66666666666 * d, 2.5);
        }
    }
}

// The enhancer on a strong AM carrier: its step is too large for the
// carrier's level, so its weights diverge within a few blocks. It restarts
// instead: every sample stays finite, the audio never falls silent for good,
// and once "NR" is released the receiver sounds as if it had never been on.
TEST(ChainFacts, NrOnAStrongCarrierNeverSilencesTheReceiver)
{
    for (const double amp : {3000.0, 8000.0}) {
        Rx rx([](dsp::ChainControls& c) { c.GainPos = -100; });
        Rx plain([](dsp::ChainControls& c) { c.GainPos = -100; });
        rx.chain->SetNoiseReduction(true);
        long t = 0;
        int silentBlocks = 0;
        for (int b = 0; b < 60; ++b, t += 2400) {
            const auto blk = dsptest::AmCarrierBlock(t, amp);
            plain.Run(blk);
            const auto& o = rx.Run(blk);
            for (double v : o.AGCTrace)
                ASSERT_TRUE(std::isfinite(v)) << amp << " block " << b;
            silentBlocks = dsptest::Rms(o.OutFrames.data(), 0) < 1.0 ? silentBlocks + 1 : 0;
            ASSERT_LT(silentBlocks, 10) << amp << " block " << b;
        }
        rx.chain->SetNoiseReduction(false);
        for (int b = 0; b < 20; ++b, t += 2400) {
            const auto blk = dsptest::AmCarrierBlock(t, amp);
            const double want = dsptest::Rms(plain.Run(blk).OutFrames.data(), 0);
            const double got = dsptest::Rms(rx.Run(blk).OutFrames.data(), 0);
            if (b >= 4) {
                EXPECT_NEAR(got, want, 0.02 * want) << amp << " block " << b;
            }
        }
    }
}
