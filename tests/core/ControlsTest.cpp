#include "CoreFixture.h"

#include <utility>
#include <vector>

namespace core::test {
namespace {

using Controls = CoreTest;

TEST_F(Controls, ModeButtonsPressTheirFilters)
{
    Receiver& rx = Started();
    rx.SelectMode(Mode::Fm);
    EXPECT_EQ(S().RxMode, core::Mode::Fm);
    EXPECT_EQ(S().IFBW, core::IfChoice::Khz12);
    EXPECT_EQ(S().IFWidth, 12000);
    EXPECT_EQ(S().AFLPF, core::AfChoice::Khz6);
    EXPECT_EQ(S().SSBShift, 0);

    rx.SelectMode(Mode::Cw);
    EXPECT_EQ(S().RxMode, core::Mode::Cw);
    EXPECT_EQ(S().IFBW, core::IfChoice::Khz0_5);
    EXPECT_EQ(S().IFWidth, 500);
    EXPECT_EQ(S().AFLPF, core::AfChoice::Khz3);

    rx.SelectMode(Mode::Usb);
    EXPECT_EQ(S().RxMode, core::Mode::Usb);
    EXPECT_EQ(S().IFBW, core::IfChoice::Khz3);
    EXPECT_EQ(S().IFWidth, 3000);
    EXPECT_EQ(S().SSBShift, 1500);

    // Codes that are no mode change nothing.
    rx.SelectMode(static_cast<Mode>(5));
    rx.SelectMode(static_cast<Mode>(-1));
    EXPECT_EQ(S().RxMode, core::Mode::Usb);
}

TEST_F(Controls, LsbFromSixKilohertzEndsWithTheShiftOfTheNewWidth)
{
    Receiver& rx = Started();
    ASSERT_EQ(S().IFBW, core::IfChoice::Khz6);
    ASSERT_EQ(S().IFWidth, 6000);
    // The mode's own shift comes from the old width (-3000); the "3.0 k"
    // press that follows recomputes it for 3000 Hz.
    std::vector<int32_t> shiftsSeenByIFPress;
    QObject::connect(&rx, &Receiver::IfWindowUpdate,
                     [&](bool) { shiftsSeenByIFPress.push_back(S().SSBShift); });
    rx.SelectMode(Mode::Lsb);
    EXPECT_EQ(S().RxMode, core::Mode::Lsb);
    EXPECT_EQ(S().IFBW, core::IfChoice::Khz3);
    EXPECT_EQ(S().IFWidth, 3000);
    EXPECT_EQ(S().SSBShift, -1500);
    ASSERT_FALSE(shiftsSeenByIFPress.empty());
    EXPECT_EQ(shiftsSeenByIFPress.front(), -1500);

    rx.SelectIfFilter(IfChoice::Khz12);  // 12 kHz while in LSB
    EXPECT_EQ(S().SSBShift, -6000);
    rx.SelectMode(Mode::Usb);
    EXPECT_EQ(S().SSBShift, 1500);
}

TEST_F(Controls, ReclickingAmUndoesAHandPickedBandwidth)
{
    Receiver& rx = Started();
    ASSERT_EQ(S().RxMode, core::Mode::Am);
    rx.SelectIfFilter(IfChoice::Khz12);
    rx.SelectAfFilter(AfChoice::Khz6);
    ASSERT_EQ(S().IFWidth, 12000);
    S().MemoryMode = true;
    int buttons = 0;
    QObject::connect(&rx, &Receiver::ButtonsChanged, [&] { ++buttons; });
    rx.SelectMode(Mode::Am);
    EXPECT_EQ(S().RxMode, core::Mode::Am);
    EXPECT_EQ(S().IFBW, core::IfChoice::Khz6);
    EXPECT_EQ(S().IFWidth, 6000);
    EXPECT_EQ(S().AFLPF, core::AfChoice::Khz3);
    EXPECT_FALSE(S().MemoryMode);
    EXPECT_GE(buttons, 1);
}

TEST_F(Controls, UserFilterChoicesShowTheirWindows)
{
    Receiver& rx = Started();
    std::vector<bool> ifShows, afShows;
    QObject::connect(&rx, &Receiver::IfWindowUpdate, [&](bool show) { ifShows.push_back(show); });
    QObject::connect(&rx, &Receiver::AfWindowUpdate, [&](bool show) { afShows.push_back(show); });
    S().PosIFBW = 45;
    rx.SelectIfFilter(IfChoice::User);
    EXPECT_EQ(S().IFWidth, 4500);
    rx.SelectIfFilter(IfChoice::Khz3);
    rx.SelectAfFilter(AfChoice::User);
    rx.SelectAfFilter(AfChoice::Khz3);
    EXPECT_EQ(ifShows, (std::vector<bool>{true, false}));
    EXPECT_EQ(afShows, (std::vector<bool>{true, false}));
    rx.SelectIfFilter(static_cast<IfChoice>(9));  // no such button
    EXPECT_EQ(S().IFBW, core::IfChoice::Khz3);
    rx.SelectAgc(AgcSpeed::Slow);
    EXPECT_EQ(S().AGC, core::AgcSpeed::Slow);
    rx.SelectAgc(static_cast<AgcSpeed>(3));
    EXPECT_EQ(S().AGC, core::AgcSpeed::Slow);
}

TEST_F(Controls, DspButtonsFollowTheirDownState)
{
    Receiver& rx = Started();
    rx.Set3D(true);
    rx.SetNoiseReduction(true);
    rx.SetCanceller(true);
    EXPECT_TRUE(S().DSP3D);
    EXPECT_TRUE(S().DSPNR);
    EXPECT_TRUE(S().DSPAN);
    rx.SetCanceller(false);
    rx.SetNoiseReduction(false);
    EXPECT_FALSE(S().DSPAN);
    EXPECT_FALSE(S().DSPNR);
    rx.SetMonitor(true);
    EXPECT_TRUE(S().MonitorOn);
    EXPECT_TRUE(rx.MonitorDown());
}

TEST_F(Controls, KnobClicksCentreBelowAndOnePixelLeft)
{
    Receiver& rx = Started();
    std::vector<std::pair<Knob, bool>> redraws;
    QObject::connect(&rx, &Receiver::KnobRedraw,
                     [&](Knob k, bool h) { redraws.emplace_back(k, h); });

    S().GainPos = 40;
    rx.SetKnobFromPoint(Knob::Vol, 15, 16);  // the centre
    rx.SetKnobFromPoint(Knob::Vol, 18, 20);  // 5 pixels away: still the centre
    EXPECT_EQ(S().GainPos, 40);
    EXPECT_TRUE(redraws.empty());

    rx.SetKnobFromPoint(Knob::Vol, 15, 26);  // straight below
    EXPECT_EQ(S().GainPos, 150);
    EXPECT_DOUBLE_EQ(S().VolGain, 1500.0);
    rx.SetKnobFromPoint(Knob::Vol, 14, 26);  // one pixel left of that
    EXPECT_EQ(S().GainPos, -150);
    EXPECT_DOUBLE_EQ(S().VolGain, 0.0);
    rx.SetKnobFromPoint(Knob::Sql, 25, 16);  // right
    EXPECT_EQ(S().SqlPos, 90);
    rx.SetKnobFromPoint(Knob::Sql, 15, 6);  // above
    EXPECT_EQ(S().SqlPos, 0);
    ASSERT_EQ(redraws.size(), 4u);
    EXPECT_EQ(redraws[0], std::make_pair(Knob::Vol, true));
    EXPECT_EQ(redraws[3], std::make_pair(Knob::Sql, true));
}

TEST_F(Controls, WheelOverAKnobTurnsItAndClamps)
{
    WriteIni("[Wave]\nGainPos=-148\nSqlPos=148\nFreqTune=-12000\n");
    Receiver& rx = Started();
    const int64_t before = ReceiveFrequency();
    std::vector<std::pair<Knob, bool>> redraws;
    QObject::connect(&rx, &Receiver::KnobRedraw,
                     [&](Knob k, bool h) { redraws.emplace_back(k, h); });

    rx.HoverKnob(Knob::Vol, true);
    EXPECT_EQ(S().KnobHover, 1);
    rx.StepTune(-120);
    EXPECT_EQ(S().GainPos, -150);  // not -152
    EXPECT_DOUBLE_EQ(S().VolGain, 0.0);
    rx.StepTune(0);  // 0 counts as down for a knob
    EXPECT_EQ(S().GainPos, -150);
    rx.StepTune(1);
    EXPECT_EQ(S().GainPos, -146);
    EXPECT_DOUBLE_EQ(S().VolGain, 20.0);
    rx.LeaveKnob(Knob::Vol);
    EXPECT_EQ(S().KnobHover, 0);

    rx.HoverKnob(Knob::Sql, false);  // no focus: no highlight yet
    rx.StepTune(1);
    EXPECT_EQ(S().SqlPos, 150);
    rx.StepTune(1);
    EXPECT_EQ(S().SqlPos, 150);
    rx.StepTune(-1);
    EXPECT_EQ(S().SqlPos, 146);
    rx.LeaveKnob(Knob::Sql);

    EXPECT_EQ(ReceiveFrequency(), before);  // the knobs took every step
    const std::vector<std::pair<Knob, bool>> expected = {
        {Knob::Vol, true}, {Knob::Vol, true},  {Knob::Vol, true},
        {Knob::Vol, true}, {Knob::Vol, false}, {Knob::Sql, true},
        {Knob::Sql, true}, {Knob::Sql, true},  {Knob::Sql, false}};
    EXPECT_EQ(redraws, expected);

    rx.StepTune(1);  // no knob under the pointer: tuning again
    EXPECT_EQ(ReceiveFrequency(), before + 1);
}

TEST_F(Controls, StepButtonsStopAtTheTableEnds)
{
    Receiver& rx = Started();
    ASSERT_EQ(S().StepNum, 0);
    rx.StepDown();
    EXPECT_EQ(S().StepNum, 0);
    EXPECT_EQ(S().TuneStep, 1);
    for (int i = 0; i < 20; ++i)
        rx.StepUp();
    EXPECT_EQ(S().StepNum, 16);
    EXPECT_EQ(S().TuneStep, 20000);
    rx.StepDown();
    EXPECT_EQ(S().TuneStep, 12500);
    rx.StepDown();
    rx.StepDown();
    rx.StepDown();
    EXPECT_EQ(S().TuneStep, 6250);
}

}  // namespace
}  // namespace core::test
