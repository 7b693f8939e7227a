#include "CoreFixture.h"

#include "PtyRadio.h"
#include "core/Format.h"

namespace core::test {
namespace {

using radio::test::PtyRadio;

class Keypad : public CoreTest {
protected:
    // A receiver of the given radio type with its radio on a pseudo-terminal,
    // set up and idle, and the three sounds beside the program.
    Receiver& WithRadio(int radioType, int32_t freqTune, int32_t center = 7100000)
    {
        MakeBeeps();
        WriteIni("[Wave]\nFreqTune=" + std::to_string(freqTune) +
                 "\nFreqCenter=" + std::to_string(center) + "\n[IO]\nPortStr=" + radio_.Path() +
                 "\nRadioType=" + std::to_string(radioType) + "\n");
        Receiver& rx = Started();
        radio_.SetAutoAnswer(true);
        EXPECT_TRUE(rx.OpenRadio());
        EXPECT_TRUE(RunUntil([&] { return !rx.RadioBusy(); }));
        radio_.Drain();
        setupLines_ = radio_.Lines().size();
        sounds_.clear();
        return rx;
    }

    // The link takes one command at a time: wait until the last has its "OK".
    void Idle()
    {
        EXPECT_TRUE(RunUntil([&] { return !rx_->RadioBusy(); }));
    }

    void Type(const std::string& text)
    {
        for (char c : text)
            rx_->KeypadKey(c == '.' ? keys::Point : static_cast<int>(c));
    }

    std::vector<std::string> NewLines()
    {
        radio::test::PumpBriefly();
        radio_.Drain();
        const auto& all = radio_.Lines();
        return std::vector<std::string>(all.begin() + static_cast<std::ptrdiff_t>(setupLines_),
                                        all.end());
    }

    PtyRadio radio_;
    std::size_t setupLines_ = 0;
};

TEST_F(Keypad, DjX11EntryTunesToTheHertz)
{
    Receiver& rx = WithRadio(1, -12000);
    Type("145.5");
    EXPECT_EQ(S().FreqEntry, "145.5");
    rx.KeypadKey(keys::Enter);
    EXPECT_EQ(sounds_, (std::vector<int>{1, 1, 1, 1, 1, 2}));
    EXPECT_EQ(S().FreqCenter, 145512000);
    EXPECT_EQ(S().FreqTune, -12000);
    EXPECT_EQ(ReceiveFrequency(), 145500000);
    EXPECT_TRUE(S().FreqEntry.empty());
    EXPECT_FALSE(S().PointEntered);
    ASSERT_TRUE(radio_.WaitForLines(setupLines_ + 1));
    EXPECT_EQ(NewLines(), (std::vector<std::string>{"AL~FW00145512000"}));
    EXPECT_STREQ(FormatFrequency(static_cast<int32_t>(ReceiveFrequency())).data(), " 145.500.000");
}

TEST_F(Keypad, TheRadiosGridRemainderMovesIntoTheOffset)
{
    Receiver& rx = WithRadio(1, -12000);
    Type("145.51234");
    rx.KeypadKey(keys::Enter);
    // 145524340 is not on the 50 Hz grid: the radio gets 145524300 and the
    // offset takes the 40 Hz, so the receive frequency is exact.
    EXPECT_EQ(S().FreqCenter, 145524300);
    EXPECT_EQ(ReceiveFrequency(), 145512340);
    ASSERT_TRUE(radio_.WaitForLines(setupLines_ + 1));
    EXPECT_EQ(NewLines(), (std::vector<std::string>{"AL~FW00145524300"}));
}

TEST_F(Keypad, DxR8LimitsAndAnEntryTheRadioCannotTake)
{
    Receiver& rx = WithRadio(0, 0);
    Type("35");
    rx.KeypadKey(keys::Enter);
    EXPECT_EQ(sounds_.back(), 3);
    EXPECT_EQ(S().FreqCenter, 7100000);
    EXPECT_TRUE(S().FreqEntry.empty());

    Type("34.999991");  // above the limit by a fraction of a hertz
    rx.KeypadKey(keys::Enter);
    EXPECT_EQ(sounds_.back(), 3);
    Type("0.029");
    rx.KeypadKey(keys::Enter);
    EXPECT_EQ(sounds_.back(), 3);
    EXPECT_TRUE(NewLines().empty());

    Type("34.99999");
    rx.KeypadKey(keys::Enter);
    EXPECT_EQ(sounds_.back(), 2);
    EXPECT_EQ(S().FreqCenter, 34999990);
    ASSERT_TRUE(radio_.WaitForLines(setupLines_ + 1));
    EXPECT_EQ(NewLines(), (std::vector<std::string>{"AL~RW_RXF34999990"}));
    Idle();

    // With the offset at -12 kHz the same entry needs a centre of 35011990 Hz,
    // beyond the radio: nothing changes, FreqCenter included.
    S().FreqTune = -12000;
    Type("34.99999");
    rx.KeypadKey(keys::Enter);
    EXPECT_EQ(sounds_.back(), 3);
    EXPECT_EQ(S().FreqCenter, 34999990);
    EXPECT_EQ(S().FreqTune, -12000);
    Type("0.03");
    rx.KeypadKey(keys::Enter);
    EXPECT_EQ(sounds_.back(), 2);
    EXPECT_EQ(S().FreqCenter, 42000);
    ASSERT_TRUE(radio_.WaitForLines(setupLines_ + 2));
    EXPECT_EQ(NewLines().back(), "AL~RW_RXF00042000");
}

TEST_F(Keypad, DjX11TopEntryWithNegativeOffsetChangesNothing)
{
    Receiver& rx = WithRadio(1, -12000, 145000000);
    Type("1300");
    rx.KeypadKey(keys::Enter);
    EXPECT_EQ(sounds_.back(), 3);
    EXPECT_EQ(S().FreqCenter, 145000000);
    Type("0.4");
    rx.KeypadKey(keys::Enter);
    EXPECT_EQ(sounds_.back(), 3);
    Type("99999999999999999999");  // grows without limit, never overflows
    rx.KeypadKey(keys::Enter);
    EXPECT_EQ(sounds_.back(), 3);
    EXPECT_EQ(S().FreqCenter, 145000000);
    EXPECT_TRUE(NewLines().empty());
}

TEST_F(Keypad, MainWindowKeysTuneAsTheKeypadDoes)
{
    Receiver& rx = WithRadio(1, -12000);
    S().MemoryMode = true;
    // Numeric-pad digits 96..105 and its decimal point 110.
    for (int code : {keys::Pad0 + 4, keys::Pad0 + 3, keys::PadPoint, keys::Pad0 + 2})
        rx.KeypadKey(code);
    EXPECT_EQ(S().FreqEntry, "43.2");
    EXPECT_FALSE(S().MemoryMode);
    rx.KeypadKey(keys::Enter);
    EXPECT_EQ(ReceiveFrequency(), 43200000);
    EXPECT_EQ(S().FreqCenter, 43212000);
    // Keys that are no digit do nothing and make no sound.
    sounds_.clear();
    rx.KeypadKey(65);  // "A"
    rx.KeypadKey(38);  // arrow up
    EXPECT_TRUE(S().FreqEntry.empty());
    EXPECT_TRUE(sounds_.empty());
}

TEST_F(Keypad, OnePointOnlyAndBackspaceGivesItBack)
{
    Receiver& rx = WithRadio(1, 0);
    Type("1.2");
    sounds_.clear();
    rx.KeypadKey(keys::Point);
    EXPECT_EQ(S().FreqEntry, "1.2");
    EXPECT_TRUE(sounds_.empty());  // a second "." is ignored silently
    rx.KeypadKey(keys::Back);
    rx.KeypadKey(keys::Back);
    EXPECT_EQ(S().FreqEntry, "1");
    EXPECT_FALSE(S().PointEntered);
    rx.KeypadKey(keys::Point);
    EXPECT_EQ(S().FreqEntry, "1.");
    EXPECT_TRUE(S().PointEntered);
    EXPECT_EQ(sounds_, (std::vector<int>{1, 1, 1}));
    rx.KeypadKey(keys::Escape);
    EXPECT_TRUE(S().FreqEntry.empty());
    EXPECT_FALSE(S().PointEntered);
    rx.KeypadKey(keys::Back);  // nothing left to remove
    EXPECT_TRUE(S().FreqEntry.empty());
}

TEST_F(Keypad, EnterWithNothingOrZeroIsSilent)
{
    Receiver& rx = WithRadio(1, -12000);
    rx.KeypadKey(keys::Enter);
    Type("0");
    sounds_.clear();
    rx.KeypadKey(keys::Enter);
    Type("00.000");
    sounds_.clear();
    rx.KeypadKey(keys::Enter);
    EXPECT_TRUE(sounds_.empty());
    EXPECT_TRUE(S().FreqEntry.empty());
    EXPECT_EQ(S().FreqCenter, 7100000);
    EXPECT_TRUE(NewLines().empty());
}

TEST_F(Keypad, ALonePointIsReportedAndKept)
{
    Receiver& rx = WithRadio(1, -12000);
    Type(".");
    sounds_.clear();
    rx.KeypadKey(keys::Enter);
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_EQ(errors_[0].message, "\".\" is not a frequency in MHz.");
    EXPECT_FALSE(errors_[0].beep);
    EXPECT_TRUE(sounds_.empty());
    EXPECT_EQ(S().FreqEntry, ".");
    EXPECT_TRUE(S().PointEntered);
    rx.KeypadKey(keys::Back);
    EXPECT_TRUE(S().FreqEntry.empty());
    EXPECT_FALSE(S().PointEntered);
}

TEST_F(Keypad, MissingSoundFilesAreSilence)
{
    Receiver& rx = Started();
    Type("7.1");
    rx.KeypadKey(keys::Enter);
    EXPECT_TRUE(sounds_.empty());
    EXPECT_EQ(ReceiveFrequency(), 7100000);  // no radio port: tuned all the same
    EXPECT_EQ(rx.BeepFile(Sound::Refused), Dir() / "beep3.wav");
}

}  // namespace
}  // namespace core::test
