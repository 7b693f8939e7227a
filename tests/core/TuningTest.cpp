#include "CoreFixture.h"

#include "PtyRadio.h"

namespace core::test {
namespace {

using radio::test::PtyRadio;

class Tuning : public CoreTest {
protected:
    // A receiver at the given centre and offset, AM, IF "6.0 k", TuneStep.
    Receiver& At(int32_t center, int32_t tune, int32_t stepNum, int32_t radioType = 0)
    {
        WriteIni("[Wave]\nFreqCenter=" + std::to_string(center) +
                 "\nFreqTune=" + std::to_string(tune) + "\nStepNum=" + std::to_string(stepNum) +
                 "\n[IO]\nRadioType=" + std::to_string(radioType) + "\n");
        return Started();
    }
};

TEST_F(Tuning, StepsSnapDownToTheGridFirst)
{
    Receiver& rx = At(7100000, 50, 6);  // 100 Hz steps, receiving 7100050
    ASSERT_EQ(S().TuneStep, 100);
    rx.StepTune(-1);
    EXPECT_EQ(ReceiveFrequency(), 7099900);
    S().FreqTune = 50;
    rx.StepTune(1);
    EXPECT_EQ(ReceiveFrequency(), 7100100);
    S().FreqTune = 0;
    rx.StepTune(1);  // on the grid already: one plain step
    EXPECT_EQ(ReceiveFrequency(), 7100100);
    S().MemoryMode = true;
    rx.StepTune(-1);
    EXPECT_FALSE(S().MemoryMode);
}

TEST_F(Tuning, LowerBandEdgeRetunesAndKeepsTheReceiveFrequency)
{
    Receiver& rx = At(7100000, -20900, 6);
    ASSERT_EQ(S().IFWidth, 6000);
    rx.StepTune(-1);
    EXPECT_EQ(S().FreqCenter, 7100000 - 42000);
    EXPECT_EQ(S().FreqTune, 21000);
    EXPECT_EQ(ReceiveFrequency(), 7100000 - 21000);
}

TEST_F(Tuning, UpperBandEdgeRetunesTwoStepsOnward)
{
    Receiver& rx = At(7100000, 20900, 6);
    rx.StepTune(1);
    EXPECT_EQ(S().FreqCenter, 7100000 + 42000);
    EXPECT_EQ(S().FreqTune, -20900);
    EXPECT_EQ(ReceiveFrequency(), 7100000 + 20900 + 200);
}

TEST_F(Tuning, SidebandEdgesUseTheWholeWidthOnOneSide)
{
    Receiver& rx = At(7100000, -20500, 9);  // 1 kHz steps
    rx.SelectMode(Mode::Lsb);               // LSB, 3000 Hz: lo 3000, hi 0
    ASSERT_EQ(S().IFWidth, 3000);
    rx.StepTune(-1);  // -21500 <= -21000
    EXPECT_EQ(S().FreqCenter, 7100000 - 45000);
    EXPECT_EQ(S().FreqTune, 24000);
    EXPECT_EQ(ReceiveFrequency(), 7100000 - 21000);

    rx.SelectMode(Mode::Usb);  // USB: lo 0, hi 3000
    S().FreqTune = 20000;
    const int32_t center = S().FreqCenter;
    rx.StepTune(1);  // 21000 >= 21000
    EXPECT_EQ(S().FreqCenter, center + 45000);
    EXPECT_EQ(S().FreqTune, -24000 + 1000);
}

TEST_F(Tuning, ARetuneTheRadioRefusesStopsAtTheEdge)
{
    // "DX-R8" tunes up to 34999990 Hz and down to 30000 Hz.
    Receiver& rx = At(34990000, 20900, 6);
    rx.StepTune(1);
    EXPECT_EQ(S().FreqCenter, 34990000);
    EXPECT_EQ(S().FreqTune, 21000);
    rx.StepTune(1);
    EXPECT_EQ(S().FreqTune, 21000);
    EXPECT_FALSE(S().StepBusy);

    S().FreqCenter = 50000;
    S().FreqTune = -20900;
    rx.StepTune(-1);
    EXPECT_EQ(S().FreqCenter, 50000);
    EXPECT_EQ(S().FreqTune, -21000);
}

TEST_F(Tuning, AStoredOffsetBeyondTheBandCannotOverflowTheSteps)
{
    // Values no control writes: the load brings them into range, and steps
    // at the largest step stay inside the band (the sanitizer build traps any
    // overflow on the way).
    WriteIni("[Wave]\nFreqTune=2147483647\nFreqCenter=-2147483648\nStepNum=16\n");
    Receiver& rx = Started();
    EXPECT_EQ(S().FreqTune, 24000);
    EXPECT_EQ(S().FreqCenter, 30000);
    for (int i = 0; i < 4; ++i)
        rx.StepTune(1);
    EXPECT_LE(S().FreqTune, 24000);
    S().FreqTune = -2147483647 - 1;  // as if a window had written it
    for (int i = 0; i < 4; ++i)
        rx.StepTune(-1);
    EXPECT_GE(S().FreqTune, -24000);
    EXPECT_LE(S().FreqTune, 24000);
}

TEST_F(Tuning, AStepInProgressIgnoresFurtherSteps)
{
    Receiver& rx = At(7100000, 0, 6);
    S().StepBusy = true;
    rx.StepTune(1);
    rx.StepTune(-1);
    EXPECT_EQ(ReceiveFrequency(), 7100000);
}

// The radio on a pseudo-terminal, set up and idle.
class TuningWithRadio : public Tuning {
protected:
    void OpenRadio(Receiver& rx) { rig_.Open(rx); }
    std::string IniRadio(int radioType = 0) const { return rig_.Ini(radioType); }
    std::vector<std::string> NewLines() { return rig_.NewLines(); }

    RadioRig rig_;
    PtyRadio& radio_ = rig_.radio;
    std::size_t& linesAfterSetup_ = rig_.linesAfterSetup;
};

TEST_F(TuningWithRadio, TheDisplayShowsTheRemainderTheSetUpMovedIntoTheOffset)
{
    // No sound device runs here, so no block repaints the display.
    WriteIni(IniRadio() + "[Wave]\nFreqCenter=7100005\nFreqTune=-12000\n");
    Receiver& rx = Started();
    std::vector<std::pair<int32_t, int32_t>> shown;
    QObject::connect(&rx, &Receiver::DisplayChanged,
                     [&] { shown.emplace_back(S().FreqCenter, S().FreqTune); });
    OpenRadio(rx);
    ASSERT_EQ(radio_.Lines().back(), "AL~RW_RXF07100000");
    EXPECT_EQ(S().FreqCenter, 7100000);
    EXPECT_EQ(S().FreqTune, -11995);
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back(), std::make_pair(7100000, -11995));
}

TEST_F(TuningWithRadio, BandEdgeRetuneWritesTheCommand)
{
    WriteIni(IniRadio() + "[Wave]\nFreqCenter=7100000\nFreqTune=-20900\nStepNum=6\n");
    Receiver& rx = Started();
    OpenRadio(rx);
    rx.StepTune(-1);
    ASSERT_TRUE(radio_.WaitForLines(linesAfterSetup_ + 1));
    EXPECT_EQ(NewLines(), (std::vector<std::string>{"AL~RW_RXF07058000"}));
}

TEST_F(TuningWithRadio, WhileARawFilePlaysSteppingStopsAtTheEdge)
{
    WriteIni(IniRadio(1) + "[Wave]\nFreqCenter=145000000\nStepNum=6\n");
    Receiver& rx = Started();
    OpenRadio(rx);
    rx.OpenRawFile(MakeRawFile(Dir(), 7100000, 5));
    ASSERT_TRUE(rx.RawPlaying());
    ASSERT_EQ(S().FreqCenter, 7100000);

    S().FreqTune = -20900;
    rx.StepTune(-1);
    EXPECT_EQ(S().FreqTune, -21000);
    rx.StepTune(-1);
    EXPECT_EQ(S().FreqTune, -21000);
    S().FreqTune = 20950;
    rx.StepTune(1);  // snaps to 20900, then 21000 = 24000 - 3000
    EXPECT_EQ(S().FreqTune, 21000);
    EXPECT_EQ(S().FreqCenter, 7100000);
    EXPECT_TRUE(NewLines().empty());

    rx.Play(false);
    EXPECT_EQ(S().FreqCenter, 145000000);
}

TEST_F(TuningWithRadio, WhileRecordingSteppingStopsAtTheEdge)
{
    WriteIni(IniRadio() + "[Wave]\nFreqCenter=7100000\nFreqTune=20900\nStepNum=6\n");
    Receiver& rx = Started();
    OpenRadio(rx);
    rx.Rec(true);
    ASSERT_TRUE(rx.RawRecording());
    rx.StepTune(1);
    EXPECT_EQ(S().FreqTune, 21000);
    EXPECT_EQ(S().FreqCenter, 7100000);
    // Monitor releases Rec on screen; the recording, and the stop, go on.
    rx.SetMonitor(true);
    rx.StepTune(1);
    EXPECT_EQ(S().FreqCenter, 7100000);
    EXPECT_TRUE(NewLines().empty());

    rx.Rec(true);
    rx.Rec(false);
    rx.StepTune(1);  // no file any more: the radio retunes
    EXPECT_EQ(S().FreqCenter, 7142000);
    EXPECT_EQ(NewLines(), (std::vector<std::string>{"AL~RW_RXF07142000"}));
}

}  // namespace
}  // namespace core::test
