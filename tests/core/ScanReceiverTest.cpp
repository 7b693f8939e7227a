// The scanner inside the receiver: the memory list's channels, the pseudo-
// terminal radio for the channels outside the band, the operator's tuning,
// the lock-out file, the log and the hits' recordings.

#include "CoreFixture.h"
#include "LineClient.h"

#include "core/ScanSession.h"
#include "core/model/KeyCodes.h"
#include "memory/Lockouts.h"
#include "tests/core/ScanAir.h"

namespace core::test {
namespace {

constexpr int32_t kCenter = 5012000;

class ScanReceiverTest : public CoreTest {
protected:
    // The receiver with the memory list `list` and, when `radio`, the
    // pseudo-terminal radio, answering only when told.
    Receiver& StartWith(const std::string& list, bool radio)
    {
        WriteFile(Dir() / "MemoryList.txt", list);
        if (radio)
            WriteIni(rig_.Ini());
        Receiver& rx = Started();
        // Blocks are counted exactly here; the IQ balance's 10.7 ms would move
        // a station's end across a block (ScannerTest looks at the scan with it).
        rx.SetInputCorrections(0, false, 0, 0);
        if (radio) {
            rig_.Open(rx);
            rig_.radio.SetAutoAnswer(false);
        }
        return rx;
    }

    // Blocks of the band the radio is tuned to, through the receiver's block path.
    void Feed(Air& air, int blocks)
    {
        for (int b = 0; b < blocks; ++b, ++block_)
            ReceiverProbe::HandleBlock(*rx_, air.Block(S().FreqCenter, block_));
    }

    ScanPhase Phase() { return rx_->Scan().Scan().Phase(); }

    RadioRig rig_;
    int64_t block_ = 0;
};

// Catches: a channel outside the band checked before the radio said "OK"
// (or in the block that arrives with it), more than one command per retune,
// a radio command for a channel inside the band, no hit where the radio went.
TEST_F(ScanReceiverTest, ChannelsOutsideTheBandWaitForTheRadiosOk)
{
    Receiver& rx = StartWith("5.000000,Tower,0\n5.070000,Far,0\n", true);
    Air air{Dir(), {{5070000, Mode::Am, 0, 400}}, 400};
    ASSERT_EQ(rx.Scan().Start(ScanOptions{}), "");

    // The band is checked (nothing on), then the radio asked once.
    Feed(air, 1);
    EXPECT_EQ(Phase(), ScanPhase::Retuning);
    ASSERT_TRUE(rig_.radio.WaitForLines(rig_.linesAfterSetup + 1));
    const int32_t farCenter = S().FreqCenter;
    // No answer: blocks pass, nothing is checked, no second command.
    Feed(air, 5);
    EXPECT_EQ(Phase(), ScanPhase::Retuning);
    EXPECT_EQ(rig_.NewLines().size(), 1u);

    // "OK": the block it arrives with and one more pass before the check.
    rig_.radio.AnswerNew();
    std::vector<int32_t> settled;
    QObject::connect(&rx, &Receiver::RadioSettled,
                     [&settled](int32_t center) { settled.push_back(center); });
    ASSERT_TRUE(RunUntil([&] {
        Feed(air, 1);
        return !settled.empty();
    }));
    EXPECT_EQ(settled, std::vector<int32_t>{farCenter});
    EXPECT_EQ(Phase(), ScanPhase::Settling);
    Feed(air, 1);
    EXPECT_EQ(Phase(), ScanPhase::Searching);
    Feed(air, 1);
    EXPECT_EQ(Phase(), ScanPhase::Holding);
    EXPECT_EQ(int64_t(S().FreqCenter) + S().FreqTune, 5070000);
    EXPECT_EQ(S().MemName, "Far");
    // Tuned to it by FreqTune alone: the one command was the retune.
    EXPECT_EQ(rig_.NewLines().size(), 1u);
}

// Catches: a scan that goes on after the operator tuned (and retunes the
// radio under the operator's hands) or a raw file began to play, or one
// stopped by its own tuning.
TEST_F(ScanReceiverTest, AnyTuningByTheOperatorStopsTheScan)
{
    const std::vector<std::pair<const char*, std::function<void(Receiver&)>>> tunings = {
        {"step", [](Receiver& rx) { rx.StepTune(1); }},
        {"spectrum click", [](Receiver& rx) { rx.SpectrumPressed(PointerButton::Left, 1000); }},
        {"remote frequency", [](Receiver& rx) { rx.TuneTo(5010000); }},
        {"band button", [](Receiver& rx) { rx.MoveBand(1); }},
        {"memory recall", [](Receiver& rx) { rx.Memory().Select(0); }},
        {"keypad",
         [](Receiver& rx) {
             for (int key : {keys::Digit0 + 7, keys::Enter})
                 rx.KeypadKey(key);
         }},
        {"raw file plays",
         [this](Receiver& rx) { rx.OpenRawFile(MakeRawFile(Dir(), kCenter, 20)); }},
    };
    Receiver& rx = StartWith("5.000000,Tower,0\n5.001000,Near,1\n", false);
    Air air{Dir(), {{5000000, Mode::Am, 0, 100}}, 100};
    for (const auto& [name, tune] : tunings) {
        SCOPED_TRACE(name);
        rx.Memory().Select(-1);
        S().FreqCenter = kCenter;
        ASSERT_EQ(rx.Scan().Start(ScanOptions{}), "");
        Feed(air, 2);
        EXPECT_EQ(Phase(), ScanPhase::Holding);  // its own tuning left it running
        tune(rx);
        EXPECT_FALSE(rx.Scan().Running());
        EXPECT_FALSE(S().ScanRunning);
        block_ = 0;
    }
    EXPECT_FALSE(rx.Scan().Start(ScanOptions{}).isEmpty());  // the file still plays
}

// Catches: a lock-out that does not outlast the scan, or one written into
// the memory list; a log without its header or its hit; a hit not recorded
// under its channel's name; channels outside the band retuned to without a
// radio.
TEST_F(ScanReceiverTest, LockOutLogAndRecordingWithoutARadio)
{
    const std::string list = "5.000000,Tower,0\n5.015000,Voice,4\n5.070000,Far,0\n";
    Receiver& rx = StartWith(list, false);
    Air air{Dir(), {{5000000, Mode::Am, 0, 30}, {5015000, Mode::Usb, 0, 300}}, 300};
    ASSERT_EQ(rx.Scan().Start({.hangSeconds = 0.5, .recordHits = true}), "");
    Feed(air, 1);
    EXPECT_EQ(S().MemName, "Tower");
    // Quiet from block 30, moved on 10 blocks later, to the voice.
    Feed(air, 40);
    EXPECT_EQ(S().MemName, "Voice");
    EXPECT_EQ(S().RxMode, Mode::Usb);
    ASSERT_EQ(rx.Scan().RecentHits().size(), 1u);
    EXPECT_EQ(rx.Scan().RecentHits().front().blocks, 30);

    rx.Scan().LockOut();
    Feed(air, 5);
    EXPECT_NE(Phase(), ScanPhase::Holding);
    // The channel outside the band is left out, with a notice.
    EXPECT_FALSE(rx.Scan().Notice().isEmpty());
    EXPECT_EQ(S().FreqCenter, kCenter);
    rx.Scan().Stop();
    EXPECT_EQ(ReadFile(Dir() / "MemoryList.txt"), list);
    EXPECT_EQ(memory::LoadLockouts(rx.Scan().LockoutFile()),
              (std::vector<memory::Channel>{{5015000, "Voice", 4}}));
    // A new scan keeps the mark.
    ASSERT_EQ(rx.Scan().Start(ScanOptions{}), "");
    EXPECT_TRUE(rx.Scan().Scan().Channels()[1].lockedOut);

    const std::string log = ReadFile(Dir() / "ScanLog.csv");
    EXPECT_NE(log.find(",5000000,\"Tower\",AM,1.50,"), std::string::npos) << log;
    EXPECT_NE(log.find(",5015000,\"Voice\",USB,"), std::string::npos) << log;
    int tower = 0;
    for (const auto& entry : std::filesystem::directory_iterator(Dir() / "Wav"))
        tower += entry.path().filename().string().ends_with("_Tower.wav");
    EXPECT_EQ(tower, 1);
}

// Catches: a scan command taken apart wrongly ("MEM" read as a VFO), a
// scan that does not start or stop when a client asks, a VFO scan that is no
// band search. Over a real socket: Debian's Hamlib 4.5 rigctl refuses "g" for
// its NET rigctl model before sending it (that model announces no scan
// functions, and its "\dump_state" has no field to announce them), so the
// lines are the ones its backend would send.
TEST_F(ScanReceiverTest, ARemoteClientStartsAndStopsTheScan)
{
    Receiver& rx = StartWith("5.000000,Tower,0\n5.015000,Voice,4\n", false);
    Remote().UseForThisRun(0);
    ASSERT_TRUE(Remote().Listening());
    LineClient client(Remote().Port());
    const struct {
        const char* line;
        const char* reply;
        bool running;
        ScanKind kind;
    } cases[] = {
        {"g MEM 0", "RPRT 0\n", true, ScanKind::Memory},
        {"g STOP 0", "RPRT 0\n", false, ScanKind::Memory},
        {"\\scan VFO 0", "RPRT 0\n", true, ScanKind::Band},
        {"g VFOA STOP 0", "RPRT 0\n", false, ScanKind::Band},
        {"g PRIO 0", "RPRT -11\n", false, ScanKind::Band},
        {"g VFO 0", "RPRT 0\n", true, ScanKind::Band},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(client.Ask(c.line), c.reply);
        EXPECT_EQ(rx.Scan().Running(), c.running);
        EXPECT_EQ(rx.Scan().Scan().Options().kind, c.kind);
    }
    EXPECT_EQ(rx.Scan().Scan().Channels().size(), 9u);
    // A client's frequency is the operator's tuning: the scan ends.
    EXPECT_EQ(client.Ask("F 5010000"), "RPRT 0\n");
    EXPECT_FALSE(rx.Scan().Running());
}

}  // namespace
}  // namespace core::test
