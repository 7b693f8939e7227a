// The production filter designs against the printed check values and the
// quoted responses of the cascades they produce.

#include "dsp/FilterDesign.h"
#include "dsp/SignalChain.h"
#include "tests/dsp/LiteralChain.h"
#include "tests/dsp/TestUtil.h"

#include <algorithm>

using dsptest::ExpectSection;
using dsptest::MatchesPrinted;

namespace {

std::array<literal::Section, 4> FromStaging(const double* st)
{
    std::array<literal::Section, 4> out;
    for (int i = 0; i < 4; ++i)
        out[i] = {st[5 * i], st[5 * i + 1], st[5 * i + 2], st[5 * i + 3], st[5 * i + 4]};
    return out;
}

std::array<literal::Section, 4> FromChain(const dsp::BiquadSection* s)
{
    std::array<literal::Section, 4> out;
    for (int i = 0; i < 4; ++i)
        out[i] = {s[i].a1, s[i].a2, s[i].b0, s[i].b1, s[i].b2};
    return out;
}

double Db(const std::array<literal::Section, 4>& s, double f)
{
    return literal::CascadeResponseDb(s.data(), 4, f);
}

}  // namespace

TEST(ChebyshevDesign, IF6kCheckValuesAndResponse)
{
    double st[20];
    ASSERT_EQ(dsp::DesignChebyshev(8, 1, 48, 3, st), 4);
    ExpectSection(st, "1.8591039", "-0.86946924", "0.0025178035", "0.005035607", "0.0025178035");
    ExpectSection(st + 15, "1.8241733", "-0.97355426", "0.036285679", "0.072571358", "0.036285679");
    const auto s = FromStaging(st);
    EXPECT_NEAR(Db(s, 0), -1.0, 0.005);
    EXPECT_NEAR(Db(s, 3000), -1.0, 0.05);
    EXPECT_TRUE(MatchesPrinted(Db(s, 3200), "-13.9"));
    EXPECT_TRUE(MatchesPrinted(Db(s, 4000), "-44"));
    // The ripple peaks of the pass band reach 0 dB and no more.
    double peak = -100;
    for (double f = 0; f <= 3000; f += 1)
        peak = std::max(peak, Db(s, f));
    EXPECT_NEAR(peak, 0.0, 0.005);
}

TEST(ChebyshevDesign, IF3kCheckValues)
{
    double st[20];
    ASSERT_EQ(dsp::DesignChebyshev(8, 1, 48, 1.5, st), 4);
    ExpectSection(st, "1.9303969", "-0.93303013", "0.0006396243", "0.0012792486", "0.0006396243");
    ExpectSection(st + 15, "1.9484851", "-0.98643237", "0.0092176489", "0.018435298",
                  "0.0092176489");
    EXPECT_NEAR(Db(FromStaging(st), 1500), -1.0, 0.05);
}

TEST(ChebyshevDesign, NoiseHighPassCheckValues)
{
    double st[20];
    ASSERT_EQ(dsp::DesignChebyshev(8, -1, 48, 12, st), 4);
    ExpectSection(st, "-1.3074125", "-0.50501722", "0.047999561", "-0.095999123", "0.047999561");
    ExpectSection(st + 15, "-0.0056771499", "-0.93215975", "0.46795609", "-0.93591217",
                  "0.46795609");
    const auto s = FromStaging(st);
    // The mirror image of the low-pass: -1 dB at half the sampling rate and at 12 kHz.
    EXPECT_NEAR(Db(s, 24000), -1.0, 0.005);
    EXPECT_NEAR(Db(s, 12000), -1.0, 0.05);
    EXPECT_LT(Db(s, 6000), -60.0);
}

TEST(ChebyshevDesign, MatchesTheLiteralDesignForOtherWidths)
{
    for (double fc : {0.05, 0.25, 1.25, 6.0, 10.0}) {
        double a[20], b[20];
        ASSERT_EQ(dsp::DesignChebyshev(8, 1, 48, fc, a), 4);
        ASSERT_EQ(literal::Chebyshev(8, 1, 48, fc, b), 4);
        for (int i = 0; i < 20; ++i)
            EXPECT_NEAR(a[i], b[i], 1e-12 * (1 + std::fabs(b[i]))) << fc;
    }
    double a[20];
    EXPECT_EQ(dsp::DesignChebyshev(4, 1, 48, 3, a), 2);
}

TEST(ChainFilters, IFChoicesInstallTheirDesigns)
{
    dsp::ChainControls c;
    dsp::SignalChain chain(c);
    chain.Setup();
    ASSERT_EQ(c.IFBW, dsp::IfChoice::Khz6);
    EXPECT_EQ(c.IFWidth, 6000);
    ExpectSection(&chain.IFSections()[0].a1, "1.8591039", "-0.86946924", "0.0025178035",
                  "0.005035607", "0.0025178035");
    ExpectSection(&chain.NoiseSections()[3].a1, "-0.0056771499", "-0.93215975", "0.46795609",
                  "-0.93591217", "0.46795609");
    // "User" 25 -> 2500 Hz wide, cut-off 1250 Hz.
    c.IFBW = dsp::IfChoice::User;
    c.PosIFBW = 25;
    chain.DesignIFFilter();
    EXPECT_EQ(c.IFWidth, 2500);
    EXPECT_NEAR(Db(FromChain(chain.IFSections()), 1250), -1.0, 0.05);
    // USB follows the width; a narrower width moves SSBShift.
    c.RxMode = dsp::Mode::Usb;
    c.IFBW = dsp::IfChoice::Khz3;
    chain.DesignIFFilter();
    EXPECT_EQ(c.SSBShift, 1500);
    c.RxMode = dsp::Mode::Lsb;
    c.IFBW = dsp::IfChoice::User;
    c.PosIFBW = 25;
    chain.DesignIFFilter();
    EXPECT_EQ(c.SSBShift, -1250);
    c.RxMode = dsp::Mode::Usb;
    c.IFBW = dsp::IfChoice::User;
    c.PosIFBW = 1;  // 100 Hz: half of it, 50
    chain.DesignIFFilter();
    EXPECT_EQ(c.SSBShift, 50);
    // An unknown choice falls back to "0.5 k" and is stored as 0.
    c.RxMode = dsp::Mode::Am;
    c.SSBShift = 0;
    c.IFBW = dsp::FromCode<dsp::IfChoice>(7);
    chain.DesignIFFilter();
    EXPECT_EQ(dsp::Code(c.IFBW), 0);
    EXPECT_EQ(c.IFWidth, 500);
    EXPECT_EQ(c.SSBShift, 0);
}

TEST(ChainFilters, BadUserIFWidthFallsBackToThirty)
{
    for (int pos : {0, -5, 201, 500}) {
        dsp::ChainControls c;
        c.IFBW = dsp::IfChoice::User;
        c.PosIFBW = pos;
        dsp::SignalChain chain(c);
        chain.Setup();
        EXPECT_EQ(c.IFWidth, 3000) << pos;
        double st[20];
        literal::Chebyshev(8, 1, 48, 1.5, st);
        for (int i = 0; i < 4; ++i) {
            EXPECT_NEAR(chain.IFSections()[i].a1, st[5 * i], 1e-12);
            EXPECT_NEAR(chain.IFSections()[i].b0, st[5 * i + 2], 1e-15);
        }
    }
}

TEST(KaiserDesign, BesselAndBeta)
{
    EXPECT_EQ(dsp::BesselI0(0.0), 1.0);
    EXPECT_NEAR(dsp::BesselI0(1.0), 1.2660658777520082, 1e-15);
    EXPECT_NEAR(dsp::BesselI0(5.65326), literal::BesselI0(5.65326), 1e-12);
    EXPECT_TRUE(MatchesPrinted(dsp::KaiserBeta(60), "5.65326"));
    EXPECT_NEAR(dsp::KaiserBeta(40), literal::KaiserBeta(40), 1e-15);
    EXPECT_NEAR(dsp::KaiserBeta(40), 0.5842 * std::pow(19.0, 0.4) + 0.07886 * 19.0, 1e-12);
    EXPECT_EQ(dsp::KaiserBeta(20), 0.0);
    EXPECT_NEAR(dsp::KaiserBeta(50), 0.1102 * 41.3, 1e-12);
}

TEST(KaiserDesign, AF3kCheckValuesAndResponse)
{
    double t[51];
    dsp::DesignKaiserFir(50, 48, 0.3, 3.0, 60, t);
    EXPECT_TRUE(MatchesPrinted(t[25], "0.11782364"));
    EXPECT_TRUE(MatchesPrinted(t[24], "0.11401942"));
    EXPECT_TRUE(MatchesPrinted(t[26], "0.11401942"));
    EXPECT_TRUE(MatchesPrinted(t[0], "-0.00033009435"));
    EXPECT_TRUE(MatchesPrinted(t[50], "-0.00033009435"));
    for (int k = 0; k <= 50; ++k)
        EXPECT_EQ(t[k], t[50 - k]) << k;
    EXPECT_TRUE(MatchesPrinted(literal::FirResponseDb(t, 51, 0), "-2.9"));
    EXPECT_TRUE(MatchesPrinted(literal::FirResponseDb(t, 51, 300), "-2.6"));
    EXPECT_TRUE(MatchesPrinted(literal::FirResponseDb(t, 51, 1000), "-0.9"));
    EXPECT_TRUE(MatchesPrinted(literal::FirResponseDb(t, 51, 1650), "0"));
    EXPECT_TRUE(MatchesPrinted(literal::FirResponseDb(t, 51, 3000), "-5.6"));
    EXPECT_TRUE(MatchesPrinted(literal::FirResponseDb(t, 51, 4000), "-21.5"));
    for (double f = 5000; f <= 24000; f += 25)
        EXPECT_LT(literal::FirResponseDb(t, 51, f), -57.0) << f;
}

TEST(KaiserDesign, AF6kCheckValues)
{
    double t[51];
    dsp::DesignKaiserFir(50, 48, 0.3, 6.0, 60, t);
    EXPECT_TRUE(MatchesPrinted(t[25], "0.23766188"));
    EXPECT_TRUE(MatchesPrinted(t[24], "0.21185643"));
    EXPECT_TRUE(MatchesPrinted(t[26], "0.21185643"));
    EXPECT_TRUE(MatchesPrinted(t[0], "-3.2305113e-05"));
    EXPECT_TRUE(MatchesPrinted(t[50], "-3.2305113e-05"));
    for (int k = 0; k <= 50; ++k)
        EXPECT_EQ(t[k], t[50 - k]) << k;
}

TEST(KaiserDesign, MatchesTheLiteralDesign)
{
    const double edges[][2] = {{0.1, 10.0}, {0.5, 2.2}, {2.0, 2.1}, {9.9, 10.0}};
    for (const auto& e : edges) {
        double a[51], b[51];
        dsp::DesignKaiserFir(50, 48, e[0], e[1], 60, a);
        literal::KaiserFir(50, 48, e[0], e[1], 60, b);
        for (int k = 0; k < 51; ++k)
            EXPECT_NEAR(a[k], b[k], 1e-12) << e[0] << " " << e[1];
    }
}

TEST(KaiserDesign, EqualEdgesGiveZeroTaps)
{
    double t[51];
    std::fill(t, t + 51, 1.0);
    dsp::DesignKaiserFir(50, 48, 1.5, 1.5, 60, t);
    for (double v : t)
        EXPECT_EQ(v, 0.0);
}

TEST(ChainFilters, AFChoices)
{
    dsp::ChainControls c;
    dsp::SignalChain chain(c);
    chain.Setup();
    EXPECT_TRUE(MatchesPrinted(chain.AFTaps()[25], "0.11782364"));
    std::array<double, 51> threeK;
    std::copy(chain.AFTaps(), chain.AFTaps() + 51, threeK.begin());
    c.AFLPF = dsp::AfChoice::Khz6;
    chain.DesignAFFilter();
    EXPECT_TRUE(MatchesPrinted(chain.AFTaps()[25], "0.23766188"));
    // "User" 3 / 30 is "3.0 k" within the rounding of 3 x 0.1.
    c.AFLPF = dsp::AfChoice::User;
    c.PosAFFC1 = 3;
    c.PosAFFC2 = 30;
    chain.DesignAFFilter();
    EXPECT_NEAR(c.AFLow, 0.3, 1e-15);
    EXPECT_NEAR(c.AFHigh, 3.0, 1e-15);
    for (int k = 0; k < 51; ++k)
        EXPECT_NEAR(chain.AFTaps()[k], threeK[k], 1e-14) << k;
    // An unknown choice is "3.0 k", stored as 0.
    c.AFLPF = dsp::FromCode<dsp::AfChoice>(9);
    chain.DesignAFFilter();
    EXPECT_EQ(dsp::Code(c.AFLPF), 0);
    for (int k = 0; k < 51; ++k)
        EXPECT_EQ(chain.AFTaps()[k], threeK[k]) << k;
}

TEST(ChainFilters, BadUserAFBandFallsBack)
{
    const int bad[][2] = {{30, 30}, {40, 20}, {0, 30}, {3, 101}, {-4, 60}};
    double ref[51];
    literal::KaiserFir(50, 48, 3 * 0.1, 60 * 0.1, 60, ref);
    for (const auto& b : bad) {
        dsp::ChainControls c;
        c.AFLPF = dsp::AfChoice::User;
        c.PosAFFC1 = b[0];
        c.PosAFFC2 = b[1];
        dsp::SignalChain chain(c);
        chain.Setup();
        EXPECT_NEAR(c.AFLow, 0.3, 1e-12) << b[0] << "/" << b[1];
        EXPECT_NEAR(c.AFHigh, 6.0, 1e-12) << b[0] << "/" << b[1];
        for (int k = 0; k < 51; ++k) {
            ASSERT_TRUE(std::isfinite(chain.AFTaps()[k]));
            EXPECT_NEAR(chain.AFTaps()[k], ref[k], 1e-12);
        }
    }
}
