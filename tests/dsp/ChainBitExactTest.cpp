// The production chain against the literal model with no tolerance at all:
// every int16 output sample, every AGC trace value, both flags and every
// recorder sample equal. The speed work on the chain regroups and overlaps
// its stages; these runs pin that none of it changes a single output bit,
// including the corners where a regrouping would show: exact digital silence
// long enough for the filter states to decay until they are cleared, the
// squelch opening and closing, full-scale overload, and settings changed
// between blocks. Each runs with the chain on one thread and in two halves
// on two threads, as tesmar-demod runs it.

#include "dsp/SignalChain.h"
#include "tests/dsp/LiteralChain.h"
#include "tests/dsp/TestUtil.h"
#include "tests/dsp/TwoThreadChain.h"

#include <functional>
#include <memory>
#include <string>
#include <tuple>

namespace {

struct ExactPair {
    dsp::ChainControls cp, cl;
    std::unique_ptr<dsp::SignalChain> prod;
    std::unique_ptr<literal::LiteralChain> lit;
    std::unique_ptr<dsptest::TwoThreadChain> two;  // null: ProcessBlock on one thread
    std::unique_ptr<dsp::BlockOutputs> twoOut = std::make_unique<dsp::BlockOutputs>();
    dsptest::Block held;  // the block whose back half is still to run
    int blocks = 0;
    int busyBlocks = 0;
    int overBlocks = 0;
    std::string firstMismatch;

    ExactPair(int threads, const std::function<void(dsp::ChainControls&)>& init)
    {
        init(cp);
        init(cl);
        prod = std::make_unique<dsp::SignalChain>(cp);
        lit = std::make_unique<literal::LiteralChain>(cl);
        prod->Setup();
        lit->Setup();
        if (threads == 2)
            two = std::make_unique<dsptest::TwoThreadChain>(*prod);
    }

    // Settings change between blocks: both halves done with the block before.
    template <class F>
    void Both(F f)
    {
        Finish();
        f(cp, *prod);
        f(cl, *lit);
    }

    void Run(const dsptest::Block& in)
    {
        if (!two) {
            prod->ProcessBlock(in.data());
            lit->ProcessBlock(in.data());
            Compare(prod->Outputs(), prod->AGCLevel());
            return;
        }
        double level = 0.0;
        if (two->Push(in.data(), *twoOut, &level)) {
            lit->ProcessBlock(held.data());
            Compare(*twoOut, level);
        }
        held = in;
    }

    // Runs the back half still held; call before reading the results.
    void Finish()
    {
        double level = 0.0;
        if (two && two->Drain(*twoOut, &level)) {
            lit->ProcessBlock(held.data());
            Compare(*twoOut, level);
        }
    }

    void Note(const std::string& what)
    {
        if (firstMismatch.empty())
            firstMismatch = "block " + std::to_string(blocks) + ": " + what;
    }

    void Compare(const dsp::BlockOutputs& a, double agcLevel)
    {
        const auto& b = lit->Outputs();
        for (int k = 0; k < dsp::kBlockSamples; ++k)
            if (a.OutFrames[k] != b.OutFrames[k]) {
                Note("output sample " + std::to_string(k) + ": " + std::to_string(a.OutFrames[k]) +
                     " instead of " + std::to_string(b.OutFrames[k]));
                break;
            }
        for (int n = 0; n < dsp::kBlockFrames; ++n)
            if (!(a.AGCTrace[n] == b.AGCTrace[n])) {  // NaN counts as a difference
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
        busyBlocks += b.SqlBusy;
        overBlocks += b.AudioOver;
        ++blocks;
    }
};

const int kTune[5] = {5000, -10000, -3000, -16000, 12000};
const int kIF[5] = {2, 3, 0, 1, 1};

void Tune(dsp::ChainControls& c, int mode, int gainPos)
{
    c.RxMode = mode;
    c.FreqTune = kTune[mode];
    c.IFBW = kIF[mode];
    c.AFLPF = mode == 1 ? 1 : 0;
    c.GainPos = gainPos;
}

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
    });
    p.Both([](dsp::ChainControls&, auto& chain) {
        chain.SetCanceller(true);
        chain.SetNoiseReduction(true);
    });
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
        c.IFBW = 1;  // "3.0 k": negligible after some 15 silent blocks
        c.SqlPos = 100;
        c.Recording = true;
    });
    if (mode >= 3)
        p.Both([](dsp::ChainControls&, auto& chain) { chain.DesignIFFilter(); });
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
        p.Both([&](dsp::ChainControls& c, auto& chain) {
            Tune(c, m, c.GainPos);
            if (m < 3)
                c.SSBShift = 0;
            chain.DesignIFFilter();
            chain.DesignAFFilter();
        });
    };
    for (int b = 0; b < 48; ++b) {
        switch (b) {
        case 4: mode(0); break;
        case 8: mode(1); break;  // back to FM: its de-emphasis state was kept
        case 12: p.Both([](dsp::ChainControls&, auto& chain) { chain.SetCanceller(true); }); break;
        case 16: mode(3); break;
        case 20:
            p.Both([](dsp::ChainControls& c, auto& chain) {
                c.InvIQ = true;
                c.InGainPos = -6;
                chain.SetInputGain();
                chain.SetNoiseReduction(true);
            });
            break;
        case 24: mode(2); break;
        case 28:
            p.Both([](dsp::ChainControls& c, auto& chain) {
                chain.SetCanceller(false);
                c.AGC = 2;
                chain.SetAGCSpeed();
                c.DSP3D = true;
            });
            break;
        case 32: mode(4); break;
        case 36:
            p.Both([](dsp::ChainControls& c, auto& chain) {
                c.IFBW = 4;
                c.PosIFBW = 77;
                chain.DesignIFFilter();
                c.MonitorOn = true;
                c.SqlPos = 150;
            });
            break;
        case 40: mode(1); break;
        case 44:
            p.Both([](dsp::ChainControls& c, auto& chain) {
                chain.SetNoiseReduction(false);
                c.InvIQ = false;
                c.GainPos = 150;
                chain.SetVolume();
            });
            break;
        }
        p.Run(band.Next());
    }
    p.Finish();
    EXPECT_TRUE(p.firstMismatch.empty()) << p.firstMismatch;
}

INSTANTIATE_TEST_SUITE_P(Threads, BitExactChain, ::testing::Values(1, 2));
