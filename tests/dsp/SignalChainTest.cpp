// Block-level facts of the production chain.

#include "dsp/SignalChain.h"
#include "tests/dsp/TestUtil.h"

#include <memory>

TEST(ChainFacts, AmOfASteadyCarrierGoesSilent)
{
    dsptest::Rx rx([](dsp::ChainControls& c) {
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
    dsptest::Rx rx([](dsp::ChainControls& c) { c.FreqTune = 5000; });
    dsptest::Band band(1);
    for (int b = 0; b < 5; ++b)
        for (int16_t v : rx.Run(band.Next()).OutFrames)
            ASSERT_EQ(v, 0);
}

TEST(ChainFacts, CwOfACarrierGivesEightHundredHertz)
{
    dsptest::Rx rx([](dsp::ChainControls& c) {
        c.FreqTune = 2000;
        c.RxMode = dsp::Mode::Cw;
        c.IFBW = dsp::IfChoice::Khz0_5;
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
    for (dsp::Mode mode : {dsp::Mode::Lsb, dsp::Mode::Usb}) {
        dsptest::Rx rx([&](dsp::ChainControls& c) {
            c.FreqTune = 6000;
            c.RxMode = mode;
            c.IFBW = dsp::IfChoice::Khz3;
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
        if (mode == dsp::Mode::Usb)
            EXPECT_GT(upper, 30.0 * lower);
        else
            EXPECT_GT(lower, 30.0 * upper);
    }
}

TEST(ChainFacts, BadSettingsNeverGiveNaN)
{
    const std::function<void(dsp::ChainControls&)> cases[] = {
        [](dsp::ChainControls& c) { c.IFBW = dsp::FromCode<dsp::IfChoice>(99); },
        [](dsp::ChainControls& c) {
            c.IFBW = dsp::IfChoice::User;
            c.PosIFBW = 0;
        },
        [](dsp::ChainControls& c) {
            c.IFBW = dsp::IfChoice::User;
            c.PosIFBW = 500;
        },
        [](dsp::ChainControls& c) {
            c.AFLPF = dsp::AfChoice::User;
            c.PosAFFC1 = 40;
            c.PosAFFC2 = 40;
        },
        [](dsp::ChainControls& c) {
            c.AFLPF = dsp::AfChoice::User;
            c.PosAFFC1 = 50;
            c.PosAFFC2 = 10;
        },
    };
    for (const auto& init : cases) {
        dsptest::Rx rx([&](dsp::ChainControls& c) {
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
