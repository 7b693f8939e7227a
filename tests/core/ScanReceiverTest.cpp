// The scanner inside the receiver: the memory list's channels, the pseudo-
// terminal radio for the channels outside the band, the operator's tuning,
// the lock-out file, the log and the hits' recordings.

#include "CoreFixture.h"
#include "HamlibRadios.h"
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

// Catches: a band the radio never acknowledged (off with its port open)
// judged against the band the radio stayed in, which logged the station
// there under the channel the unreached band would have held in its place.
TEST_F(ScanReceiverTest, ABandTheSilentRadioNeverReachedIsNotJudged)
{
    int32_t lo = 0, hi = 0;
    Scanner::PassBandOf(Mode::Am, lo, hi);
    const int32_t farOffset = -24000 + Scanner::kEdgeGuardHz + 100 - lo;
    Receiver& rx = StartWith("5.070000,Far,0\n", true);
    S().FreqCenter = kCenter;
    Air air{Dir(), {{kCenter + farOffset, Mode::Am, 0, 200}}, 200};
    ASSERT_EQ(rx.Scan().Start(ScanOptions{}), "");
    // The radio stays where it was: every block is of its band.
    auto feedAsTheRadioIs = [&](int blocks) {
        for (int b = 0; b < blocks; ++b, ++block_)
            ReceiverProbe::HandleBlock(rx, air.Block(kCenter, block_));
    };
    feedAsTheRadioIs(1);
    ASSERT_EQ(Phase(), ScanPhase::Retuning);
    EXPECT_NE(S().FreqCenter, kCenter);  // the centre moved with the command
    feedAsTheRadioIs(Scanner::kRetuneTimeoutBlocks + 30);
    EXPECT_NE(Phase(), ScanPhase::Holding);
    EXPECT_TRUE(rx.Scan().RecentHits().empty());
    EXPECT_EQ(rx.Scan().Notice(), "The radio did not acknowledge a retune: the channels it was to "
                                  "bring in are not judged until it does.");
    rx.Scan().Stop();
    EXPECT_FALSE(std::filesystem::exists(rx.Scan().LogFile()));
}

// Catches: with rigctld stopped mid-retune, the band the command named
// judged against the band the radio stayed in; once rigctld is back and the
// radio acknowledges the retune it owed, that band never judged.
TEST_F(ScanReceiverTest, ARetuneLostWithRigctldIsJudgedOnlyOnceTheRadioIsBack)
{
    int32_t lo = 0, hi = 0;
    Scanner::PassBandOf(Mode::Am, lo, hi);
    const int32_t farOffset = -24000 + Scanner::kEdgeGuardHz + 100 - lo;
    radio::test::Rigctld server;
    ASSERT_TRUE(server.Start());
    WriteFile(Dir() / "MemoryList.txt", "5.070000,Far,0\n");
    WriteIni("[IO]\nRadioType=2\n[Wave]\nFreqCenter=" + std::to_string(kCenter) +
             "\n[Hamlib]\nModel=2\nPort=" + server.Address() + "\n");
    Receiver& rx = Started();
    std::vector<int32_t> settled;
    QObject::connect(&rx, &Receiver::RadioSettled,
                     [&settled](int32_t center) { settled.push_back(center); });
    ASSERT_TRUE(rx.OpenRadio());
    ASSERT_TRUE(RunUntil([&] { return rx.RadioLinkOk() && !settled.empty(); }));
    // Both stations on throughout: the blocks may wrap round.
    Air air{Dir(), {{kCenter + farOffset, Mode::Am, 0, 100}, {5070000, Mode::Am, 0, 100}}, 100};
    auto feed = [&](int32_t center) {
        ReceiverProbe::HandleBlock(rx, air.Block(center, block_++ % air.blocks));
    };

    ASSERT_EQ(rx.Scan().Start(ScanOptions{}), "");
    server.Stop();
    feed(kCenter);
    ASSERT_EQ(Phase(), ScanPhase::Retuning);
    const int32_t farCenter = S().FreqCenter;
    // The radio stays where it was.
    for (int b = 0; b < Scanner::kRetuneTimeoutBlocks + 30; ++b)
        feed(kCenter);
    EXPECT_NE(Phase(), ScanPhase::Holding);
    EXPECT_TRUE(rx.Scan().RecentHits().empty());

    // Back, the radio is sent what it owes and acknowledges it: from then on
    // its band is the one the centre names.
    settled.clear();
    ASSERT_TRUE(server.Start());
    ASSERT_TRUE(RunUntil([&] {
        feed(settled.empty() ? kCenter : S().FreqCenter);
        return Phase() == ScanPhase::Holding;
    }));
    EXPECT_NE(std::find(settled.begin(), settled.end(), farCenter), settled.end());
    EXPECT_EQ(S().MemName, "Far");
    EXPECT_EQ(ReceiveFrequency(), 5070000);
    EXPECT_TRUE(rx.Scan().RecentHits().empty());  // the first hit is still under way
}

// Catches: a channel's name left beside a frequency that is not the
// channel's: after the scan retuned the radio, and after "Stop" then.
TEST_F(ScanReceiverTest, TheDisplayNamesAChannelOnlyBesideItsFrequency)
{
    Receiver& rx = StartWith("5.000000,Tower,0\n5.070000,Far,0\n", true);
    S().FreqCenter = kCenter;
    Air air{Dir(), {{5000000, Mode::Am, 0, 3}}, 40};
    auto nameFitsFrequency = [&] {
        const int64_t shown = int64_t(S().FreqCenter) + S().FreqTune;
        return !S().MemoryMode || (S().MemName == "Tower" && shown == 5000000) ||
               (S().MemName == "Far" && shown == 5070000);
    };
    ASSERT_EQ(rx.Scan().Start({.hangSeconds = 0}), "");
    while (Phase() != ScanPhase::Retuning && block_ < 20) {
        Feed(air, 1);
        EXPECT_TRUE(nameFitsFrequency()) << S().MemName;
    }
    ASSERT_EQ(Phase(), ScanPhase::Retuning);
    EXPECT_EQ(rx.Scan().RecentHits().size(), 1u);
    rx.Scan().Stop();
    EXPECT_TRUE(nameFitsFrequency()) << S().MemName;
}

// Catches: the end of a hit stopping the operator's own recording, started
// after the operator had stopped the hit's; a hit's recording that outlasts
// the hit.
TEST_F(ScanReceiverTest, AHitStopsOnlyTheRecordingItStarted)
{
    Receiver& rx = StartWith("5.000000,Tower,0\n5.015000,Voice,4\n", false);
    S().FreqCenter = kCenter;
    Air air{Dir(), {{5000000, Mode::Am, 0, 10}, {5015000, Mode::Usb, 20, 60}}, 80};
    ASSERT_EQ(rx.Scan().Start({.hangSeconds = 0, .recordHits = true}), "");
    Feed(air, 1);
    EXPECT_TRUE(rx.WaveRecording());
    Feed(air, 15);
    EXPECT_FALSE(rx.WaveRecording());  // ended with Tower's hit
    Feed(air, 6);
    ASSERT_EQ(S().MemName, "Voice");
    ASSERT_TRUE(rx.WaveRecording());
    // The operator ends the hit's recording and starts one of their own.
    rx.WaveRecord(false);
    ASSERT_TRUE(rx.WaveRecord(true));
    Feed(air, 50);
    EXPECT_EQ(rx.Scan().RecentHits().size(), 2u);
    EXPECT_TRUE(rx.WaveRecording());
    rx.WaveRecord(false);
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

// Catches: lock-out marks that could not be read replaced by the next
// change (a save of that mark alone), a memory scan that ignores them and
// visits the channels locked out, the file named more than once.
TEST_F(ScanReceiverTest, LockOutMarksThatCannotBeReadAreNeverSavedOver)
{
    // Both stop root too: a folder, and a file with more lines than a list
    // may have, which a save could replace.
    std::string tooLong;
    for (std::size_t i = 0; i <= memory::kMaxChannels; ++i)
        tooLong += "5015000,4,Voice\n";
    const std::filesystem::path file = Dir() / "MemoryLockout.txt";
    const std::vector<std::pair<const char*, std::function<void()>>> unreadable = {
        {"a folder", [&] { std::filesystem::create_directory(file); }},
        {"too many lines", [&] { WriteFile(file, tooLong); }},
    };
    for (const auto& [name, make] : unreadable) {
        SCOPED_TRACE(name);
        std::filesystem::remove_all(file);
        make();
        Receiver& rx = StartWith("5.000000,Tower,0\n5.015000,Voice,4\n", false);
        const auto named =
            std::count_if(startErrors_.begin(), startErrors_.end(), [&](const ErrorShown& e) {
                return e.message.find(file.string()) != std::string::npos;
            });
        EXPECT_EQ(named, 1);
        const QString refusal = rx.Scan().Start(ScanOptions{});
        EXPECT_TRUE(refusal.contains(QString::fromStdString(file.string())))
            << refusal.toStdString();
        EXPECT_FALSE(rx.Scan().Running());
        EXPECT_FALSE(rx.Scan().Lockouts().Lock({5000000, "Tower", 0}).isEmpty());
        EXPECT_FALSE(rx.Scan().Lockouts().Unlock({5015000, "Voice", 4}).isEmpty());
        if (std::filesystem::is_regular_file(file))
            EXPECT_EQ(ReadFile(file), tooLong);
        else
            EXPECT_TRUE(std::filesystem::is_directory(file));
        // A band search has no marks to keep.
        const ScanOptions band{
            .kind = ScanKind::Band, .bandStart = 4990000, .bandStop = 5030000, .bandStep = 5000};
        EXPECT_EQ(rx.Scan().Start(band), "");
        rx.Scan().Stop();
    }
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
