// The squelch: its hysteresis table and its decision, on its own and in the
// chain.

#include "dsp/Squelch.h"
#include "dsp/Constants.h"
#include "tests/dsp/TestUtil.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using dsp::IfChoice;
using dsp::Mode;

TEST(Squelch, HysteresisByModeAndIfChoice)
{
    const struct {
        Mode mode;
        IfChoice ifbw;
        double offset, scale;
    } cases[] = {
        {Mode::Fm, IfChoice::Khz6, 0.003, 7800.0}, {Mode::Fm, IfChoice::Khz12, 0.005, 3200.0},
        {Mode::Fm, IfChoice::User, 0.005, 3200.0}, {Mode::Am, IfChoice::Khz6, 0.01, 3500.0},
        {Mode::Usb, IfChoice::Khz6, 0.01, 3500.0}, {Mode::Am, IfChoice::Khz3, 0.08, 680.0},
        {Mode::Cw, IfChoice::Khz0_5, 0.08, 680.0}, {Mode::Lsb, IfChoice::User, 0.08, 680.0}};
    for (const auto& k : cases) {
        const dsp::SquelchHysteresis h = dsp::Squelch::HysteresisFor(k.mode, k.ifbw);
        const std::string where = std::string(dsp::kModeNames[dsp::Code(k.mode)]) + " " +
                                  std::to_string(dsp::Code(k.ifbw));
        EXPECT_EQ(h.offset, k.offset) << where;
        EXPECT_EQ(h.scale, k.scale) << where;
    }
}

// Decisions on given noise measures, AM with "3.0 k" (offset 0.08, scale 680):
// the knob at its minimum opens whatever the noise; at its maximum only an
// exactly zero measure keeps it open, and once closed it stays closed; a
// measure equal to the threshold opens; once closed the noise must fall by
// 0.08 x 680 = 54.4 below the threshold.
TEST(Squelch, DecisionsAtTheThresholdAndTheKnobEnds)
{
    const double t = 100.0 / 680.0;  // the threshold at SqlPos 50, as a noise measure
    // Gates as strings of 0 and 1 (a table of vectors here met a compiler
    // fault that merged the vectors' initial values).
    const struct {
        int32_t sqlPos;
        bool monitor;
        std::vector<double> noise;
        const char* gate;
    } cases[] = {
        {-150, false, {1e9, 0.0, 1e9}, "111"},
        {150, false, {0.0, 0.0, 1e-300, 0.0}, "1100"},
        {150, true, {1e9, 5.0}, "11"},
        {50, false, {t, 1.01 * t, t, (100.0 - 54.4) / 680.0, t}, "10011"},
        {50, false, {2 * t, (100.0 - 54.0) / 680.0}, "00"},
    };
    for (const auto& k : cases) {
        dsp::Squelch sql;
        std::vector<double> gate(k.noise.size());
        dsp::Squelch::Run run(sql, Mode::Am, IfChoice::Khz3, k.sqlPos, k.monitor, gate.data());
        bool opened = false;
        for (size_t n = 0; n < k.noise.size(); ++n)
            opened |= run.Decide(k.noise[n], static_cast<int>(n));
        std::string got;
        for (double g : gate)
            got += g == 1.0 ? '1' : g == 0.0 ? '0' : '?';
        EXPECT_EQ(got, k.gate) << "SqlPos " << k.sqlPos;
        EXPECT_EQ(run.Busy(), opened);
    }
}

TEST(Squelch, SquelchKnobEndsAndMonitor)
{
    dsptest::Band band(2);
    dsptest::Rx closed([](dsp::ChainControls& c) {
        c.SqlPos = 150;
        c.GainPos = 0;
        c.Recording = true;
    });
    dsptest::Rx open([](dsp::ChainControls& c) {
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
