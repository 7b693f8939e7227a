// The production chain against the literal model with no tolerance at all:
// every int16 output sample, every AGC trace value, both flags and every
// recorder sample equal. The speed work on the chain regroups and overlaps
// its stages; these runs pin that none of it changes a single output bit,
// including the corners where a regrouping would show: exact digital silence
// long enough for the filter states to decay until they are cleared, the
// squelch opening and closing, full-scale overload, and settings changed
// between blocks. Each runs with the chain on one thread and in two halves
// on two threads, as tesmar-demod runs it.

#include "tests/dsp/ChainPair.h"

#include <string>
#include <tuple>

namespace {

using dsptest::Tune;

// Every output bit equal; NaN counts as a difference.
class ExactPair : public dsptest::ChainPair {
public:
    using ChainPair::ChainPair;

protected:
    void Compare(const dsp::BlockOutputs& a, double agcLevel) override
    {
        const auto& b = lit->Outputs();
        for (int k = 0; k < dsp::kBlockSamples; ++k)
            if (a.OutFrames[k] != b.OutFrames[k]) {
                Note("output sample " + std::to_string(k) + ": " + std::to_string(a.OutFrames[k]) +
                     " instead of " + std::to_string(b.OutFrames[k]));
                break;
            }
        for (int n = 0; n < dsp::kBlockFrames; ++n)
            if (!(a.AGCTrace[n] == b.AGCTrace[n])) {
                Note("AGC trace at " + std::to_string(n));
                break;
            }
        if (a.SqlBusy != b.SqlBusy)
            Note("SqlBusy");
        if (a.AudioOver != b.AudioOver)
            Note("AudioOver");
        if (a.RecFeedReady != b.RecFeedReady)
            Note("RecFeedReady");
        if (a.RecFeedReady && b.RecFeedReady)
            for (int m = 0; m < dsp::kRecSamples; ++m)
                if (a.RecFeed[m] != b.RecFeed[m]) {
                    Note("recorder sample " + std::to_string(m));
                    break;
                }
        if (agcLevel != lit->AGCLevel())
            Note("AGC level after the block");
    }
};

// Mode and threads.
class BitExact : public ::testing::TestWithParam<std::tuple<int, int>> {};
// Threads.
class BitExactChain : public ::testing::TestWithParam<int> {};

}  // namespace

TEST_P(BitExact, PlainChain)
{
    const int mode = std::get<0>(GetParam()), threads = std::get<1>(GetParam());
    ExactPair p(threads, [&](dsp::ChainControls& c) { Tune(c, mode, 10); });
    dsptest::Band band(700 + mode);
    for (int b = 0; b < 24; ++b)
        p.Run(band.Next());
    p.Finish();
    EXPECT_TRUE(p.firstMismatch.empty()) << p.firstMismatch;
    EXPECT_EQ(p.busyBlocks, 24);
}

TEST_P(BitExact, EverythingOnAtHighVolume)
{
    const int mode = std::get<0>(GetParam()), threads = std::get<1>(GetParam());
    ExactPair p(threads, [&](dsp::ChainControls& c) {
        Tune(c, mode, 120);
        c.DSP3D = true;
        c.Recording = true;
        c.SpectrumVisible = true;
        c.DecoderFeed = true;  // the decoders' tap changes nothing the model checks
    });
    p.AN(true);
    p.NR(true);
    dsptest::Band band(800 + mode);
    for (int b = 0; b < 24; ++b)
        p.Run(band.Next());
    p.Finish();
    EXPECT_TRUE(p.firstMismatch.empty()) << p.firstMismatch;
    EXPECT_GT(p.overBlocks, 0);  // the limiter and its flag are exercised too
}

// Exact digital silence for long enough that the IF filter's states decay
// through many orders of magnitude until they are cleared as negligible,
// then the band again. FM's angle of a tiny I/Q pair shows any difference on
// the way, or in the block at which the states are cleared.
TEST_P(BitExact, LongDigitalSilenceThenSignal)
{
    const int mode = std::get<0>(GetParam()), threads = std::get<1>(GetParam());
    ExactPair p(threads, [&](dsp::ChainControls& c) {
        Tune(c, mode, 60);
        c.IFBW = dsp::IfChoice::Khz3;  // "3.0 k": negligible after some 15 silent blocks
        c.SqlPos = 100;
        c.Recording = true;
    });
    if (mode >= 3)
        p.DesignIF();
    dsptest::Band band(900 + mode);
    for (int b = 0; b < 4; ++b)
        p.Run(band.Next());
    const dsptest::Block silence = dsptest::MakeBlock();
    for (int b = 0; b < 120; ++b)
        p.Run(silence);
    for (int b = 0; b < 6; ++b)
        p.Run(band.Next());
    p.Finish();
    EXPECT_TRUE(p.firstMismatch.empty()) << p.firstMismatch;
}

INSTANTIATE_TEST_SUITE_P(ModesAndThreads, BitExact,
                         ::testing::Combine(::testing::Values(0, 1, 2, 3, 4),
                                            ::testing::Values(1, 2)));

// A weak band with the squelch threshold in the noise: the gate opens and
// closes within blocks, and the recorder follows the blocks that opened.
TEST_P(BitExactChain, SquelchOpeningAndClosing)
{
    for (int mode : {0, 1, 4}) {
        ExactPair p(GetParam(), [&](dsp::ChainControls& c) {
            Tune(c, mode, 50);
            c.SqlPos = mode == 1 ? 120 : 110;
            c.Recording = true;
        });
        dsptest::Band band(1000 + mode);
        band.noise_ = 150.0;
        for (int b = 0; b < 30; ++b)
            p.Run(band.Next());
        p.Finish();
        EXPECT_TRUE(p.firstMismatch.empty()) << "mode " << mode << ": " << p.firstMismatch;
        EXPECT_GT(p.busyBlocks, 0) << mode;
    }
}

// Settings changed between blocks: every mode in turn, the switches, the
// filters and the inverted inputs, so that states carried over a change
// (de-emphasis kept, IF cleared, weights loaded) are carried exactly.
TEST_P(BitExactChain, SettingsChangedBetweenBlocks)
{
    ExactPair p(GetParam(), [&](dsp::ChainControls& c) {
        Tune(c, 1, 40);
        c.Recording = true;
    });
    dsptest::Band band(1100);
    auto mode = [&](int m) {
        p.Set([&](dsp::ChainControls& c) { c.FreqTune = dsptest::kTuneFor[m]; });
        p.Mode(m);
    };
    for (int b = 0; b < 48; ++b) {
        switch (b) {
        case 4: mode(0); break;
        case 8: mode(1); break;  // back to FM: its de-emphasis state was kept
        case 12: p.AN(true); break;
        case 16: mode(3); break;
        case 20:
            p.Set([](dsp::ChainControls& c) {
                c.InvIQ = true;
                c.InGainPos = -6;
            });
            p.InputGain();
            p.NR(true);
            break;
        case 24: mode(2); break;
        case 28:
            p.AN(false);
            p.Set([](dsp::ChainControls& c) {
                c.AGC = dsp::AgcSpeed::Slow;
                c.DSP3D = true;
            });
            p.AGCSpeed();
            break;
        case 32: mode(4); break;
        case 36:
            p.Set([](dsp::ChainControls& c) {
                c.IFBW = dsp::IfChoice::User;
                c.PosIFBW = 77;
                c.MonitorOn = true;
                c.SqlPos = 150;
            });
            p.DesignIF();
            break;
        case 40: mode(1); break;
        case 44:
            p.NR(false);
            p.Set([](dsp::ChainControls& c) {
                c.InvIQ = false;
                c.GainPos = 150;
            });
            p.Volume();
            break;
        }
        p.Run(band.Next());
    }
    p.Finish();
    EXPECT_TRUE(p.firstMismatch.empty()) << p.firstMismatch;
}

INSTANTIATE_TEST_SUITE_P(Threads, BitExactChain, ::testing::Values(1, 2));
