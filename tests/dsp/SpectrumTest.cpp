// The production spectrum analysis against a direct DFT, the literal
// transform, and its placement rules.

#include "dsp/Spectrum.h"
#include "dsp/SignalChain.h"
#include "tests/dsp/LiteralChain.h"
#include "tests/dsp/TestUtil.h"

#include <complex>
#include <memory>

namespace {

int PeakBin(const double* db)
{
    int best = 0;
    for (int k = 1; k < 2048; ++k)
        if (db[k] > db[best])
            best = k;
    return best;
}

}  // namespace

TEST(SpectrumAnalysis, MatchesADirectDft)
{
    dsptest::Rng rng(42);
    std::vector<double> i(2048), q(2048), out(2048);
    for (int n = 0; n < 2048; ++n) {
        i[n] = 1000 * rng.Gauss();
        q[n] = 1000 * rng.Gauss();
    }
    auto an = std::make_unique<dsp::SpectrumAnalyzer>();
    an->Analyze(i.data(), q.data(), out.data());
    const double pi = 3.141592653589793;
    for (int k = 0; k < 2048; k += 7) {
        std::complex<double> x = 0;
        for (int n = 0; n < 2048; ++n) {
            const double w = 0.5 - 0.5 * std::cos(2 * pi * n / 2048.0);
            x += std::complex<double>(w * q[n], w * i[n]) *
                 std::polar(1.0, -2 * pi * double(k) * n / 2048.0);
        }
        EXPECT_NEAR(out[k], 20.0 * std::log(std::abs(x)), 1e-7) << k;
    }
}

TEST(SpectrumAnalysis, MatchesTheLiteralTransform)
{
    dsptest::Rng rng(9);
    std::vector<double> i(2400), q(2400), a(2048), b(2048);
    for (int n = 0; n < 2400; ++n) {
        i[n] = std::round(3000 * rng.Gauss());
        q[n] = std::round(3000 * rng.Gauss());
    }
    auto an = std::make_unique<dsp::SpectrumAnalyzer>();
    auto lit = std::make_unique<literal::Spectrum>();
    an->Analyze(i.data(), q.data(), a.data());
    lit->Analyze(i.data(), q.data(), b.data());
    for (int k = 0; k < 2048; ++k)
        EXPECT_NEAR(a[k], b[k], 1e-9 * (1 + std::fabs(b[k]))) << k;
    for (int p = 0; p < 2048; ++p)
        EXPECT_EQ(an->Rev(p), lit->rev[p]);
}

TEST(SpectrumAnalysis, ZeroRule)
{
    auto an = std::make_unique<dsp::SpectrumAnalyzer>();
    std::vector<double> i(2048, 0.0), q(2048, 0.0), out(2048, 5.0);
    an->Analyze(i.data(), q.data(), out.data());
    for (double v : out)
        EXPECT_EQ(v, 0.0);
    // A purely real input (I = 0) keeps the imaginary part of the zero-frequency
    // and the -24 kHz bins exactly zero: they show 0 although their real part is not.
    dsptest::Rng rng(1);
    for (int n = 0; n < 2048; ++n)
        q[n] = 100 + 1000 * rng.Gauss();
    an->Analyze(i.data(), q.data(), out.data());
    EXPECT_EQ(out[0], 0.0);
    EXPECT_EQ(out[1024], 0.0);
    int nonzero = 0;
    for (double v : out)
        nonzero += v != 0.0;
    EXPECT_GT(nonzero, 2000);
}

TEST(SpectrumAnalysis, TonesLandOnTheirBins)
{
    auto an = std::make_unique<dsp::SpectrumAnalyzer>();
    std::vector<double> i(2048), q(2048), out(2048);
    for (double f : {1500.0, -1500.0}) {
        for (int n = 0; n < 2048; ++n) {
            q[n] = std::cos(2 * 3.141592653589793 * f * n / 48000.0);
            i[n] = std::sin(2 * 3.141592653589793 * f * n / 48000.0);
        }
        an->Analyze(i.data(), q.data(), out.data());
        EXPECT_EQ(PeakBin(out.data()), f > 0 ? 64 : 1984);
    }
}

namespace {

struct ChainSpectrum {
    dsp::ChainControls c;
    std::unique_ptr<dsp::SignalChain> chain;
    explicit ChainSpectrum(bool inv)
    {
        c.InvIQ = inv;
        c.SpectrumVisible = true;
        chain = std::make_unique<dsp::SignalChain>(c);
        chain->Setup();
    }
};

}  // namespace

TEST(SpectrumAnalysis, ChainAnalysesTheInputAndInvIQMirrors)
{
    ChainSpectrum plain(false), inv(true);
    auto blk = dsptest::MakeBlock();
    dsptest::Rng rng(8);
    for (auto& v : blk)
        v = dsptest::ClampSample(50 * rng.Gauss());
    dsptest::AddTone(blk, 0, 1500.0, 8000.0);
    plain.chain->ProcessBlock(blk.data());
    inv.chain->ProcessBlock(blk.data());
    const auto& a = plain.chain->Outputs();
    const auto& b = inv.chain->Outputs();
    ASSERT_TRUE(a.SpectrumUpdated);
    EXPECT_EQ(PeakBin(a.SpectrumDb.data()), 64);
    EXPECT_EQ(PeakBin(b.SpectrumDb.data()), 1984);
    // Exchanging I and Q conjugates the complex input (times j): |X[k]| and
    // |X[-k]| exchange.
    for (int k = 1; k < 2048; ++k) {
        if (a.SpectrumDb[k] == 0.0 || b.SpectrumDb[2048 - k] == 0.0)
            continue;
        EXPECT_NEAR(a.SpectrumDb[k], b.SpectrumDb[2048 - k],
                    1e-6 * (1 + std::fabs(a.SpectrumDb[k])))
            << k;
    }
}

TEST(SpectrumAnalysis, TheLastSamplesOfABlockAreIgnored)
{
    ChainSpectrum a(false), b(false);
    dsptest::Rng rng(4);
    auto blk = dsptest::MakeBlock();
    for (auto& v : blk)
        v = dsptest::ClampSample(2000 * rng.Gauss());
    auto other = blk;
    for (int n = 2048; n < 2400; ++n) {
        other[2 * n] = dsptest::ClampSample(20000 * rng.Gauss());
        other[2 * n + 1] = -other[2 * n];
    }
    a.chain->ProcessBlock(blk.data());
    b.chain->ProcessBlock(other.data());
    for (int k = 0; k < 2048; ++k)
        EXPECT_EQ(a.chain->Outputs().SpectrumDb[k], b.chain->Outputs().SpectrumDb[k]);
}

TEST(SpectrumAnalysis, HiddenWindowSkipsTheAnalysis)
{
    ChainSpectrum a(false);
    a.c.SpectrumVisible = false;
    auto blk = dsptest::MakeBlock();
    dsptest::AddTone(blk, 0, 1500.0, 8000.0);
    a.chain->ProcessBlock(blk.data());
    EXPECT_FALSE(a.chain->Outputs().SpectrumUpdated);
}
