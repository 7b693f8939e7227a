#include "LinkFixture.h"

#include "core/model/ReceiverState.h"
#include "radio/RadioControl.h"
#include "tests/support/TempDir.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QThread>

#include <chrono>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace radio::test {
namespace {

// The command set bound to the application's real receiver state.
class Control : public LinkFixture {
protected:
    void SetUp() override
    {
        LinkFixture::SetUp();
        QObject::connect(&control, &RadioControl::StartRadioFinished, [this] { ++startDone; });
    }

    // Blocks at their pace, a block period apart with the event loop running
    // in between, until done() holds; false after maxBlocks.
    bool PollAtBlockPace(const std::function<bool()>& done, int maxBlocks = 200)
    {
        for (int block = 0; block < maxBlocks; ++block) {
            if (done())
                return true;
            const QDeadlineTimer period(RadioLink::kBlockPeriodMs, Qt::PreciseTimer);
            while (!period.hasExpired()) {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
                QThread::usleep(500);
            }
            Step([this] { link.PollRadioPort(); });
        }
        return done();
    }

    // One step of the program that may write a command. With a radio that
    // never answers, every command is written in such a step, and the radio
    // is read right after it: each line then carries the times before and
    // after the step that wrote it, whatever the load on the machine.
    template <class F>
    void Step(F step)
    {
        stepStart_ = clock_.elapsed();
        step();
        if (drainAfterSteps_)
            radio.Drain();
    }

    // When a command reached the radio: at the latest and, for a radio that
    // never answers, at the earliest (else the same), in ms from the start.
    struct LineTimes {
        qint64 earliest;
        qint64 latest;
    };

    // Starts the set-up while the blocks that queued up during start-up are
    // handled in one burst, then goes on at the blocks' pace. Returns when
    // each command reached the radio.
    std::vector<LineTimes> StartRadioBehindABacklog(std::size_t commands, bool silent)
    {
        clock_.start();
        drainAfterSteps_ = silent;
        std::vector<LineTimes> at;
        radio.OnLine = [&](const std::string&) {
            const qint64 now = clock_.elapsed();
            at.push_back({silent ? stepStart_ : now, now});
        };
        radio.SetAutoAnswer(true);
        Step([this] { control.StartRadio(); });
        for (int i = 0; i < 20; ++i)
            Step([this] { link.PollRadioPort(); });
        EXPECT_TRUE(PollAtBlockPace([&] {
            return at.size() >= commands && !control.StartRadioRunning() && !link.CommandPending();
        }));
        radio.OnLine = nullptr;
        drainAfterSteps_ = false;
        return at;
    }

    QElapsedTimer clock_;
    qint64 stepStart_ = 0;
    bool drainAfterSteps_ = false;
    core::ReceiverState state;
    RadioControl control{link, state.FreqCenter, state.FreqTune, state.RadioType};
    int startDone = 0;
};

// The steps both radio types take alike, each with its own commands, range and
// centre grid.
struct Radio {
    const char* name;
    int32_t type;
    struct Tuning {
        int32_t f;
        const char* line;
        int32_t center;
        int32_t tuneGrowth;
    };
    int32_t edgesTune;  // FreqTune before the range edges
    std::vector<Tuning> edges;
    // StartRadio: where the state stands, what the radio is sent, where the
    // state ends up with the centre on the radio's grid.
    int32_t startCenter, startTune;
    const char* setUp;
    int32_t endCenter, endTune;
    std::vector<int> answeredAt;  // block at which each command went out
    int32_t silentCenter;
    const char* silentSetUp;
    std::vector<int> silentAt;  // each waits out the one before's time-out
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const Radio& radio, std::ostream* out) { *out << radio.name; }

const Radio kRadios[] = {
    {"DxR8",
     0,
     0,
     {{30000, "AL~RW_RXF00030000", 30000, 0},
      {34999990, "AL~RW_RXF34999990", 34999990, 0},
      {7100005, "AL~RW_RXF07100000", 7100000, 5},
      {30009, "AL~RW_RXF00030000", 30000, 9},
      {34999989, "AL~RW_RXF34999980", 34999980, 9}},
     5012005,
     -12000,
     "AL~RW_RFM05\r\nAL~SW_IQM01\r\nAL~SW_IQF 0000\r\nAL~RW_RXF05012000\r\n",
     5012000,
     -11995,
     {0, 1, 2, 3},
     5012000,
     "AL~RW_RFM05\r\nAL~SW_IQM01\r\nAL~SW_IQF 0000\r\nAL~RW_RXF05012000\r\n",
     {0, 11, 22, 33}},
    {"DjX11",
     1,
     -12000,
     {{145000025, "AL~FW00145000000", 145000000, 25},
      {50000, "AL~FW00000050000", 50000, 0},
      {1299999950, "AL~FW01299999950", 1299999950, 0},
      {50049, "AL~FW00000050000", 50000, 49}},
     145000025,
     0,
     "AL~SDRON\r\nAL~IQ0\r\nAL~FW00145000000\r\n",
     145000000,
     25,
     {0, 1, 2},
     433920000,
     "AL~SDRON\r\nAL~IQ0\r\nAL~FW00433920000\r\n",
     {0, 11, 22}},
};

class EachRadio : public Control, public ::testing::WithParamInterface<Radio> {};

TEST_P(EachRadio, RangeEdgesAndCommands)
{
    const Radio& r = GetParam();
    Open(r.type);
    state.RadioType = r.type;
    state.FreqTune = r.edgesTune;
    std::size_t n = 0;
    std::string raw;
    for (const auto& c : r.edges) {
        const int32_t tuneBefore = state.FreqTune;
        ASSERT_TRUE(control.SetRadioFrequency(c.f)) << c.f;
        EXPECT_EQ(state.FreqCenter, c.center) << c.f;
        EXPECT_EQ(state.FreqTune - tuneBefore, c.tuneGrowth) << c.f;
        const auto lines = Written(++n);
        ASSERT_EQ(lines.size(), n);
        EXPECT_EQ(lines.back(), c.line);
        raw += std::string(c.line) + "\r\n";
        RespondAndPoll();
        ASSERT_FALSE(link.CommandPending());
    }
    EXPECT_EQ(radio.Raw(), raw);
}

TEST_F(Control, OutOfRangeIsRefusedWithoutChangeOrCommand)
{
    Open(0);
    state.FreqCenter = 7100000;
    state.FreqTune = 123;
    state.RadioType = 0;
    for (int32_t f : {29999, 34999991, 34999995, 0, -30000, INT32_MAX, INT32_MIN}) {
        EXPECT_FALSE(control.SetRadioFrequency(f)) << f;
    }
    state.RadioType = 1;
    for (int32_t f : {49999, 1299999951, 1300000000, INT32_MAX}) {
        EXPECT_FALSE(control.SetRadioFrequency(f)) << f;
    }
    EXPECT_EQ(state.FreqCenter, 7100000);
    EXPECT_EQ(state.FreqTune, 123);
    EXPECT_FALSE(link.CommandPending());
    ExpectNothingMoreWritten(0);
    EXPECT_TRUE(radio.Raw().empty());
}

TEST_F(Control, ReceiveFrequencyMovesByExactlyTheRequestedAmount)
{
    state.RadioType = 1;
    state.FreqCenter = 145000000;
    state.FreqTune = 1234;
    const int64_t before = int64_t{state.FreqCenter} + state.FreqTune;
    ASSERT_TRUE(control.SetRadioFrequency(146000037));
    EXPECT_EQ(int64_t{state.FreqCenter} + state.FreqTune, before + 1000037);
    EXPECT_EQ(state.FreqCenter % 50, 0);
}

TEST_F(Control, ClosedPortStillTunesAndWritesNothing)
{
    state.RadioType = 0;
    state.FreqTune = 0;
    ASSERT_FALSE(link.PortOpen());
    EXPECT_TRUE(control.SetRadioFrequency(7100005));
    EXPECT_EQ(state.FreqCenter, 7100000);
    EXPECT_EQ(state.FreqTune, 5);
    EXPECT_FALSE(link.CommandPending());
    ExpectNothingMoreWritten(0);
}

TEST_F(Control, BusyLinkDropsTheCommandButTheStateFollows)
{
    Open(0);
    state.RadioType = 0;
    state.FreqTune = 0;
    ASSERT_TRUE(control.SetRadioFrequency(7100000));
    ASSERT_TRUE(control.SetRadioFrequency(7200007));
    EXPECT_EQ(state.FreqCenter, 7200000);
    EXPECT_EQ(state.FreqTune, 7);
    Written(1);
    ExpectNothingMoreWritten(1);
    EXPECT_EQ(radio.Lines()[0], "AL~RW_RXF07100000");
}

TEST_P(EachRadio, StartRadioWithAResponsiveRadio)
{
    const Radio& r = GetParam();
    state.RadioType = r.type;
    state.FreqCenter = r.startCenter;
    state.FreqTune = r.startTune;
    Open(r.type);
    control.StartRadio();
    EXPECT_TRUE(control.StartRadioRunning());
    // Strict alternation: only the first command is out before its "OK".
    Written(1);
    ExpectNothingMoreWritten(1);

    std::vector<int> writtenAt;
    int block = 0;
    for (; block < 20 && (control.StartRadioRunning() || link.CommandPending()); ++block) {
        radio.Drain();
        writtenAt.resize(radio.Lines().size(), block);
        RespondAndPoll();
    }
    // Each command went out in the block that acknowledged the one before.
    EXPECT_EQ(writtenAt, r.answeredAt);
    EXPECT_EQ(block, static_cast<int>(r.answeredAt.size()));
    EXPECT_FALSE(control.StartRadioRunning());
    EXPECT_FALSE(link.CommandPending());
    EXPECT_TRUE(link.RadioLinkOk());
    EXPECT_EQ(startDone, 1);
    EXPECT_EQ(radio.Raw(), r.setUp);
    EXPECT_EQ(state.FreqCenter, r.endCenter);
    EXPECT_EQ(state.FreqTune, r.endTune);
}

// A silent radio: every step waits out the reply time-out, then the sequence
// goes on. Blocks come at their pace, a block period apart. Returns the
// block at which each command reached the radio.
std::vector<int> RunSilent(PtyRadio& radio, RadioLink& link, RadioControl& control,
                           std::size_t expectedLines)
{
    radio.SetMode(PtyRadio::Mode::Silent);
    std::vector<int> at;
    control.StartRadio();
    int block = 0;
    for (; block < 100 && (control.StartRadioRunning() || link.CommandPending()); ++block) {
        radio.Drain();
        while (at.size() < radio.Lines().size())
            at.push_back(block);
        std::this_thread::sleep_for(std::chrono::milliseconds(RadioLink::kBlockPeriodMs));
        link.PollRadioPort();
    }
    EXPECT_TRUE(radio.WaitForLines(expectedLines));
    return at;
}

TEST_P(EachRadio, StartRadioWithASilentRadio)
{
    const Radio& r = GetParam();
    state.RadioType = r.type;
    state.FreqCenter = r.silentCenter;
    Open(r.type);
    const auto at = RunSilent(radio, link, control, r.silentAt.size());
    EXPECT_EQ(at, r.silentAt);
    EXPECT_EQ(radio.Raw(), r.silentSetUp);
    EXPECT_FALSE(link.RadioLinkOk());
    EXPECT_FALSE(control.StartRadioRunning());
    EXPECT_EQ(startDone, 1);
}

INSTANTIATE_TEST_SUITE_P(Radios, EachRadio, ::testing::ValuesIn(kRadios),
                         [](const auto& info) { return std::string(info.param.name); });

// The blocks queued during start-up are handled in a burst while the radio
// answers late or not at all: each command waits for its "OK" or for the reply
// time-out's real time, never for a burst of polls. Only what is certain on a
// loaded machine is judged: a late radio's next line cannot come before its
// "OK" to the last, sent the delay after it read that line; a silent radio's
// lines are taken from the steps that wrote them, so the gap between two
// writes lies between the first step's start and the second step's end.
TEST_F(Control, ABurstOfBlocksDoesNotCutShortTheWaitForTheRadio)
{
    const struct {
        const char* radio;
        int32_t type;
        int32_t center;
        int answerDelayMs;  // -1: silent
        std::size_t commands;
        qint64 minGapMs;
        bool answered;
    } cases[] = {
        {"late", 0, 5012000, 150, 4, 150, true},
        {"silent", 1, 145000000, -1, 3, RadioLink::kReplyTimeoutMs, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.radio);
        state.RadioType = c.type;
        state.FreqCenter = c.center;
        Open(c.type);
        if (c.answerDelayMs < 0)
            radio.SetMode(PtyRadio::Mode::Silent);
        else
            radio.SetAnswerDelay(c.answerDelayMs);
        finished.clear();
        startDone = 0;
        const auto at = StartRadioBehindABacklog(c.commands, c.answerDelayMs < 0);
        ASSERT_EQ(at.size(), c.commands);
        for (std::size_t k = 1; k < at.size(); ++k)
            EXPECT_GE(at[k].latest - at[k - 1].earliest, c.minGapMs) << "command " << k;
        EXPECT_EQ(finished, std::vector<bool>(c.commands, c.answered));
        EXPECT_EQ(link.RadioLinkOk(), c.answered);
        EXPECT_EQ(startDone, 1);
    }
}

TEST_F(Control, StartRadioOnAClosedPortOnlyAdjustsTheOffset)
{
    state.RadioType = 1;
    state.FreqCenter = 5012020;
    state.FreqTune = -12000;
    control.StartRadio();
    EXPECT_FALSE(control.StartRadioRunning());
    EXPECT_EQ(startDone, 1);
    EXPECT_EQ(state.FreqCenter, 5012000);
    EXPECT_EQ(state.FreqTune, -11980);
    ExpectNothingMoreWritten(0);
}

TEST_F(Control, CommandLeftPendingAcrossACloseCannotHangTheSequence)
{
    Open(0);
    state.RadioType = 0;
    ASSERT_TRUE(control.SetRadioFrequency(7100000));
    ASSERT_TRUE(link.CommandPending());

    // Another port is chosen that does not open.
    link.CloseRadioPort();
    EXPECT_FALSE(link.OpenRadioPort("/nonexistent/tesmar-gone", 0));
    control.StartRadio();
    EXPECT_FALSE(control.StartRadioRunning());
    EXPECT_EQ(startDone, 1);

    // The same port again: the sequence starts at once, not after a time-out.
    Open(0);
    control.StartRadio();
    const auto lines = Written(2);
    EXPECT_EQ(lines.back(), "AL~RW_RFM05");
    EXPECT_TRUE(control.StartRadioRunning());
}

TEST_F(Control, OperatorRetuneDuringSetUpIsDroppedAndTheEndRetuneSendsIt)
{
    state.RadioType = 1;
    state.FreqCenter = 145000000;
    state.FreqTune = 0;
    Open(1);
    control.StartRadio();
    Written(1);
    ASSERT_TRUE(control.SetRadioFrequency(430000010));
    EXPECT_EQ(state.FreqCenter, 430000000);
    ExpectNothingMoreWritten(1);
    for (int block = 0; block < 10 && control.StartRadioRunning(); ++block) {
        RespondAndPoll();
    }
    EXPECT_EQ(radio.Raw(), "AL~SDRON\r\nAL~IQ0\r\nAL~FW00430000000\r\n");
    EXPECT_EQ(state.FreqTune, 10);
}

TEST_F(Control, UnplugDuringSetUpEndsTheSequence)
{
    state.RadioType = 0;
    state.FreqCenter = 5012000;
    Open(0);
    control.StartRadio();
    Written(1);
    radio.HangUp();
    ASSERT_TRUE(RunUntil([&] { return !link.PortOpen(); }));
    EXPECT_FALSE(control.StartRadioRunning());
    EXPECT_EQ(startDone, 1);
    EXPECT_FALSE(link.RadioLinkOk());
    EXPECT_FALSE(link.CommandPending());
}

TEST_F(Control, WithoutAudioBlocksASilentSetUpStillEnds)
{
    state.RadioType = 1;
    state.FreqCenter = 145000000;
    Open(1);
    radio.SetMode(PtyRadio::Mode::Silent);
    link.SetIdlePollEnabled(true);
    control.StartRadio();
    ASSERT_TRUE(
        RunUntil([&] { return !control.StartRadioRunning() && !link.CommandPending(); }, 30000));
    EXPECT_TRUE(radio.WaitForLines(3));
    EXPECT_EQ(radio.Raw(), "AL~SDRON\r\nAL~IQ0\r\nAL~FW00145000000\r\n");
    EXPECT_FALSE(link.RadioLinkOk());
    EXPECT_EQ(startDone, 1);
}

TEST_F(Control, WithoutAudioBlocksAResponsiveSetUpCompletes)
{
    state.RadioType = 0;
    state.FreqCenter = 5012000;
    Open(0);
    radio.SetAutoAnswer(true);
    link.SetIdlePollEnabled(true);
    control.StartRadio();
    ASSERT_TRUE(
        RunUntil([&] { return !control.StartRadioRunning() && !link.CommandPending(); }, 30000));
    EXPECT_EQ(radio.Raw(), "AL~RW_RFM05\r\nAL~SW_IQM01\r\nAL~SW_IQF 0000\r\n"
                           "AL~RW_RXF05012000\r\n");
    EXPECT_TRUE(link.RadioLinkOk());
}

TEST_F(Control, StartRadioAgainRestartsWithTheNewType)
{
    state.RadioType = 0;
    state.FreqCenter = 5012000;
    Open(0);
    control.StartRadio();
    Written(1);
    // The operator switches to the other radio: close, reopen, start again.
    link.CloseRadioPort();
    state.RadioType = 1;
    Open(1);
    control.StartRadio();
    for (int block = 0; block < 10 && control.StartRadioRunning(); ++block) {
        RespondAndPoll();
    }
    radio.Drain();
    EXPECT_EQ(radio.Raw(), "AL~RW_RFM05\r\nAL~SDRON\r\nAL~IQ0\r\nAL~FW00005012000\r\n");
}

// The adapter is pulled out and plugged in again: its device node goes away
// and comes back (here a link to a pty, the way udev names an adapter).
class Replug : public Control {
protected:
    void SetUp() override
    {
        Control::SetUp();
        std::filesystem::create_symlink(radio.Path(), node);
        link.SetIdlePollEnabled(true);  // no audio blocks here
        state.RadioType = 0;
        state.FreqCenter = 5012000;
        radio.SetAutoAnswer(true);
        ASSERT_TRUE(link.OpenRadioPort(node.string(), 0));
        control.StartRadio();
        ASSERT_TRUE(RunUntil([&] { return startDone == 1 && !link.CommandPending(); }));
        // Unplugged: the device fails and its node disappears.
        radio.HangUp();
        std::filesystem::remove(node);
        ASSERT_TRUE(RunUntil([&] { return !link.PortOpen(); }));
    }

    void PlugBackIn(PtyRadio& adapter)
    {
        adapter.SetAutoAnswer(true);
        std::filesystem::create_symlink(adapter.Path(), node);
    }

    void ExpectTheOldAdapterStaysClosed()
    {
        EXPECT_FALSE(link.Reopening());
        PtyRadio adapter;
        PlugBackIn(adapter);
        RunUntil([] { return false; }, RadioLink::kReopenIntervalMs + 500);
        adapter.Drain();
        EXPECT_EQ(adapter.Raw(), "");
        EXPECT_EQ(startDone, 1);
    }

    static constexpr const char* kSetUp =
        "AL~RW_RFM05\r\nAL~SW_IQM01\r\nAL~SW_IQF 0000\r\nAL~RW_RXF07100000\r\n";
    tesmar::test::TempDir dir;
    std::filesystem::path node = dir / "ttyUSB-radio";
};

TEST_F(Replug, TheLostPortIsReopenedWhenItComesBackAndTheRadioSetUpAgain)
{
    EXPECT_TRUE(link.Reopening());
    EXPECT_FALSE(link.RadioLinkOk());
    // Tuned while the adapter is out: the state follows, nothing is written.
    EXPECT_TRUE(control.SetRadioFrequency(7100000));
    // A few retries find nothing.
    RunUntil([] { return false; }, RadioLink::kReopenIntervalMs + 500);
    EXPECT_FALSE(link.PortOpen());
    EXPECT_TRUE(link.Reopening());

    PtyRadio adapter;
    PlugBackIn(adapter);
    ASSERT_TRUE(RunUntil([&] { return startDone == 2 && !link.CommandPending(); }));
    adapter.Drain();
    EXPECT_EQ(adapter.Raw(), kSetUp);
    EXPECT_TRUE(link.PortOpen());
    EXPECT_TRUE(link.RadioLinkOk());
    EXPECT_FALSE(link.Reopening());
}

// The operator closing the port or choosing another one in the settings
// dialog ends the retries: the old adapter coming back is not reopened.
TEST_F(Replug, ClosingThePortEndsTheRetries)
{
    link.CloseRadioPort();
    ExpectTheOldAdapterStaysClosed();
    EXPECT_FALSE(link.PortOpen());
}

TEST_F(Replug, OpeningAnotherPortEndsTheRetries)
{
    PtyRadio other;
    ASSERT_TRUE(link.OpenRadioPort(other.Path(), 0));
    ExpectTheOldAdapterStaysClosed();
    EXPECT_TRUE(link.PortOpen());
}

}  // namespace
}  // namespace radio::test
