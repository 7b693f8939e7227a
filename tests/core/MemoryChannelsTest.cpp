// The memory channels in the running receiver: recall through the radio on a
// pseudo-terminal, the refusals that change nothing, the edits saved at once,
// and a channel surviving the program being killed.

#include "CoreFixture.h"

#include <QProcess>

#include <algorithm>
#include <string>
#include <vector>

#include <signal.h>

namespace core::test {
namespace {

class MemoryChannelsTest : public CoreTest {
protected:
    // A receiver whose data folder holds `list` as "MemoryList.txt".
    Receiver& StartedWith(const std::string& list, const std::string& ini = "")
    {
        WriteFile(Dir() / "MemoryList.txt", list);
        if (!ini.empty())
            WriteIni(ini);
        return Started();
    }
    MemoryChannels& M() { return rx_->Memory(); }
    std::string ListFile() { return ReadFile(Dir() / "MemoryList.txt"); }

    // The receiver state a recall may change.
    struct Tuned {
        int32_t FreqCenter, FreqTune;
        Mode RxMode;
        IfChoice IFBW;
        AfChoice AFLPF;
        int32_t IFWidth, SSBShift;
        bool MemoryMode;
        std::string MemName;
        bool operator==(const Tuned&) const = default;
    };
    Tuned Now()
    {
        return {S().FreqCenter, S().FreqTune, S().RxMode,     S().IFBW,   S().AFLPF,
                S().IFWidth,    S().SSBShift, S().MemoryMode, S().MemName};
    }

    RadioRig rig_;
};

const std::string kList = "7.100005,Net,3\r\n"    // 0: LSB, a units digit
                          "14.200000,DX,4\r\n"    // 1: USB
                          "50.000000,Six,0\r\n"   // 2: beyond what a DX-R8 tunes
                          "3.600000,Odd,9\r\n"    // 3: a mode code outside 0..4
                          "-0.500000,Neg,1\r\n";  // 4: a negative frequency

TEST_F(MemoryChannelsTest, RecallRetunesTheRadioPressesTheModeAndShowsTheName)
{
    Receiver& rx = StartedWith(kList, rig_.Ini() + "[Wave]\nFreqCenter=5012000\nFreqTune=-12000\n");
    rig_.Open(rx);
    std::vector<std::pair<bool, std::string>> shown;
    QObject::connect(&rx, &Receiver::DisplayChanged,
                     [&] { shown.emplace_back(S().MemoryMode, S().MemName); });

    EXPECT_TRUE(M().Select(0));
    // 7100005 + 12000 to the radio's 10 Hz grid; the 5 Hz go into FreqTune.
    EXPECT_EQ(rig_.NewLines(), (std::vector<std::string>{"AL~RW_RXF07112000"}));
    EXPECT_EQ(S().FreqCenter, 7112000);
    EXPECT_EQ(S().FreqTune, -11995);
    EXPECT_EQ(ReceiveFrequency(), 7100005);
    // LSB pressed with its presets: IF "3.0 k", AF "3.0 k".
    EXPECT_EQ(S().RxMode, Mode::Lsb);
    EXPECT_EQ(S().IFBW, IfChoice::Khz3);
    EXPECT_EQ(S().AFLPF, AfChoice::Khz3);
    EXPECT_EQ(S().SSBShift, -1500);
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back(), std::make_pair(true, std::string("Net")));

    // The selected row again: nothing. Another row and back: both recall.
    auto idle = [&] { return RunUntil([&] { return !core::test::ReceiverProbe::RadioBusy(rx); }); };
    ASSERT_TRUE(idle());
    EXPECT_FALSE(M().Select(0));
    EXPECT_TRUE(M().Select(1));
    EXPECT_EQ(S().RxMode, Mode::Usb);
    EXPECT_EQ(S().MemName, "DX");
    ASSERT_TRUE(idle());
    EXPECT_TRUE(M().Select(0));
    ASSERT_TRUE(idle());
    EXPECT_EQ(rig_.NewLines(), (std::vector<std::string>{"AL~RW_RXF07112000", "AL~RW_RXF14211990",
                                                         "AL~RW_RXF07111990"}));
    EXPECT_EQ(ReceiveFrequency(), 7100005);

    // Any tuning leaves the channel.
    rx.StepTune(1);
    EXPECT_FALSE(S().MemoryMode);
}

TEST_F(MemoryChannelsTest, ARecallTheRadioRefusesChangesNothing)
{
    Receiver& rx = StartedWith(kList, rig_.Ini());
    rig_.Open(rx);
    rx.SelectMode(Mode::Am);
    const Tuned before = Now();
    for (int row : {2, 4}) {
        SCOPED_TRACE(row);
        EXPECT_FALSE(M().Select(row));
        EXPECT_EQ(Now(), before);
        EXPECT_EQ(M().Selected(), row);  // the row stays selected
    }
    EXPECT_TRUE(rig_.NewLines().empty());

    // An unknown mode code: the radio retunes, the mode stays as it is.
    EXPECT_TRUE(M().Select(3));
    EXPECT_EQ(ReceiveFrequency(), 3600000);
    EXPECT_EQ(S().RxMode, Mode::Am);
    EXPECT_EQ(S().IFBW, before.IFBW);
    EXPECT_TRUE(S().MemoryMode);
    EXPECT_EQ(S().MemName, "Odd");
}

TEST_F(MemoryChannelsTest, NoRecallWhileARawFileRecordsOrPlays)
{
    Receiver& rx = StartedWith(kList, rig_.Ini());
    rig_.Open(rx);
    rx.OpenRawFile(MakeRawFile(Dir(), 7050000, 5));
    ASSERT_TRUE(rx.RawPlaying());
    Tuned before = Now();
    EXPECT_FALSE(M().Select(0));
    EXPECT_EQ(Now(), before);
    EXPECT_TRUE(rig_.NewLines().empty());
    rx.Play(false);

    rx.Rec(true);
    ASSERT_TRUE(rx.RawRecording());
    before = Now();
    const std::size_t lines = rig_.NewLines().size();
    EXPECT_FALSE(M().Select(1));
    EXPECT_EQ(Now(), before);
    EXPECT_EQ(rig_.NewLines().size(), lines);
    rx.Rec(false);
}

TEST_F(MemoryChannelsTest, EveryAcceptedChangeReachesTheFileAsItWasRead)
{
    // DX-R8 at 7.1 MHz, LSB.
    StartedWith(kList, "[Wave]\nFreqCenter=7112000\nFreqTune=-12000\nRxMode=3\n");
    MemoryDraft add = M().DraftForAdd();
    EXPECT_EQ(add.index, -1);
    EXPECT_EQ(add.frequency, "7.1");
    EXPECT_EQ(add.name, "");
    EXPECT_EQ(add.mode, Mode::Lsb);
    add.frequency = "7.1000049";
    add.name = QString::fromUtf8("Gr\xc3\xb6\xc3\x9f"
                                 "e");
    EXPECT_TRUE(M().Commit(add).Accepted());
    EXPECT_EQ(ListFile(), kList + "7.100005,Gr\xc3\xb6\xc3\x9f"
                                  "e,3\r\n");

    // An edit of row 3 that leaves the name as shown keeps the bytes and the
    // other rows; the mode code outside 0..4 is offered as "AM".
    std::optional<MemoryDraft> edit = M().DraftForEdit(3);
    ASSERT_TRUE(edit);
    EXPECT_EQ(edit->frequency, "3.6");
    EXPECT_EQ(edit->mode, Mode::Am);
    edit->frequency = " 3.65 ";  // blanks around the number are dropped
    EXPECT_TRUE(M().Commit(*edit).Accepted());
    EXPECT_EQ(M().Channels()[3], (memory::Channel{3650000, "Odd", 0}));

    // A Latin-1 name from a foreign file is shown as Latin-1 and goes back
    // byte for byte when it is left as shown.
    WriteFile(Dir() / "MemoryList.txt", "7.1,Caf\xe9,1\n");
    M().Load();
    EXPECT_EQ(MemoryChannels::NameCell(M().Channels()[0]), QString::fromUtf8("Caf\xc3\xa9"));
    edit = M().DraftForEdit(0);
    edit->mode = Mode::Cw;
    EXPECT_TRUE(M().Commit(*edit).Accepted());
    EXPECT_EQ(ListFile(), "7.100000,Caf\xe9,2\n");

    EXPECT_TRUE(M().Delete(0).isEmpty());
    EXPECT_EQ(ListFile(), "");
}

TEST_F(MemoryChannelsTest, TheDialogsRefusalsChangeNothing)
{
    StartedWith(kList);
    MemoryDraft d = M().DraftForAdd();
    for (const char* frequency : {"7,1", "-7.1", "7.1.2", "abc", "", "+7.1", "2147.483648"}) {
        d.frequency = frequency;
        const MemoryCommit result = M().Commit(d);
        EXPECT_FALSE(result.Accepted()) << frequency;
        EXPECT_TRUE(result.refusal.contains("MHz")) << frequency;
    }
    d.frequency = "2147.483647";
    for (const char* name : {"Net, east", "two\nlines"}) {
        d.name = name;
        EXPECT_FALSE(M().Commit(d).Accepted()) << name;
    }
    EXPECT_EQ(M().Count(), 5);
    EXPECT_EQ(ListFile(), kList);
    d.name = "top";
    EXPECT_TRUE(M().Commit(d).Accepted());
    EXPECT_EQ(M().Channels().back().hz, 2147483647);
}

TEST_F(MemoryChannelsTest, AFailedSaveNamesTheFileAndExitTriesAgain)
{
    Receiver& rx = StartedWith(kList);
    // The file's place becomes a folder: no file can be written there.
    std::filesystem::remove(Dir() / "MemoryList.txt");
    std::filesystem::create_directory(Dir() / "MemoryList.txt");
    MemoryDraft d = M().DraftForAdd();
    const MemoryCommit result = M().Commit(d);
    EXPECT_TRUE(result.Accepted());
    EXPECT_TRUE(result.saveError.contains("MemoryList.txt")) << result.saveError.toStdString();
    EXPECT_EQ(M().Count(), 6);  // kept in the list

    EXPECT_FALSE(rx.Shutdown({}));
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_NE(errors_[0].message.find("MemoryList.txt"), std::string::npos);
    EXPECT_TRUE(errors_[0].beep);

    // Once the place is free again the exit saves what was kept.
    std::filesystem::remove(Dir() / "MemoryList.txt");
    EXPECT_TRUE(rx.Shutdown({}));
    const std::string text = ListFile();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 6);
}

// A list that is there but could not be read whole loaded as empty, and the
// next "OK" saved only the new channel over it.
TEST_F(MemoryChannelsTest, AListThatCouldNotBeReadWholeIsToldOnceAndNeverSavedOver)
{
    const std::string tooLarge(memory::kMaxListBytes + 1, '\n');
    Receiver& rx = StartedWith(tooLarge);
    const std::string file = (Dir() / "MemoryList.txt").string();
    EXPECT_EQ(std::count_if(startErrors_.begin(), startErrors_.end(),
                            [&](const ErrorShown& e) {
                                return e.message.find(file + ": ") != e.message.npos;
                            }),
              1);
    EXPECT_EQ(M().Count(), 0);
    EXPECT_FALSE(M().Commit(M().DraftForAdd()).Accepted());
    EXPECT_TRUE(rx.Shutdown({}));
    EXPECT_TRUE(ListFile() == tooLarge);
}

// A read-only program folder: the list installed beside the program was
// never read. It gives the channels until the data folder has its own.
TEST_F(MemoryChannelsTest, TheListBesideTheProgramCountsUntilTheDataFolderHasOne)
{
    ReceiverPaths paths = DefaultPaths();
    paths.dataDirectory = Dir() / "user";
    std::filesystem::create_directories(paths.dataDirectory);
    WriteFile(Dir() / "MemoryList.txt", kList);
    Make(paths).Start();
    EXPECT_EQ(M().Count(), 5);
    ASSERT_TRUE(M().Commit(M().DraftForAdd()).Accepted());
    EXPECT_EQ(ReadFile(Dir() / "MemoryList.txt"), kList);
    EXPECT_EQ(ReadFile(paths.dataDirectory / "MemoryList.txt"), kList + "5.000000,,0\r\n");
    WriteFile(Dir() / "MemoryList.txt", "7.100000,Installed,3\n");
    Make(paths).Start();
    EXPECT_EQ(M().Count(), 6);
}

// A channel added, then the program killed outright: the next start has it.
TEST_F(MemoryChannelsTest, AChannelAddedSurvivesSigkill)
{
    QProcess helper;
    helper.start(QString::fromStdString(TESMAR_MEMORY_KILL_HELPER),
                 {QString::fromStdString(Dir().string())});
    ASSERT_TRUE(helper.waitForStarted());
    QByteArray said;
    ASSERT_TRUE(RunUntil([&] {
        said += helper.readAllStandardOutput();
        return said.contains("added") || helper.state() == QProcess::NotRunning;
    }));
    ASSERT_TRUE(said.contains("added")) << said.toStdString();
    ::kill(static_cast<pid_t>(helper.processId()), SIGKILL);
    ASSERT_TRUE(helper.waitForFinished());
    EXPECT_EQ(helper.exitStatus(), QProcess::CrashExit);

    Started();
    ASSERT_EQ(M().Count(), 1);
    EXPECT_EQ(M().Channels()[0], (memory::Channel{7100005, "Killed", 3}));
}

}  // namespace
}  // namespace core::test
