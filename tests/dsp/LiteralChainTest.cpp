// The literal model checked on its own, before it serves as the oracle: its
// designs must reproduce the printed check values and its stages the quoted
// behaviour.

#include "tests/dsp/LiteralChain.h"
#include "tests/dsp/TestUtil.h"

#include <memory>

using namespace literal;
using dsptest::ExpectSection;
using dsptest::MatchesPrinted;

namespace {

std::unique_ptr<LiteralChain> MakeChain(dsp::ChainControls& c)
{
    auto chain = std::make_unique<LiteralChain>(c);
    chain->Setup();
    return chain;
}

}  // namespace

TEST(LiteralDesign, ChebyshevCheckValues)
{
    double st[20];
    ASSERT_EQ(Chebyshev(8, 1, 48, 3, st), 4);
    ExpectSection(st, "1.8591039", "-0.86946924", "0.0025178035", "0.005035607", "0.0025178035");
    ExpectSection(st + 15, "1.8241733", "-0.97355426", "0.036285679", "0.072571358", "0.036285679");
    ASSERT_EQ(Chebyshev(8, 1, 48, 1.5, st), 4);
    ExpectSection(st, "1.9303969", "-0.93303013", "0.0006396243", "0.0012792486", "0.0006396243");
    ExpectSection(st + 15, "1.9484851", "-0.98643237", "0.0092176489", "0.018435298",
                  "0.0092176489");
    ASSERT_EQ(Chebyshev(8, -1, 48, 12, st), 4);
    ExpectSection(st, "-1.3074125", "-0.50501722", "0.047999561", "-0.095999123", "0.047999561");
    ExpectSection(st + 15, "-0.0056771499", "-0.93215975", "0.46795609", "-0.93591217",
                  "0.46795609");
}

TEST(LiteralDesign, KaiserCheckValues)
{
    EXPECT_TRUE(MatchesPrinted(KaiserBeta(60), "5.65326"));
    double t[51];
    KaiserFir(50, 48, 0.3, 3.0, 60, t);
    EXPECT_TRUE(MatchesPrinted(t[25], "0.11782364"));
    EXPECT_TRUE(MatchesPrinted(t[24], "0.11401942"));
    EXPECT_TRUE(MatchesPrinted(t[0], "-0.00033009435"));
    KaiserFir(50, 48, 0.3, 6.0, 60, t);
    EXPECT_TRUE(MatchesPrinted(t[25], "0.23766188"));
    EXPECT_TRUE(MatchesPrinted(t[26], "0.21185643"));
    EXPECT_TRUE(MatchesPrinted(t[50], "-3.2305113e-05"));
    KaiserFir(50, 48, 1.0, 1.0, 60, t);
    for (double v : t)
        EXPECT_EQ(v, 0.0);
}

// The stored start weights follow the Kaiser prototype rule to their eight
// digits (within one unit of the last: one entry, 0.10090786, is rounded
// up from ...8549); the entries that are zero in exact arithmetic are rounding noise.
TEST(LiteralDesign, StartWeightsFollowThePrototypeRule)
{
    double p[26];
    KaiserPrototype(50, 48, 0, 40, 60, p);
    for (int k = 0; k < 26; ++k) {
        if (std::fabs(kNrStart[k]) < 1e-15) {
            EXPECT_LT(std::fabs(p[k]), 1e-15) << k;
        } else {
            EXPECT_NEAR(p[k], kNrStart[k], 1e-7 * std::fabs(kNrStart[k])) << k;
        }
    }
    KaiserPrototype(32, 48, 0, 40, 40, p);
    for (int k = 0; k < 17; ++k) {
        if (std::fabs(kAnStart[k]) < 1e-15) {
            EXPECT_LT(std::fabs(p[k]), 1e-15) << k;
        } else {
            EXPECT_NEAR(p[k], kAnStart[k], 1e-7 * std::fabs(kAnStart[k])) << k;
        }
    }
}

TEST(LiteralDesign, FixedSectionsHaveTheirQuotedResponses)
{
    EXPECT_NEAR(CascadeResponseDb(&kAudioHighPass, 1, 100), -3.0, 0.1);
    EXPECT_NEAR(CascadeResponseDb(kRecCascade, 4, 4000), -3.0, 0.1);
    EXPECT_NEAR(CascadeResponseDb(kRecCascade, 4, 8000), -53.0, 0.5);
    EXPECT_NEAR(CascadeResponseDb(&kDeemphasis, 1, 2000), -3.0, 0.1);
    EXPECT_NEAR(CascadeResponseDb(&kDeemphasis, 1, 4000), -12.6, 0.05);
    EXPECT_NEAR(CascadeResponseDb(&kDeemphasis, 1, 0), 0.0, 0.01);
    EXPECT_NEAR(CascadeResponseDb(&kNoiseSmoother, 1, 5), -3.0, 0.15);
}

TEST(LiteralDesign, SpectrumTablesAndRule)
{
    Spectrum s;
    EXPECT_EQ(s.rev[1], 1024);
    EXPECT_EQ(s.rev[2], 512);
    EXPECT_EQ(s.rev[3], 1536);
    std::vector<double> i(2048), q(2048), out(2048);
    for (int n = 0; n < 2048; ++n) {
        q[n] = std::cos(6.283185307179586 * 1500.0 * n / 48000.0);
        i[n] = std::sin(6.283185307179586 * 1500.0 * n / 48000.0);
    }
    s.Analyze(i.data(), q.data(), out.data());
    int best = 0;
    for (int k = 0; k < 2048; ++k)
        if (out[k] > out[best])
            best = k;
    EXPECT_EQ(best, 64);
    // Hann window: the peak bin holds half the sum of the window, 1024.
    EXPECT_NEAR(out[64], 20.0 * std::log(1024.0), 1e-9);
}

TEST(LiteralChainFacts, FmCarrierGivesTheQuotedPhaseStep)
{
    dsp::ChainControls c;
    c.RxMode = dsp::Mode::Fm;
    c.IFBW = dsp::IfChoice::Khz12;
    c.FreqTune = 0;
    auto chain = MakeChain(c);
    const double f = 1000.0;
    for (int b = 0; b < 6; ++b) {
        auto blk = dsptest::MakeBlock();
        dsptest::AddTone(blk, b * 2400L, f, 5000.0);
        chain->ProcessBlock(blk.data());
    }
    const double want = 30.0 * 2.0 * 3.141592653589793 * f / 48000.0;
    double lo = 1e9, hi = -1e9;
    for (int n = 0; n < 2400; ++n) {
        lo = std::min(lo, chain->fmRaw[n]);
        hi = std::max(hi, chain->fmRaw[n]);
    }
    // The int16 rounding of the input leaves a small phase jitter.
    EXPECT_NEAR(lo, want, 0.01);
    EXPECT_NEAR(hi, want, 0.01);
    // De-emphasis has unity gain at zero frequency.
    EXPECT_NEAR(chain->demod[2399], want, 0.01);
}

TEST(LiteralChainFacts, RecorderTakesEverySixthSample)
{
    dsp::ChainControls c;
    c.GainPos = 0;
    c.FreqTune = 0;
    c.Recording = true;
    auto chain = MakeChain(c);
    c.GainPos = 0;
    chain->SetVolume();
    auto blk = dsptest::MakeBlock();
    dsptest::AddTone(blk, 0, 700.0, 3000.0);
    dsptest::Rng rng(3);
    for (auto& v : blk)
        v = dsptest::ClampSample(v + 500 * rng.Gauss());
    chain->ProcessBlock(blk.data());
    ASSERT_TRUE(chain->Outputs().RecFeedReady);
    for (int m = 0; m < 400; ++m)
        ASSERT_EQ(chain->Outputs().RecFeed[m], chain->recFull[6 * m]);
}
// Every gate value follows from the noise measure, the previous decision and
// the knob; once closed, the squelch stays closed on samples whose plain
// measure would already pass.
TEST(LiteralChainFacts, SquelchHysteresis)
{
    dsp::ChainControls c;
    c.IFBW = dsp::IfChoice::Khz3;  // AM "3.0 k": offset 0.08, scale 680
    c.FreqTune = 0;
    c.SqlPos = 130;
    auto chain = MakeChain(c);
    dsptest::Rng rng(11);
    bool prevClosed = false;
    int open = 0, closed = 0, held = 0;
    for (int b = 0; b < 20; ++b) {
        auto blk = dsptest::MakeBlock();
        if ((b / 5) % 2 == 1)
            dsptest::AddTone(blk, b * 2400L, 300.0, 3000.0);
        for (auto& v : blk)
            v = dsptest::ClampSample(v + 100 * rng.Gauss());
        chain->ProcessBlock(blk.data());
        bool busy = false;
        for (int n = 0; n < 2400; ++n) {
            const double decision = (chain->sqlNoise[n] + (prevClosed ? 0.08 : 0.0)) * 680.0;
            ASSERT_DOUBLE_EQ(decision, chain->sqlDecision[n]);
            const bool isOpen = 20.0 >= decision;
            ASSERT_EQ(chain->sqlGate[n], isOpen ? 1.0 : 0.0);
            if (!isOpen && chain->sqlNoise[n] * 680.0 <= 20.0)
                ++held;
            isOpen ? ++open : ++closed;
            busy = busy || isOpen;
            prevClosed = !isOpen;
        }
        EXPECT_EQ(chain->Outputs().SqlBusy, busy);
    }
    EXPECT_GT(open, 0);
    EXPECT_GT(closed, 0);
    EXPECT_GT(held, 0);
}

TEST(LiteralChainFacts, NrOnZerosKeepsWeights)
{
    dsp::ChainControls c;
    auto chain = MakeChain(c);
    chain->SetNoiseReduction(true);
    double before[51];
    std::copy(chain->nrWeights, chain->nrWeights + 51, before);
    c.GainPos = 100;
    chain->SetVolume();
    auto blk = dsptest::MakeBlock();
    for (int b = 0; b < 3; ++b)
        chain->ProcessBlock(blk.data());
    for (int j = 0; j < 51; ++j)
        EXPECT_EQ(chain->nrWeights[j], before[j]);
    for (int16_t v : chain->Outputs().OutFrames)
        EXPECT_EQ(v, 0);
}

TEST(LiteralChainFacts, ThreeDRule)
{
    dsp::ChainControls c;
    c.FreqTune = 0;
    c.RxMode = dsp::Mode::Usb;
    c.GainPos = -50;
    c.DSP3D = true;
    auto chain = MakeChain(c);
    dsptest::Rng rng(5);
    std::vector<double> history;
    for (int b = 0; b < 3; ++b) {
        auto blk = dsptest::MakeBlock();
        dsptest::AddTone(blk, b * 2400L, 900.0, 2000.0);
        for (auto& v : blk)
            v = dsptest::ClampSample(v + 200 * rng.Gauss());
        chain->ProcessBlock(blk.data());
        for (int n = 0; n < 2400; ++n)
            history.push_back(chain->audio[n]);
        const auto& out = chain->Outputs().OutFrames;
        for (int n = 0; n < 2400; ++n) {
            const size_t at = history.size() - 2400 + n;
            const double x = history[at];
            const double d = at >= 99 ? history[at - 99] : 0.0;
            ASSERT_EQ(out[2 * n], RoundHalfUp((x - 0.5 * d) * 0.66666666666));
            ASSERT_EQ(out[2 * n + 1], RoundHalfUp((x + 0.5 * d) * 0.66666666666));
        }
    }
}
