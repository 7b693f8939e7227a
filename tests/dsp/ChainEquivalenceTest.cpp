// The production chain must reproduce the literal model: int16 output equal
// but for rare one-LSB differences, the AGC trace, flags and recorder feed
// equal, the spectrum equal to rounding.
//
// This holds only because every stage up to the AGC (and the squelch) rounds
// exactly as written, and both chains use the same oscillator kernel. The AGC
// amplifies any other rounding: on each instant-attack step the new level is
// input / level^4, so a relative error in the level comes out four times
// larger, with the opposite sign. The model compiled with contraction of
// multiply-adds drifts by a few per cent from itself within a few blocks of a
// realistic signal (hundreds of LSB at high volume), so these runs also guard
// the evaluation order of the early stages. Each runs with the chain on one
// thread and in two halves on two threads, as tesmar-demod runs it.

#include "tests/dsp/ChainPair.h"

#include <cstdio>
#include <string>
#include <tuple>

namespace {

using dsptest::Tune;

const int kExactBlocks = 2;

// Equal but for rare one-LSB differences; the tallies over the run.
class Pair : public dsptest::ChainPair {
public:
    using ChainPair::ChainPair;

    long samples = 0, lsbDiffs = 0, recSamples = 0, recDiffs = 0;
    int maxDiff = 0, maxRecDiff = 0;
    double maxTraceRel = 0, maxSpecRel = 0;
    int busyMismatch = 0, overMismatch = 0;
    double maxRmsRel = 0;  // per-block output level, production against model
    int maxEarlyDiff = 0;  // largest difference in the first blocks
    long earlyDiffs = 0, earlySamples = 0;

protected:
    void Compare(const dsp::BlockOutputs& a, double) override
    {
        const auto& b = lit->Outputs();
        for (int k = 0; k < 4800; ++k) {
            const int d = std::abs(int(a.OutFrames[k]) - int(b.OutFrames[k]));
            if (d > 0)
                ++lsbDiffs;
            maxDiff = std::max(maxDiff, d);
        }
        samples += 4800;
        for (int n = 0; n < 2400; ++n) {
            const double rel = std::fabs(a.AGCTrace[n] - b.AGCTrace[n]) / std::fabs(b.AGCTrace[n]);
            if (!(rel <= maxTraceRel))
                maxTraceRel = rel;  // NaN sticks
        }
        busyMismatch += a.SqlBusy != b.SqlBusy;
        overMismatch += a.AudioOver != b.AudioOver;
        if (a.SqlBusy == b.SqlBusy && a.RecFeedReady != b.RecFeedReady)
            Note("RecFeedReady");
        {
            const double ra = dsptest::Rms(a.OutFrames.data(), 0),
                         rb = dsptest::Rms(b.OutFrames.data(), 0);
            if (rb > 30.0)
                maxRmsRel = std::max(maxRmsRel, std::fabs(ra - rb) / rb);
            if (blocks < kExactBlocks) {
                for (int k = 0; k < 4800; ++k) {
                    const int d = std::abs(int(a.OutFrames[k]) - int(b.OutFrames[k]));
                    earlyDiffs += d > 0;
                    maxEarlyDiff = std::max(maxEarlyDiff, d);
                }
                earlySamples += 4800;
            }
        }
        if (a.SpectrumUpdated != b.SpectrumUpdated)
            Note("SpectrumUpdated");
        if (a.RecFeedReady && b.RecFeedReady) {
            for (int m = 0; m < 400; ++m) {
                const int d = std::abs(int(a.RecFeed[m]) - int(b.RecFeed[m]));
                recDiffs += d > 0;
                maxRecDiff = std::max(maxRecDiff, d);
            }
            recSamples += 400;
        }
        if (a.SpectrumUpdated && b.SpectrumUpdated) {
            for (int k = 0; k < 2048; ++k) {
                if ((a.SpectrumDb[k] == 0.0) != (b.SpectrumDb[k] == 0.0))
                    Note("SpectrumDb zero rule");
                const double rel = std::fabs(a.SpectrumDb[k] - b.SpectrumDb[k]) /
                                   (1.0 + std::fabs(b.SpectrumDb[k]));
                if (!(rel <= maxSpecRel))
                    maxSpecRel = rel;
            }
        }
    }

public:
    void ExpectEquivalent(const char* name)
    {
        Finish();
        std::printf(
            "[%s] blocks %d, diffs %ld of %ld (max %d), first %d blocks: %ld of %ld (max %d), "
            "level rel %.3g, AGCTrace rel %.3g, rec diffs %ld of %ld (max %d), spectrum rel %.3g, "
            "busy %d (mismatch %d), over %d (mismatch %d)\n",
            name, blocks, lsbDiffs, samples, maxDiff, kExactBlocks, earlyDiffs, earlySamples,
            maxEarlyDiff, maxRmsRel, maxTraceRel, recDiffs, recSamples, maxRecDiff, maxSpecRel,
            busyBlocks, busyMismatch, overBlocks, overMismatch);
        EXPECT_TRUE(firstMismatch.empty()) << name << ": first mismatch at " << firstMismatch;
        EXPECT_LE(maxSpecRel, 1e-9) << name;
        EXPECT_LE(maxTraceRel, 1e-12) << name;  // also fails on NaN
        EXPECT_LE(maxEarlyDiff, 1) << name;
        EXPECT_LE(earlyDiffs * 1000, earlySamples) << name;
        EXPECT_LE(maxRecDiff, 1) << name;
        EXPECT_LE(recDiffs * 1000, std::max(recSamples, 1L)) << name;
        EXPECT_LE(maxDiff, 1) << name;
        EXPECT_LE(lsbDiffs * 1000, samples) << name;
        EXPECT_EQ(busyMismatch, 0) << name;
        EXPECT_EQ(overMismatch, 0) << name;
    }
};

// Mode and threads.
class EveryMode : public ::testing::TestWithParam<std::tuple<int, int>> {};
// Threads.
class ChainEquivalence : public ::testing::TestWithParam<int> {};

}  // namespace

TEST_P(EveryMode, AllSwitchesOff)
{
    const int mode = std::get<0>(GetParam()), threads = std::get<1>(GetParam());
    Pair p(threads, [&](dsp::ChainControls& c) { Tune(c, mode, 0); });
    dsptest::Band band(100 + mode);
    for (int b = 0; b < 40; ++b)
        p.Run(band.Next());
    p.ExpectEquivalent(("off/" + std::to_string(mode)).c_str());
    EXPECT_EQ(p.busyBlocks, 40);
}

TEST_P(EveryMode, NoiseProcessingSpectrumAndRecording)
{
    const int mode = std::get<0>(GetParam()), threads = std::get<1>(GetParam());
    Pair p(threads, [&](dsp::ChainControls& c) {
        Tune(c, mode, 60);
        c.DSP3D = true;
        c.SpectrumVisible = true;
        c.Recording = true;
        c.AGC = dsp::AgcSpeed::Fast;
    });
    p.AN(true);
    p.NR(true);
    dsptest::Band band(200 + mode);
    for (int b = 0; b < 40; ++b)
        p.Run(band.Next());
    p.ExpectEquivalent(("all on/" + std::to_string(mode)).c_str());
}

INSTANTIATE_TEST_SUITE_P(ModesAndThreads, EveryMode,
                         ::testing::Combine(::testing::Values(0, 1, 2, 3, 4),
                                            ::testing::Values(1, 2)));

// A start with AN and NR restored as on: both begin from zero weights.
TEST_P(ChainEquivalence, RestoredNoiseProcessorsStartFromZeroWeights)
{
    Pair p(GetParam(), [&](dsp::ChainControls& c) {
        Tune(c, 4, 30);
        c.DSPAN = true;
        c.DSPNR = true;
    });
    dsptest::Band band(300);
    for (int b = 0; b < 30; ++b)
        p.Run(band.Next());
    p.ExpectEquivalent("restored AN/NR");
}

TEST_P(ChainEquivalence, SquelchInUse)
{
    // AM "3.0 k" and FM "12.0 k" each at a threshold where the squelch opens
    // and closes during the run.
    const struct {
        int mode, ifbw, sqlPos;
    } cases[] = {{0, 1, 110}, {0, 2, 0}, {1, 3, 120}, {4, 1, 120}};
    for (const auto& k : cases) {
        Pair p(GetParam(), [&](dsp::ChainControls& c) {
            Tune(c, k.mode, 40);
            c.IFBW = dsp::FromCode<dsp::IfChoice>(k.ifbw);
            c.SqlPos = k.sqlPos;
            c.Recording = true;
        });
        dsptest::Band band(400 + k.mode);
        band.noise_ = 120.0;
        for (int b = 0; b < 40; ++b) {
            if (b == 30)
                p.Set([](dsp::ChainControls& c) { c.MonitorOn = true; });
            p.Run(band.Next());
        }
        const std::string name =
            "squelch/" + std::to_string(k.mode) + "/" + std::to_string(k.sqlPos);
        p.ExpectEquivalent(name.c_str());
        EXPECT_GT(p.busyBlocks, 0) << name;
    }
}

TEST_P(ChainEquivalence, MidRunChangesOfFiltersModeAndSwitches)
{
    Pair p(GetParam(), [&](dsp::ChainControls& c) {
        Tune(c, 0, 20);
        c.SpectrumVisible = true;
        c.Recording = true;
    });
    dsptest::Band band(500);
    for (int b = 0; b < 60; ++b) {
        switch (b) {
        case 8:  // USB on the SSB station, its default filters
            p.Set([](dsp::ChainControls& c) { c.FreqTune = 12000; });
            p.Mode(4);
            break;
        case 16:  // user IF and AF bands
            p.Set([](dsp::ChainControls& c) {
                c.IFBW = dsp::IfChoice::User;
                c.PosIFBW = 42;
                c.AFLPF = dsp::AfChoice::User;
                c.PosAFFC1 = 5;
                c.PosAFFC2 = 45;
            });
            p.DesignIF();
            p.DesignAF();
            p.AN(true);
            break;
        case 24:  // LSB: SSBShift changes sign
            p.Set([](dsp::ChainControls& c) { c.FreqTune = -16000; });
            p.Mode(3);
            p.NR(true);
            break;
        case 32:
            p.AN(false);
            p.Set([](dsp::ChainControls& c) {
                c.AGC = dsp::AgcSpeed::Fast;
                c.DSP3D = true;
                c.GainPos = 90;
            });
            p.AGCSpeed();
            p.Volume();
            break;
        case 40:  // FM, then AF "6.0 k" and the slow AGC
            p.Set([](dsp::ChainControls& c) { c.FreqTune = -10000; });
            p.Mode(1);
            p.Set([](dsp::ChainControls& c) {
                c.AGC = dsp::AgcSpeed::Slow;
                c.SqlPos = 100;
            });
            p.AGCSpeed();
            break;
        case 50:  // CW, with NR switched off
            p.Set([](dsp::ChainControls& c) { c.FreqTune = -3000; });
            p.Mode(2);
            p.NR(false);
            break;
        }
        p.Run(band.Next());
    }
    p.ExpectEquivalent("mid-run changes");
}

TEST_P(ChainEquivalence, InvertedIQInputGainAndOverload)
{
    Pair p(GetParam(), [&](dsp::ChainControls& c) {
        Tune(c, 0, 150);
        c.FreqTune = -5000;  // the AM station, mirrored by the exchange
        c.InvIQ = true;
        c.InGainPos = 6;
        c.SpectrumVisible = true;
    });
    dsptest::Band band(600);
    for (int b = 0; b < 30; ++b)
        p.Run(band.Next());
    p.ExpectEquivalent("InvIQ, gain, overload");
    EXPECT_GT(p.overBlocks, 0);
}

INSTANTIATE_TEST_SUITE_P(Threads, ChainEquivalence, ::testing::Values(1, 2));
