#include "LinkFixture.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <grp.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace radio::test {
namespace {

using Links = LinkFixture;

TEST(RadioLinkClosed, EmptyPortNameFailsAndNothingIsEverWritten)
{
    PtyRadio radio;
    RadioLink link;
    EXPECT_FALSE(link.OpenRadioPort("", 0));
    EXPECT_FALSE(link.PortOpen());
    link.SendRadioCommand("AL~IQ0\r\n");
    EXPECT_FALSE(link.CommandPending());
    EXPECT_TRUE(link.LastCommand().empty());
    link.PollRadioPort();
    EXPECT_FALSE(link.RadioLinkOk());
    PumpBriefly();
    radio.Drain();
    EXPECT_TRUE(radio.Raw().empty());
}

TEST(RadioLinkClosed, MissingDeviceFails)
{
    RadioLink link;
    bool changed = false;
    QObject::connect(&link, &RadioLink::PortOpenChanged, [&](bool) { changed = true; });
    EXPECT_FALSE(link.OpenRadioPort("/nonexistent/tesmar-no-such-serial-port", 1));
    EXPECT_FALSE(link.PortOpen());
    EXPECT_FALSE(changed);
}

// A user outside the device's group used to learn only "Permission error
// while locking the device", on every retry.
TEST(RadioLinkClosed, APortRefusedForPermissionSaysWhichGroupToJoinOnce)
{
    PtyRadio radio;
    ASSERT_EQ(::chmod(radio.Path().c_str(), 0), 0);
    struct stat st {};
    ASSERT_EQ(::stat(radio.Path().c_str(), &st), 0);
    const std::string group = ::getgrgid(st.st_gid)->gr_name;
    // In a child process that drops root's rights, which no permission stops.
    const auto refusedThrice = [&] {
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(120);
        RadioLink link;
        int told = 0;
        QObject::connect(&link, &RadioLink::PortRefused, [&](const QString& message) {
            ++told;
            std::fprintf(stderr, "%s\n", qPrintable(message));
        });
        bool opened = false;
        for (int attempt = 0; attempt < 3; ++attempt)
            opened = link.OpenRadioPort(radio.Path(), 0) || opened;
        ::_exit(!opened && told == 1 ? 0 : 1);
    };
    EXPECT_EXIT(refusedThrice(), ::testing::ExitedWithCode(0),
                "group \"" + group + "\" with\n    sudo usermod -aG " + group +
                    " \\$USER\nand then log out and in again");
}

TEST_F(Links, OpensALongPathAndASystemName)
{
    // Stable device names (/dev/serial/by-id/...) are links, and long.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string longName =
        dir.filePath("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0").toStdString();
    ASSERT_EQ(symlink(radio.Path().c_str(), longName.c_str()), 0);
    bool opened = false;
    QObject::connect(&link, &RadioLink::PortOpenChanged, [&](bool open) { opened = open; });
    ASSERT_TRUE(link.OpenRadioPort(longName, 0));
    EXPECT_TRUE(opened);
    link.SendRadioCommand("AL~IQ0\r\n");
    EXPECT_EQ(Written(1).back(), "AL~IQ0");
    link.CloseRadioPort();
    EXPECT_FALSE(opened);

    // The name as the system lists it, without its directory.
    const std::string path = radio.Path();
    ASSERT_EQ(path.rfind("/dev/", 0), 0u);
    ASSERT_TRUE(link.OpenRadioPort(path.substr(5), 0));
    EXPECT_TRUE(link.PortOpen());
    EXPECT_FALSE(link.RadioLinkOk());
    EXPECT_FALSE(link.CommandPending());
}

// Each radio type's rate, 8N1 without flow control; a changed radio type
// reopens the same port at the other rate.
TEST_F(Links, LineSettingsOfEachRadioAndReopenChangesThem)
{
    const struct {
        int32_t type;
        speed_t speed;
    } cases[] = {{0, B9600}, {1, B57600}, {0, B9600}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        Open(c.type);
        termios tio{};
        ASSERT_EQ(tcgetattr(radio.SlaveFd(), &tio), 0);
        EXPECT_EQ(cfgetospeed(&tio), c.speed);
        EXPECT_EQ(cfgetispeed(&tio), c.speed);
        EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
        EXPECT_EQ(tio.c_cflag & PARENB, 0u);
        EXPECT_EQ(tio.c_cflag & CSTOPB, 0u);
        EXPECT_EQ(tio.c_cflag & CRTSCTS, 0u);
        EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), 0u);
    }
}

TEST_F(Links, CommandIsWrittenVerbatimAndAwaited)
{
    Open();
    link.SendRadioCommand("AL~RW_RXF07100000\r\n");
    Written(1);
    EXPECT_EQ(radio.Raw(), "AL~RW_RXF07100000\r\n");
    EXPECT_TRUE(link.CommandPending());
    EXPECT_EQ(link.ReplyWaitCount(), 0);
    EXPECT_EQ(link.LastCommand(), "AL~RW_RXF07100000");
    EXPECT_FALSE(link.EchoSeen());
}

TEST_F(Links, EchoAndOkInOnePollAcknowledge)
{
    Open();
    link.SendRadioCommand("AL~IQ0\r\n");
    Written(1);
    Deliver("AL~IQ0\r\nOK\r\n");
    link.PollRadioPort();
    EXPECT_FALSE(link.CommandPending());
    EXPECT_TRUE(link.RadioLinkOk());
    EXPECT_FALSE(link.EchoSeen());
    EXPECT_TRUE(link.LastCommand().empty());
    EXPECT_TRUE(link.ReplyLine().empty());
    EXPECT_EQ(link.ReplyWaitCount(), 0);
    EXPECT_EQ(link.BytesWaiting(), 0);
    EXPECT_EQ(lampChanges, std::vector<bool>{true});
    EXPECT_EQ(finished, std::vector<bool>{true});
}

TEST_F(Links, EchoSplitOverTwoPollsIsJoined)
{
    Open(1);
    link.SendRadioCommand("AL~SDRON\r\n");
    Written(1);
    Deliver("AL~SD");
    link.PollRadioPort();
    EXPECT_EQ(link.ReplyLine(), "AL~SD");
    EXPECT_FALSE(link.EchoSeen());
    EXPECT_TRUE(link.CommandPending());
    EXPECT_EQ(link.ReplyWaitCount(), 1);

    Deliver("RON\r\n");
    link.PollRadioPort();
    EXPECT_TRUE(link.EchoSeen());
    EXPECT_TRUE(link.LastCommand().empty());
    EXPECT_TRUE(link.ReplyLine().empty());
    EXPECT_TRUE(link.CommandPending());
    EXPECT_EQ(link.ReplyWaitCount(), 2);

    Deliver("OK\r\n");
    link.PollRadioPort();
    EXPECT_FALSE(link.CommandPending());
    EXPECT_TRUE(link.RadioLinkOk());
    EXPECT_FALSE(link.EchoSeen());
    EXPECT_EQ(finished, std::vector<bool>{true});
}

TEST_F(Links, SilentRadioIsGivenUpAtTheEleventhPollOnceItsTimeHasPassed)
{
    Open();
    LightLamp();
    lampChanges.clear();
    finished.clear();
    radio.SetMode(PtyRadio::Mode::Silent);
    QElapsedTimer sinceWrite;
    sinceWrite.start();
    link.SendRadioCommand("AL~RW_RXF05012000\r\n");
    Written(2);

    Polls(10);
    EXPECT_TRUE(link.CommandPending());
    EXPECT_EQ(link.ReplyWaitCount(), 10);
    EXPECT_TRUE(link.RadioLinkOk());
    EXPECT_TRUE(finished.empty());

    // The blocks that queued up meanwhile are handled in one burst: many
    // polls, no time for the radio to answer in.
    Polls(30);
    EXPECT_TRUE(link.CommandPending());
    EXPECT_TRUE(finished.empty());

    WaitOutTheReplyTime();
    link.PollRadioPort();
    EXPECT_GE(sinceWrite.elapsed(), RadioLink::kReplyTimeoutMs);
    EXPECT_FALSE(link.CommandPending());
    EXPECT_EQ(link.ReplyWaitCount(), 0);
    EXPECT_FALSE(link.RadioLinkOk());
    EXPECT_EQ(lampChanges, std::vector<bool>{false});
    EXPECT_EQ(finished, std::vector<bool>{false});
    // The echo never came: the old text stays until the next write.
    EXPECT_EQ(link.LastCommand(), "AL~RW_RXF05012000");

    // Later polls change nothing.
    Polls(3);
    EXPECT_EQ(link.ReplyWaitCount(), 0);
    EXPECT_EQ(finished.size(), 1u);

    link.SendRadioCommand("AL~RW_RXF05013000\r\n");
    Written(3);
    EXPECT_EQ(link.LastCommand(), "AL~RW_RXF05013000");
}

// However long a burst of polls waited, the command still needs ten polls
// after its write before it is given up.
TEST_F(Links, ElevenPollsAreNeededEvenAfterALongWait)
{
    Open();
    radio.SetMode(PtyRadio::Mode::Silent);
    link.SendRadioCommand("AL~IQ0\r\n");
    Written(1);
    WaitOutTheReplyTime();
    Polls(10);
    EXPECT_TRUE(link.CommandPending());
    link.PollRadioPort();
    EXPECT_FALSE(link.CommandPending());
    EXPECT_EQ(finished, std::vector<bool>{false});
}

TEST_F(Links, SecondCommandDroppedWhileFirstPendsThirdWrittenAfterOk)
{
    Open();
    link.SendRadioCommand("AL~RW_RXF07100000\r\n");
    link.SendRadioCommand("AL~RW_RXF07200000\r\n");
    Written(1);
    ExpectNothingMoreWritten(1);
    EXPECT_EQ(link.LastCommand(), "AL~RW_RXF07100000");

    Deliver("AL~RW_RXF07100000\r\nOK\r\n");
    link.PollRadioPort();
    ASSERT_FALSE(link.CommandPending());

    link.SendRadioCommand("AL~RW_RXF07300000\r\n");
    const auto lines = Written(2);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "AL~RW_RXF07100000");
    EXPECT_EQ(lines[1], "AL~RW_RXF07300000");
    EXPECT_EQ(radio.Raw(), "AL~RW_RXF07100000\r\nAL~RW_RXF07300000\r\n");
    EXPECT_TRUE(link.CommandPending());
}

TEST_F(Links, LeftoverEchoSeenAfterTimeOutStillAcknowledgesTheNextCommand)
{
    Open(1);
    link.SendRadioCommand("AL~SDRON\r\n");
    Written(1);
    Deliver("AL~SDRON\r\n");  // echo, but the "OK" never comes
    WaitOutTheReplyTime();
    Polls(11);
    EXPECT_FALSE(link.CommandPending());
    EXPECT_FALSE(link.RadioLinkOk());
    EXPECT_TRUE(link.EchoSeen());  // the time-out leaves it set
    EXPECT_TRUE(link.LastCommand().empty());

    link.SendRadioCommand("AL~IQ0\r\n");
    Written(2);
    EXPECT_EQ(link.LastCommand(), "AL~IQ0");
    Deliver("AL~IQ0\r\n");
    link.PollRadioPort();
    // Its echo is examined as the acknowledgment: not "OK", so nothing happens.
    EXPECT_TRUE(link.CommandPending());
    EXPECT_TRUE(link.EchoSeen());
    EXPECT_EQ(link.LastCommand(), "AL~IQ0");

    Deliver("OK\r\n");
    link.PollRadioPort();
    EXPECT_FALSE(link.CommandPending());
    EXPECT_TRUE(link.RadioLinkOk());
    EXPECT_FALSE(link.EchoSeen());
    EXPECT_EQ(finished, (std::vector<bool>{false, true}));
}

TEST_F(Links, LateAnswerAfterTheTimeOut)
{
    Open();
    link.SendRadioCommand("AL~SW_IQM01\r\n");
    Written(1);
    Deliver("AL~SW_IQM01\r\n");
    WaitOutTheReplyTime();
    Polls(11);
    ASSERT_FALSE(link.CommandPending());
    ASSERT_FALSE(link.RadioLinkOk());
    finished.clear();

    // The "OK" turns up after the command was given up: the radio is there,
    // so the lamp lights, but there is no command left to finish.
    Deliver("OK\r\n");
    link.PollRadioPort();
    EXPECT_TRUE(link.RadioLinkOk());
    EXPECT_FALSE(link.CommandPending());
    EXPECT_FALSE(link.EchoSeen());
    EXPECT_TRUE(finished.empty());
}

TEST_F(Links, AFailedReopenKeepsTheLampAsItWas)
{
    Open();
    LightLamp();
    EXPECT_FALSE(link.OpenRadioPort("/nonexistent/tesmar-no-such-serial-port", 0));
    EXPECT_FALSE(link.PortOpen());
    EXPECT_TRUE(link.RadioLinkOk());
    link.SendRadioCommand("AL~IQ0\r\n");
    EXPECT_FALSE(link.CommandPending());
    ExpectNothingMoreWritten(1);
}

// Replies that look nearly right never acknowledge: the command is left to
// the time-out and the lamp goes dark.
TEST_F(Links, RepliesThatAreNotEchoAndOkLeaveTheCommandToTheTimeOut)
{
    struct Case {
        const char* what;
        std::string reply;
        std::string lineAfterwards;  // the partial line kept after the first poll
        bool echoSeen;
    };
    const Case cases[] = {
        {"lines ended with LF only never complete", "AL~SW_IQM01\nOK\n", "AL~SW_IQM01OK", false},
        {"another line after the echo, then near misses", "AL~SW_IQM01\r\nNG\r\nok\r\nOK \r\n", "",
         true},
        {"another line instead of the echo", "AL~SW_IQM02\r\nOK\r\n", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Open();
        LightLamp();
        finished.clear();
        link.SendRadioCommand("AL~SW_IQM01\r\n");
        Written(radio.Lines().size() + 1);
        Deliver(c.reply);
        link.PollRadioPort();
        EXPECT_EQ(link.ReplyLine(), c.lineAfterwards);
        EXPECT_EQ(link.EchoSeen(), c.echoSeen);
        EXPECT_TRUE(link.CommandPending());
        EXPECT_EQ(link.LastCommand(), c.echoSeen ? "" : "AL~SW_IQM01");
        Polls(9);
        EXPECT_TRUE(link.CommandPending());
        WaitOutTheReplyTime();
        link.PollRadioPort();
        EXPECT_FALSE(link.CommandPending());
        EXPECT_FALSE(link.RadioLinkOk());
        EXPECT_EQ(finished, std::vector<bool>{false});
    }
}

TEST_F(Links, MoreThan1023BytesAreTakenOverSeveralPolls)
{
    Open();
    link.SendRadioCommand("AL~IQ0\r\n");
    Written(1);
    const std::string noise(1500, 'x');
    Deliver(noise + "\r\nAL~IQ0\r\nOK\r\n");
    const qint64 total = static_cast<qint64>(noise.size()) + 14;
    link.PollRadioPort();
    EXPECT_EQ(link.BytesWaiting(), total - 1023);
    EXPECT_TRUE(link.CommandPending());
    // An overlong line is cut off; it could never have matched anyway.
    EXPECT_EQ(link.ReplyLine().size(), RadioLink::kMaxReplyLine);
    link.PollRadioPort();
    EXPECT_EQ(link.BytesWaiting(), 0);
    EXPECT_FALSE(link.CommandPending());
    EXPECT_TRUE(link.RadioLinkOk());
}

TEST_F(Links, BytesArrivingWithNoCommandPendingAreConsumedHarmlessly)
{
    Open();
    Deliver("RADIO READY\r\n\nAL~IQ0\r\npartial");
    link.PollRadioPort();
    EXPECT_FALSE(link.CommandPending());
    EXPECT_EQ(link.ReplyWaitCount(), 0);
    EXPECT_EQ(link.BytesWaiting(), 0);
    EXPECT_FALSE(link.RadioLinkOk());
    EXPECT_EQ(link.ReplyLine(), "partial");
    EXPECT_TRUE(finished.empty());
    EXPECT_TRUE(lampChanges.empty());
    Deliver("\r\n");
    link.PollRadioPort();
    EXPECT_TRUE(link.ReplyLine().empty());

    // The next command is answered normally.
    link.SendRadioCommand("AL~IQ0\r\n");
    Written(1);
    Deliver("AL~IQ0\r\nOK\r\n");
    link.PollRadioPort();
    EXPECT_FALSE(link.CommandPending());
    EXPECT_TRUE(link.RadioLinkOk());
}

TEST_F(Links, ClosedPortWritesNothingAndAbandonsThePendingCommand)
{
    Open();
    LightLamp();
    finished.clear();
    link.SendRadioCommand("AL~RW_RXF07100000\r\n");
    Written(2);
    ASSERT_TRUE(link.CommandPending());

    link.CloseRadioPort();
    EXPECT_FALSE(link.PortOpen());
    EXPECT_FALSE(link.CommandPending());
    EXPECT_EQ(finished, std::vector<bool>{false});
    // Closing is not a verdict on the radio: the lamp keeps its state.
    EXPECT_TRUE(link.RadioLinkOk());

    link.SendRadioCommand("AL~RW_RXF07200000\r\n");
    link.PollRadioPort();
    EXPECT_FALSE(link.CommandPending());
    ExpectNothingMoreWritten(2);

    // Reopened, the link takes a command at once.
    Open();
    link.SendRadioCommand("AL~RW_RXF07300000\r\n");
    const auto lines = Written(3);
    EXPECT_EQ(lines.back(), "AL~RW_RXF07300000");
}

TEST_F(Links, UnplugInTheMiddleOfACommandClosesThePortAndDarkensTheLamp)
{
    Open();
    LightLamp();
    lampChanges.clear();
    finished.clear();
    bool openState = true;
    QObject::connect(&link, &RadioLink::PortOpenChanged, [&](bool open) { openState = open; });

    link.SendRadioCommand("AL~RW_RXF07100000\r\n");
    Written(2);
    Deliver("AL~RW_RX");  // part of the echo, then the adapter is pulled
    link.PollRadioPort();
    radio.HangUp();
    ASSERT_TRUE(RunUntil([&] { return !link.PortOpen(); }));

    EXPECT_FALSE(openState);
    EXPECT_FALSE(link.CommandPending());
    EXPECT_EQ(link.ReplyWaitCount(), 0);
    EXPECT_FALSE(link.RadioLinkOk());
    EXPECT_TRUE(link.ReplyLine().empty());
    EXPECT_EQ(lampChanges, std::vector<bool>{false});
    EXPECT_EQ(finished, std::vector<bool>{false});
    EXPECT_EQ(portLost, 1);

    // The error does not come back once the port is closed.
    PumpBriefly();
    EXPECT_EQ(portLost, 1);
    link.SendRadioCommand("AL~RW_RXF07200000\r\n");
    EXPECT_FALSE(link.CommandPending());
    link.PollRadioPort();
    EXPECT_EQ(finished.size(), 1u);

    // A new adapter is plugged in.
    PtyRadio other;
    ASSERT_TRUE(link.OpenRadioPort(other.Path(), 0));
    link.SendRadioCommand("AL~RW_RXF07300000\r\n");
    ASSERT_TRUE(other.WaitForLines(1));
    EXPECT_EQ(other.Raw(), "AL~RW_RXF07300000\r\n");
}

TEST_F(Links, UnplugWhileIdleClosesThePort)
{
    Open();
    radio.HangUp();
    ASSERT_TRUE(RunUntil([&] { return !link.PortOpen(); }));
    EXPECT_EQ(portLost, 1);
    EXPECT_TRUE(finished.empty());
    EXPECT_FALSE(link.RadioLinkOk());
}

TEST_F(Links, WithoutAudioBlocksTheTimerGivesUpASilentCommand)
{
    Open();
    radio.SetMode(PtyRadio::Mode::Silent);
    link.SetIdlePollEnabled(true);
    link.SendRadioCommand("AL~IQ0\r\n");
    ASSERT_TRUE(link.CommandPending());
    ASSERT_TRUE(RunUntil([&] { return !link.CommandPending(); }));
    EXPECT_FALSE(link.RadioLinkOk());
    EXPECT_EQ(finished, std::vector<bool>{false});
}

TEST_F(Links, WithoutAudioBlocksTheTimerCollectsTheAcknowledgment)
{
    Open();
    radio.SetAutoAnswer(true);
    link.SetIdlePollEnabled(true);
    link.SendRadioCommand("AL~IQ0\r\n");
    ASSERT_TRUE(RunUntil([&] { return !link.CommandPending(); }));
    EXPECT_TRUE(link.RadioLinkOk());
    EXPECT_EQ(finished, std::vector<bool>{true});
}

}  // namespace
}  // namespace radio::test
