// Remote control over real sockets against the running receiver: Hamlib's
// own rigctl (model 2, NET rigctl) and the pseudo-terminal radio, the
// start-up of a digital-mode client and a satellite tracker replayed, and
// what the server does to clients that misbehave.

#include "CoreFixture.h"
#include "LineClient.h"

#include "PtyRadio.h"
#include "tests/support/Loopback.h"

#include <QHostAddress>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpSocket>

#include <algorithm>
#include <chrono>

#include <sys/socket.h>
#include <unistd.h>

namespace core::test {
namespace {

class RemoteServer : public CoreTest {
protected:
    // The receiver with remote control on a free port of this computer.
    Receiver& Begin(const std::string& ini = {})
    {
        WriteIni(ini);
        Receiver& rx = Started();
        Remote().UseForThisRun(0);
        EXPECT_TRUE(Remote().Listening());
        port_ = Remote().Port();
        return rx;
    }

    // Hamlib's rigctl against the receiver; its standard output. Without
    // `errors` it must not complain.
    std::string Rigctl(const QStringList& command, std::string* errors = nullptr)
    {
        const QString program = QStandardPaths::findExecutable("rigctl");
        EXPECT_FALSE(program.isEmpty()) << "rigctl (libhamlib-utils) is not installed";
        QProcess p;
        p.start(program,
                QStringList{"-m", "2", "-r", QStringLiteral("127.0.0.1:%1").arg(port_)} + command);
        EXPECT_TRUE(RunUntil([&] { return p.state() == QProcess::NotRunning; }, 30000));
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        const std::string err = p.readAllStandardError().toStdString();
        if (errors != nullptr)
            *errors = err;
        else
            EXPECT_EQ(err, "") << command.join(' ').toStdString();
        return p.readAllStandardOutput().toStdString();
    }

    uint16_t port_ = 0;
};

TEST_F(RemoteServer, HamlibsRigctlFollowsAndSetsFrequencyAndMode)
{
    RadioRig rig;
    Receiver& rx = Begin(rig.Ini());
    rig.Open(rx);

    EXPECT_EQ(Rigctl({"f"}), "5000000\n");
    EXPECT_EQ(Rigctl({"F", "7074000"}), "");
    EXPECT_EQ(ReceiveFrequency(), 7074000);
    // Outside the IQ band: the radio is retuned, FreqTune kept.
    EXPECT_TRUE(RunUntil([&] { return !rig.NewLines().empty(); }));
    EXPECT_EQ(rig.NewLines(), (std::vector<std::string>{"AL~RW_RXF07086000"}));
    EXPECT_EQ(Rigctl({"f"}), "7074000\n");

    EXPECT_EQ(Rigctl({"m"}), "AM\n6000\n");
    EXPECT_EQ(Rigctl({"M", "USB", "2400"}), "");
    EXPECT_EQ(rx.SelectedMode(), Mode::Usb);
    EXPECT_EQ(rx.SelectedIfFilter(), IfChoice::User);
    EXPECT_EQ(S().IFWidth, 2400);
    EXPECT_EQ(Rigctl({"m"}), "USB\n2400\n");

    // The meter's reading at rest, 51 dB below S9 at the needle's left end.
    EXPECT_EQ(Rigctl({"l", "STRENGTH"}), "-51\n");
    EXPECT_EQ(Rigctl({"L", "AF", "0.5"}), "");
    EXPECT_EQ(S().GainPos, 0);
    EXPECT_EQ(Rigctl({"l", "AF"}), "0.500000\n");

    // A refusal reaches rigctl as Hamlib's error, and changes nothing.
    std::string errors;
    const std::string said = Rigctl({"F", "35000000"}, &errors);
    EXPECT_NE((said + errors).find("Invalid parameter"), std::string::npos) << said << errors;
    EXPECT_EQ(ReceiveFrequency(), 7074000);
    EXPECT_TRUE(rig.NewLines().size() == 1u);
}

TEST_F(RemoteServer, ADigitalModeClientsStartUpAndPolls)
{
    RadioRig rig;
    Receiver& rx = Begin(rig.Ini());
    rig.Open(rx);
    LineClient c(port_);
    EXPECT_EQ(c.Ask("\\get_powerstat"), "1\n");
    EXPECT_EQ(c.Ask("\\chk_vfo"), "0\n");
    const std::string state = c.Ask("\\dump_state", 47);
    EXPECT_EQ(state.substr(0, 6), "0\n2\n0\n");
    EXPECT_EQ(state.substr(state.size() - 8), "0x0\n0x0\n");
    EXPECT_EQ(c.Ask("v"), "VFOA\n");
    EXPECT_EQ(c.Ask("f"), "5000000\n");
    EXPECT_EQ(c.Ask("F 7074055.000000"), "RPRT 0\n");
    EXPECT_EQ(c.Ask("f"), "7074055\n");
    EXPECT_EQ(c.Ask("F 7074000.000000"), "RPRT 0\n");
    for (int poll = 0; poll < 3; ++poll) {
        EXPECT_EQ(c.Ask("v"), "VFOA\n");
        EXPECT_EQ(c.Ask("s", 2), "0\nVFOA\n");
        EXPECT_EQ(c.Ask("f"), "7074000\n");
        EXPECT_EQ(c.Ask("m", 2), "AM\n6000\n");
    }
    // The first setting moved the radio (to its 10 Hz grid); the second lay
    // inside the band and moved the offset alone.
    EXPECT_EQ(S().FreqCenter, 7086050);
    EXPECT_EQ(S().FreqTune, -12050);
    EXPECT_EQ(rig.NewLines(), (std::vector<std::string>{"AL~RW_RXF07086050"}));

    // The same conversation sent in one piece gets the same replies in order.
    LineClient burst(port_);
    burst.Send("\\get_powerstat\n\\chk_vfo\nv\nF 7074000.000000\nf\nv\ns\nf\nm\nv\ns\nf\nm\n"
               "v\ns\nf\nm\nv\ns\nf\nm\nq\n");
    const std::string poll = "VFOA\n0\nVFOA\n7074000\nAM\n6000\n";
    EXPECT_EQ(burst.Read(30),
              "1\n0\nVFOA\nRPRT 0\n7074000\n" + poll + poll + poll + poll + "RPRT 0\n");
    EXPECT_TRUE(burst.Closed());  // "q"
}

TEST_F(RemoteServer, ASatelliteTrackerInVfoModeWithPaddedFrequencies)
{
    Receiver& rx = Begin("[Wave]\nFreqCenter=7100000\nFreqTune=0\n");
    LineClient c(port_);
    EXPECT_EQ(c.Ask("\\set_vfo_opt 1"), "RPRT 0\n");
    EXPECT_EQ(c.Ask("\\chk_vfo"), "1\n");
    EXPECT_EQ(c.Ask("F     7105000"), "RPRT 0\n");
    EXPECT_EQ(ReceiveFrequency(), 7105000);
    EXPECT_EQ(c.Ask("F VFOA    7106250"), "RPRT 0\n");
    EXPECT_EQ(c.Ask("f VFOA"), "7106250\n");
    EXPECT_EQ(c.Ask("AOS"), "RPRT 0\n");
    EXPECT_TRUE(rx.WaveRecording());
    EXPECT_EQ(c.Ask("LOS"), "RPRT 0\n");
    EXPECT_FALSE(rx.WaveRecording());
    // Another client's conversation is its own.
    LineClient other(port_);
    EXPECT_EQ(other.Ask("\\chk_vfo"), "0\n");
}

TEST_F(RemoteServer, AddressesOutsideTheAllowListAreClosedAtOnce)
{
    Begin();
    // Only 127.0.0.1 itself: another loopback address is another host.
    LineClient foreign(port_, QHostAddress("127.0.0.2"));
    EXPECT_TRUE(foreign.Closed());
    EXPECT_EQ(foreign.Ask("f"), "");
    LineClient local(port_);
    EXPECT_EQ(local.Ask("f"), "5000000\n");

    // The operator allows 127.0.0.2: it may, 127.0.0.3 still may not.
    Remote().Choose({true, 0, "127.0.0.2"});
    ASSERT_TRUE(Remote().Listening());
    port_ = Remote().Port();
    EXPECT_TRUE(local.Closed());  // choosing restarts the server
    LineClient allowed(port_, QHostAddress("127.0.0.2"));
    EXPECT_EQ(allowed.Ask("f"), "5000000\n");
    LineClient stranger(port_, QHostAddress("127.0.0.3"));
    EXPECT_TRUE(stranger.Closed());
    EXPECT_EQ(Remote().ClientCount(), 1);
}

TEST_F(RemoteServer, TheNinthClientIsRefused)
{
    Begin();
    std::vector<std::unique_ptr<LineClient>> clients;
    for (int i = 0; i < 8; ++i) {
        clients.push_back(std::make_unique<LineClient>(port_));
        EXPECT_EQ(clients.back()->Ask("f"), "5000000\n") << "client " << i + 1;
    }
    LineClient ninth(port_);
    EXPECT_TRUE(ninth.Closed());
    EXPECT_EQ(Remote().ClientCount(), 8);
    // A place that comes free is taken again.
    EXPECT_EQ(clients.front()->Ask("q"), "RPRT 0\n");
    EXPECT_TRUE(clients.front()->Closed());
    EXPECT_TRUE(RunUntil([&] { return Remote().ClientCount() == 7; }));
    LineClient next(port_);
    EXPECT_EQ(next.Ask("m", 2), "AM\n6000\n");
    for (auto& c : clients) {
        if (c->Socket().state() == QAbstractSocket::ConnectedState) {
            EXPECT_EQ(c->Ask("v"), "VFOA\n");
        }
    }
}

// Silent local connections must not hold every place for the ten-minute
// idle time: one that never sends a whole command goes soon, and a new
// client takes the place of the one silent longest (any silence counts
// here), neither the first nor the last to connect.
TEST_F(RemoteServer, SilentConnectionsGoSoonOrMakeRoomForANewClient)
{
    Receiver& rx = Begin();
    remote::ServerLimits limits;
    limits.firstCommandTimeout = std::chrono::milliseconds(1000);
    limits.yieldAfter = std::chrono::milliseconds(0);
    RemoteControl remote(rx, limits);
    remote.UseForThisRun(0);
    std::vector<std::unique_ptr<LineClient>> clients;
    for (int i = 0; i < 8; ++i)
        clients.push_back(std::make_unique<LineClient>(remote.Port()));
    clients[0]->Send("f");  // no line end: no whole command
    EXPECT_EQ(clients[1]->Ask("f"), "5000000\n");
    EXPECT_EQ(clients[2]->Ask("f"), "5000000\n");
    for (int i : {0, 3, 4, 5, 6, 7})
        EXPECT_TRUE(clients[std::size_t(i)]->Closed()) << i;
    for (int i = 0; i < 6; ++i) {
        clients.push_back(std::make_unique<LineClient>(remote.Port()));
        EXPECT_EQ(clients.back()->Ask("f"), "5000000\n");
    }
    EXPECT_EQ(clients[1]->Ask("v"), "VFOA\n");  // 2 is now the one silent longest
    LineClient late(remote.Port());
    EXPECT_EQ(late.Ask("f"), "5000000\n");
    EXPECT_TRUE(clients[2]->Closed());
    EXPECT_EQ(clients[1]->Ask("v"), "VFOA\n");
    EXPECT_EQ(clients.back()->Ask("v"), "VFOA\n");
}

TEST_F(RemoteServer, AMegabyteWithoutALineEndClosesThatClientOnly)
{
    Begin();
    LineClient good(port_);
    LineClient flood(port_);
    EXPECT_EQ(flood.Ask("f"), "5000000\n");
    flood.Send(std::string(1 << 20, 'F'));
    EXPECT_TRUE(flood.Closed());
    EXPECT_EQ(good.Ask("f"), "5000000\n");
    EXPECT_EQ(Remote().ClientCount(), 1);
    // A line just over the limit is no command either.
    LineClient longLine(port_);
    longLine.Send("F " + std::string(300, '7') + "\n");
    EXPECT_TRUE(longLine.Closed());
    // Up to the limit it is answered.
    EXPECT_EQ(good.Ask("F " + std::string(254, '7')), "RPRT -1\n");
}

TEST_F(RemoteServer, AClientThatSendsFasterThanItReadsIsDropped)
{
    Begin();
    LineClient good(port_);
    // A client that asks and asks (some 600 bytes of reply each time) and
    // never reads, with a small receive window.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    const int small = 4096;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in to = tesmar::test::LoopbackAddress(port_);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
    ASSERT_TRUE(RunUntil([&] { return Remote().ClientCount() == 2; }));
    std::string lines;
    // Some 30 MB of replies: more than the system's socket buffers hold.
    for (int i = 0; i < 50000; ++i)
        lines += "\\dump_state\n";
    std::size_t sent = 0;
    const bool dropped = RunUntil([&] {
        if (sent < lines.size()) {
            const ssize_t n =
                ::send(fd, lines.data() + sent, lines.size() - sent, MSG_DONTWAIT | MSG_NOSIGNAL);
            if (n > 0)
                sent += std::size_t(n);
        }
        return Remote().ClientCount() == 1;
    });
    ::close(fd);
    EXPECT_TRUE(dropped);
    EXPECT_EQ(good.Ask("f"), "5000000\n");
}

TEST_F(RemoteServer, IdleClientsAreDroppedBusyOnesKept)
{
    Receiver& rx = Begin();
    remote::ServerLimits limits;
    limits.idleTimeout = std::chrono::milliseconds(400);
    RemoteControl remote(rx, limits);
    remote.UseForThisRun(0);
    port_ = remote.Port();
    LineClient idle(port_);
    LineClient busy(port_);
    EXPECT_EQ(idle.Ask("f"), "5000000\n");
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(busy.Ask("f"), "5000000\n");
        RunUntil([] { return false; }, 100);
    }
    EXPECT_TRUE(idle.Closed(2000));
    EXPECT_EQ(busy.Socket().state(), QAbstractSocket::ConnectedState);
    EXPECT_EQ(remote.ClientCount(), 1);
}

TEST_F(RemoteServer, ShutdownClosesThePortBeforeTheSettingsAreSaved)
{
    Receiver& rx = Begin();
    LineClient c(port_);
    EXPECT_EQ(c.Ask("f"), "5000000\n");
    rx.Shutdown({});
    EXPECT_FALSE(Remote().Listening());
    EXPECT_TRUE(c.Closed());
    LineClient late(port_);
    EXPECT_EQ(late.Socket().state(), QAbstractSocket::UnconnectedState);
}

TEST_F(RemoteServer, APortInUseIsReported)
{
    QTcpServer taken;
    ASSERT_TRUE(taken.listen(QHostAddress(QHostAddress::LocalHost), 0));
    Started();
    Remote().UseForThisRun(taken.serverPort());
    EXPECT_FALSE(Remote().Listening());
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_NE(errors_[0].message.find(std::to_string(taken.serverPort())), std::string::npos)
        << errors_[0].message;
}

}  // namespace
}  // namespace core::test
