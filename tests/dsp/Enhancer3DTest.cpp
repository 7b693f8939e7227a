// The output frames: the 3D rule and the plain channels.

#include "dsp/Enhancer3D.h"
#include "tests/dsp/TestUtil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

// A constant audio value x: once the delay line holds it, the first channel
// carries (x - x/2) * 0.66666666666 and the second (x + x/2) * 0.66666666666,
// each rounded half up; before, the delay line's zeros; without 3D both
// channels carry x rounded half up. The delay line runs either way.
TEST(Enhancer3D, ConstantAudioGivesTheRuleOnceTheDelayHasFilled)
{
    const double x = 30000.3;
    dsp::Enhancer3D e;
    std::vector<int16_t> frames(dsp::kBlockSamples);
    std::fill(e.Block(), e.Block() + dsp::kBlockFrames, x);
    e.Output(false, frames.data());
    for (int n = 0; n < dsp::kBlockFrames; ++n) {
        ASSERT_EQ(frames[2 * n], 30000);
        ASSERT_EQ(frames[2 * n + 1], 30000);
    }
    e.EndBlock();
    std::fill(e.Block(), e.Block() + dsp::kBlockFrames, x);
    e.Output(true, frames.data());
    const auto round = [](double v) { return static_cast<int16_t>(static_cast<int32_t>(v + 0.5)); };
    for (int n = 0; n < dsp::kBlockFrames; ++n) {
        ASSERT_EQ(frames[2 * n], round((x - 0.5 * x) * 0.66666666666)) << n;
        ASSERT_EQ(frames[2 * n + 1], round((x + 0.5 * x) * 0.66666666666)) << n;
    }
    // A fresh line: the first 99 samples see zeros behind them.
    dsp::Enhancer3D fresh;
    std::fill(fresh.Block(), fresh.Block() + dsp::kBlockFrames, x);
    fresh.Output(true, frames.data());
    EXPECT_EQ(frames[2 * 98], round(x * 0.66666666666));
    EXPECT_EQ(frames[2 * 99], round((x - 0.5 * x) * 0.66666666666));
}

TEST(Enhancer3D, ThreeDChannelsFollowTheRule)
{
    // The same input with and without 3D: the sum of the 3D channels is
    // 4/3 of the plain output and their difference 2/3 of the plain output
    // 99 samples earlier, within the rounding of the three values.
    dsptest::Rx plain([](dsp::ChainControls& c) {
        c.FreqTune = 5000;
        c.GainPos = -60;
    });
    dsptest::Rx three([](dsp::ChainControls& c) {
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
