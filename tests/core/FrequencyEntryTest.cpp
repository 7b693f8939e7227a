#include "CoreFixture.h"

#include "PtyRadio.h"
#include "core/model/Format.h"
#include "core/model/FrequencyEntry.h"

#include <optional>

namespace core::test {
namespace {

using radio::test::PtyRadio;

// The entry on its own, over a state record.
class FrequencyEntryTest : public ::testing::Test {
protected:
    // Types the text key by key ("." as the main block's point) and returns
    // the sounds the keys asked for.
    std::vector<Sound> Type(const std::string& text)
    {
        std::vector<Sound> sounds;
        for (char c : text) {
            const EntryOutcome o = entry_.KeypadKey(c == '.' ? keys::Point : static_cast<int>(c));
            EXPECT_FALSE(o.center);
            sounds.push_back(o.sound);
        }
        return sounds;
    }

    // Types the text and confirms it.
    EntryOutcome Enter(const std::string& text)
    {
        Type(text);
        return entry_.KeypadKey(keys::Enter);
    }

    ReceiverState state_;
    FrequencyEntry entry_{state_};
};

TEST_F(FrequencyEntryTest, ConfirmedEntriesAgainstTheRadiosLimits)
{
    struct Case {
        int32_t radioType;
        int32_t freqTune;
        const char* typed;
        Sound sound;
        std::optional<int32_t> center;
    };
    const Case cases[] = {
        // "DJ-X11": 0.5 to 1300 MHz; the centre keeps the offset.
        {1, -12000, "145.5", Sound::Accepted, 145512000},
        {1, -12000, "145.51234", Sound::Accepted, 145524340},
        {1, 0, "0.5", Sound::Accepted, 500000},
        {1, 0, "0.4", Sound::Refused, {}},
        // 1300 MHz is within the entry limits, but with a negative offset
        // the centre lies beyond the radio: nothing changes.
        {1, -12000, "1300", Sound::Refused, {}},
        {1, 0, "99999999999999999999", Sound::Refused, {}},  // never overflows
        // "DX-R8": 0.03 to 34.99999 MHz.
        {0, 0, "35", Sound::Refused, {}},
        {0, 0, "34.999991", Sound::Refused, {}},  // above by a fraction of a hertz
        {0, 0, "34.99999", Sound::Accepted, 34999990},
        {0, 0, "0.029", Sound::Refused, {}},
        {0, -12000, "34.99999", Sound::Refused, {}},
        {0, -12000, "0.03", Sound::Accepted, 42000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        state_.RadioType = c.radioType;
        state_.FreqTune = c.freqTune;
        const EntryOutcome o = Enter(c.typed);
        EXPECT_EQ(o.sound, c.sound);
        EXPECT_EQ(o.center, c.center);
        EXPECT_FALSE(o.unreadable);
        // Accepted or refused, the entry is cleared.
        EXPECT_TRUE(state_.FreqEntry.empty());
        EXPECT_FALSE(state_.PointEntered);
        EXPECT_EQ(state_.FreqTune, c.freqTune);
    }
}

TEST_F(FrequencyEntryTest, DigitsOfBothBlocksAndOtherKeys)
{
    state_.MemoryMode = true;
    // Numeric-pad digits 96..105 and its decimal point 110.
    for (int code : {keys::Pad0 + 4, keys::Pad0 + 3, keys::PadPoint, keys::Pad0 + 2})
        EXPECT_EQ(entry_.KeypadKey(code).sound, Sound::Click);
    EXPECT_EQ(state_.FreqEntry, "43.2");
    EXPECT_FALSE(state_.MemoryMode);
    // Keys that are no digit do nothing and make no sound.
    EXPECT_EQ(entry_.KeypadKey(65).sound, Sound::None);  // "A"
    EXPECT_EQ(entry_.KeypadKey(38).sound, Sound::None);  // arrow up
    EXPECT_EQ(entry_.KeypadKey(keys::Digit0 - 1).sound, Sound::None);
    EXPECT_EQ(state_.FreqEntry, "43.2");
}

TEST_F(FrequencyEntryTest, OnePointOnlyAndBackspaceGivesItBack)
{
    Type("1.2");
    EXPECT_EQ(entry_.KeypadKey(keys::Point).sound, Sound::None);  // a second "." is ignored
    EXPECT_EQ(entry_.KeypadKey(keys::PadPoint).sound, Sound::None);
    EXPECT_EQ(state_.FreqEntry, "1.2");
    EXPECT_EQ(entry_.KeypadKey(keys::Back).sound, Sound::Click);
    EXPECT_EQ(entry_.KeypadKey(keys::Back).sound, Sound::Click);
    EXPECT_EQ(state_.FreqEntry, "1");
    EXPECT_FALSE(state_.PointEntered);
    EXPECT_EQ(entry_.KeypadKey(keys::Point).sound, Sound::Click);
    EXPECT_EQ(state_.FreqEntry, "1.");
    EXPECT_TRUE(state_.PointEntered);
    EXPECT_EQ(entry_.KeypadKey(keys::Escape).sound, Sound::Click);
    EXPECT_TRUE(state_.FreqEntry.empty());
    EXPECT_FALSE(state_.PointEntered);
    EXPECT_EQ(entry_.KeypadKey(keys::Back).sound, Sound::Click);  // nothing left to remove
    EXPECT_TRUE(state_.FreqEntry.empty());
}

TEST_F(FrequencyEntryTest, EnterWithNothingOrZeroIsSilent)
{
    state_.RadioType = 1;
    for (const char* typed : {"", "0", "00.000"}) {
        SCOPED_TRACE(typed);
        const EntryOutcome o = Enter(typed);
        EXPECT_EQ(o.sound, Sound::None);
        EXPECT_FALSE(o.center);
        EXPECT_FALSE(o.unreadable);
        EXPECT_TRUE(state_.FreqEntry.empty());
        EXPECT_FALSE(state_.PointEntered);
    }
}

TEST_F(FrequencyEntryTest, ALonePointIsUnreadableAndKept)
{
    const EntryOutcome o = Enter(".");
    EXPECT_TRUE(o.unreadable);
    EXPECT_EQ(o.sound, Sound::None);
    EXPECT_FALSE(o.center);
    EXPECT_EQ(entry_.UnreadableMessage(), "\".\" is not a frequency in MHz.");
    EXPECT_EQ(state_.FreqEntry, ".");
    EXPECT_TRUE(state_.PointEntered);
    entry_.KeypadKey(keys::Back);
    EXPECT_TRUE(state_.FreqEntry.empty());
    EXPECT_FALSE(state_.PointEntered);
}

// Through the receiver, with its radio on a pseudo-terminal: the confirmed
// entry retunes the radio, the sounds play, an unreadable entry is shown.
class FrequencyEntryInTheReceiver : public CoreTest {
protected:
    // A receiver of the given radio type with its radio set up and idle, and
    // the three sounds beside the program.
    Receiver& WithRadio(int radioType, int32_t freqTune, int32_t center = 7100000)
    {
        MakeBeeps();
        WriteIni("[Wave]\nFreqTune=" + std::to_string(freqTune) +
                 "\nFreqCenter=" + std::to_string(center) + "\n" + rig_.Ini(radioType));
        Receiver& rx = Started();
        rig_.Open(rx);
        sounds_.clear();
        return rx;
    }

    // The link takes one command at a time: wait until the last has its "OK".
    void Idle()
    {
        EXPECT_TRUE(RunUntil([&] { return !core::test::ReceiverProbe::RadioBusy(*rx_); }));
    }

    void Type(const std::string& text)
    {
        for (char c : text)
            rx_->KeypadKey(c == '.' ? keys::Point : static_cast<int>(c));
    }

    std::vector<std::string> NewLines() { return rig_.NewLines(); }

    RadioRig rig_;
    PtyRadio& radio_ = rig_.radio;
    std::size_t& setupLines_ = rig_.linesAfterSetup;
};

TEST_F(FrequencyEntryInTheReceiver, DjX11EntryTunesToTheHertz)
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
    ASSERT_TRUE(radio_.WaitForLines(setupLines_ + 1));
    EXPECT_EQ(NewLines(), (std::vector<std::string>{"AL~FW00145512000"}));
    EXPECT_STREQ(FormatFrequency(static_cast<int32_t>(ReceiveFrequency())).data(), " 145.500.000");
}

TEST_F(FrequencyEntryInTheReceiver, TheRadiosGridRemainderMovesIntoTheOffset)
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

TEST_F(FrequencyEntryInTheReceiver, DxR8RefusedEntriesWriteNothing)
{
    Receiver& rx = WithRadio(0, 0);
    Type("35");
    rx.KeypadKey(keys::Enter);
    EXPECT_EQ(sounds_.back(), 3);
    EXPECT_EQ(S().FreqCenter, 7100000);
    EXPECT_TRUE(NewLines().empty());

    Type("34.99999");
    rx.KeypadKey(keys::Enter);
    EXPECT_EQ(sounds_.back(), 2);
    EXPECT_EQ(S().FreqCenter, 34999990);
    ASSERT_TRUE(radio_.WaitForLines(setupLines_ + 1));
    EXPECT_EQ(NewLines(), (std::vector<std::string>{"AL~RW_RXF34999990"}));
    Idle();

    // With the offset at -12 kHz the same entry needs a centre beyond the
    // radio: nothing changes, FreqCenter included.
    S().FreqTune = -12000;
    Type("34.99999");
    rx.KeypadKey(keys::Enter);
    EXPECT_EQ(sounds_.back(), 3);
    EXPECT_EQ(S().FreqCenter, 34999990);
    EXPECT_EQ(S().FreqTune, -12000);
    Type("0.03");
    rx.KeypadKey(keys::Enter);
    EXPECT_EQ(S().FreqCenter, 42000);
    ASSERT_TRUE(radio_.WaitForLines(setupLines_ + 2));
    EXPECT_EQ(NewLines().back(), "AL~RW_RXF00042000");
}

TEST_F(FrequencyEntryInTheReceiver, ALonePointIsReportedWithoutABeep)
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
    EXPECT_TRUE(NewLines().empty());
}

TEST_F(FrequencyEntryInTheReceiver, MissingSoundFilesAreSilence)
{
    Receiver& rx = Started();
    Type("7.1");
    rx.KeypadKey(keys::Enter);
    EXPECT_TRUE(sounds_.empty());
    EXPECT_EQ(ReceiveFrequency(), 7100000);  // no radio port: tuned all the same
    EXPECT_EQ(core::test::ReceiverProbe::BeepFile(rx, Sound::Refused), Dir() / "beep3.wav");
}

}  // namespace
}  // namespace core::test
