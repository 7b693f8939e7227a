// The settings dialog's logic against a radio on a pseudo-terminal: what its
// creation opens, what "OK" touches and what it leaves alone, what acts at
// once and stays after "Cancel", and how the stored port is found again.

#include "CoreFixture.h"

#include "PtyRadio.h"
#include "core/SettingsChoices.h"
#include "tests/support/UdpListener.h"

#include <QStandardPaths>

#include <cmath>
#include <termios.h>

namespace core::test {
namespace {

using radio::test::PtyRadio;

TEST(ListPorts, TheStoredPortWinsOverItsPositionAndIsKeptWhenItIsNotThere)
{
    const std::vector<SerialPortEntry> ports = {
        {"ttyS0", "", "/dev/ttyS0"},
        {"ttyUSB1", "CP2102 USB to UART", "/dev/ttyUSB1"},
        {"ttyUSB0", "FT232R USB UART", "/dev/ttyUSB0"},
    };
    struct Case {
        const char* what;
        std::string PortStr;
        int32_t PortNum;
        bool present;  // the stored port's device is there
        int selected;
        int32_t newPortNum;
        std::string newPortStr;
        std::string text;  // of the selected entry
        int absent;
    };
    const Case cases[] = {
        // The adapters enumerated the other way round since the last run.
        {"name moved", "ttyUSB0", 1, true, 2, 2, "ttyUSB0", "ttyUSB0 - FT232R USB UART", -1},
        {"path of a listed port", "/dev/ttyUSB1", 0, true, 1, 1, "/dev/ttyUSB1",
         "ttyUSB1 - CP2102 USB to UART", -1},
        {"by-id link", "/dev/serial/by-id/usb-FTDI-if00", 0, true, 3, 3,
         "/dev/serial/by-id/usb-FTDI-if00", "/dev/serial/by-id/usb-FTDI-if00", -1},
        {"pseudo-terminal", "/dev/pts/7", 2, true, 3, 3, "/dev/pts/7", "/dev/pts/7", -1},
        // Unplugged: the port now at its position is another device, and
        // the stored one is kept and waited for.
        {"name gone", "ttyACM0", 0, false, 3, 3, "ttyACM0", "ttyACM0 (not present)", 3},
        {"by-id link gone", "/dev/serial/by-id/usb-FTDI-if00", 1, false, 3, 3,
         "/dev/serial/by-id/usb-FTDI-if00", "/dev/serial/by-id/usb-FTDI-if00 (not present)", 3},
        // Without a stored name the position decides, as it always did.
        {"first run", "", 1, false, 1, 1, "ttyUSB1", "ttyUSB1 - CP2102 USB to UART", -1},
        {"position outside", "", 5, false, -1, 5, "", "", -1},
        {"negative position", "", -1, false, -1, -1, "", "", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const PortList list = ListPorts(ports, c.PortStr, c.PortNum, c.present);
        EXPECT_EQ(list.selected, c.selected);
        EXPECT_EQ(list.PortNum, c.newPortNum);
        EXPECT_EQ(list.PortStr, c.newPortStr);
        EXPECT_EQ(list.absent, c.absent);
        const int entries = c.selected == 3 ? 4 : 3;
        ASSERT_EQ(list.texts.size(), entries);
        ASSERT_EQ(int(list.ports.size()), entries);
        if (c.selected >= 0) {
            EXPECT_EQ(list.ports[std::size_t(c.selected)], c.newPortStr);
            EXPECT_EQ(list.texts[c.selected].toStdString(), c.text);
        }
    }
    const PortList list = ListPorts(ports, "/dev/pts/7", 0, true);
    EXPECT_EQ(list.texts, QStringList({"ttyS0", "ttyUSB1 - CP2102 USB to UART",
                                       "ttyUSB0 - FT232R USB UART", "/dev/pts/7"}));

    const PortList none = ListPorts({}, "", 0, false);
    EXPECT_TRUE(none.texts.isEmpty());
    EXPECT_EQ(none.selected, -1);
    EXPECT_EQ(none.PortStr, "");
}

TEST(DeviceEntries, EntryNumbersStayDeviceNumbers)
{
    EXPECT_EQ(DeviceEntries("Default input device", {"a", "b"}, 1),
              QStringList({"Default input device", "a", "b"}));
    // Device 4 was chosen on a machine that had more devices.
    const QStringList padded = DeviceEntries("Default input device", {"a"}, 4);
    ASSERT_EQ(padded.size(), 5);
    EXPECT_EQ(padded[1], "a");
    EXPECT_EQ(padded[4], "Device 4 (not present)");
    EXPECT_EQ(DeviceEntries("Default output device", {}, -3).size(), 1);
}

class SettingsWithRadio : public CoreTest {
protected:
    // A receiver whose settings name the pseudo-terminal, and the dialog's
    // logic created as the dialog is at start-up, after the set-up ran.
    SettingsChoices& Create(const std::string& more = "", int radioType = 0)
    {
        radio_.SetAutoAnswer(true);
        WriteIni("[IO]\nPortStr=" + radio_.Path() +
                 "\nPortNum=0\nRadioType=" + std::to_string(radioType) + "\n" + more);
        Receiver& rx = Started();
        QObject::connect(&rx, &Receiver::DeviceRestartStarted, [this] { ++restarts_; });
        choices_ = std::make_unique<SettingsChoices>(rx, Remote());
        EXPECT_TRUE(RunUntil([&] { return !core::test::ReceiverProbe::RadioBusy(rx); }));
        radio_.Drain();
        return *choices_;
    }

    std::vector<std::string> LinesSince(std::size_t from) { return radio_.LinesSince(from); }
    unsigned LineSpeed() const { return radio_.LineSpeed(); }

    PtyRadio radio_;
    std::unique_ptr<SettingsChoices> choices_;
    int restarts_ = 0;
};

TEST_F(SettingsWithRadio, CreatingItOpensTheStoredPortAndSetsTheRadioUp)
{
    SettingsChoices& c = Create("[Wave]\nFreqCenter=7100005\n");
    EXPECT_TRUE(core::test::ReceiverProbe::PortOpen(*rx_));
    EXPECT_EQ(radio_.Lines(), (std::vector<std::string>{"AL~RW_RFM05", "AL~SW_IQM01",
                                                        "AL~SW_IQF 0000", "AL~RW_RXF07100000"}));
    EXPECT_EQ(LineSpeed(), unsigned(B9600));
    // The pseudo-terminal is no listed port: it is offered as its own entry.
    ASSERT_GE(c.Port(), 0);
    EXPECT_EQ(c.PortEntries()[c.Port()].toStdString(), radio_.Path());
    EXPECT_EQ(S().PortStr, radio_.Path());
    EXPECT_EQ(S().PortNum, c.Port());
    EXPECT_EQ(c.InputEntries().front(), "Default input device");
    EXPECT_EQ(c.OutputEntries().front(), "Default output device");
    EXPECT_EQ(SettingsChoices::RadioTypeEntries(), QStringList({"DX-R8", "DJ-X11", "Hamlib"}));
}

TEST_F(SettingsWithRadio, OkWithOnlyAlwaysOnTopChangedTouchesNeitherDevicesNorPort)
{
    SettingsChoices& c = Create();
    const std::size_t lines = radio_.Lines().size();
    c.ChooseMostTop(true);
    const SettingsChoices::Applied applied = c.Confirm();
    EXPECT_FALSE(applied.devicesRestarted);
    EXPECT_FALSE(applied.radioRestarted);
    EXPECT_TRUE(S().alwaysOnTop);
    EXPECT_EQ(restarts_, 0);
    EXPECT_FALSE(core::test::ReceiverProbe::RadioBusy(*rx_));
    EXPECT_TRUE(LinesSince(lines).empty());
    EXPECT_TRUE(core::test::ReceiverProbe::PortOpen(*rx_));
}

TEST_F(SettingsWithRadio, AnotherRadioTypeReopensTheSamePortAtItsRateWithItsSetUp)
{
    SettingsChoices& c = Create();
    const std::size_t lines = radio_.Lines().size();
    ASSERT_EQ(LineSpeed(), unsigned(B9600));
    EXPECT_TRUE(c.ChooseRadioType(1));  // "DJ-X11" ticks "Invert IQ signal" ...
    EXPECT_TRUE(S().InvIQ);             // ... which acts at once
    EXPECT_EQ(S().RadioType, 0);        // the type itself waits for "OK"

    const SettingsChoices::Applied applied = c.Confirm();
    EXPECT_TRUE(applied.radioRestarted);
    EXPECT_FALSE(applied.devicesRestarted);
    EXPECT_EQ(S().RadioType, 1);
    EXPECT_EQ(S().PortStr, radio_.Path());
    EXPECT_TRUE(core::test::ReceiverProbe::PortOpen(*rx_));
    EXPECT_EQ(LineSpeed(), unsigned(B57600));
    ASSERT_TRUE(RunUntil([&] { return !core::test::ReceiverProbe::RadioBusy(*rx_); }));
    EXPECT_EQ(LinesSince(lines),
              (std::vector<std::string>{"AL~SDRON", "AL~IQ0", "AL~FW00005012000"}));

    // Back to "DX-R8": the box clears, and the old rate and set-up return.
    EXPECT_FALSE(c.ChooseRadioType(0));
    EXPECT_FALSE(S().InvIQ);
    const std::size_t again = radio_.Lines().size();
    c.Confirm();
    EXPECT_EQ(LineSpeed(), unsigned(B9600));
    ASSERT_TRUE(RunUntil([&] { return !core::test::ReceiverProbe::RadioBusy(*rx_); }));
    EXPECT_EQ(LinesSince(again).size(), 4u);
}

TEST_F(SettingsWithRadio, CancelKeepsWhatActedAtOnceAndAppliesNothingElse)
{
    SettingsChoices& c = Create();
    const std::size_t lines = radio_.Lines().size();
    c.SetInputGainPos(20);
    EXPECT_EQ(S().InGainPos, 20);
    EXPECT_DOUBLE_EQ(S().InGain, 10.0);
    c.SetWaterGainPos(40);
    EXPECT_DOUBLE_EQ(S().WaterGain, std::pow(10.0, 0.5));
    c.SetWaterGainPos(-40);
    EXPECT_DOUBLE_EQ(S().WaterGain, std::pow(10.0, -0.5));
    c.ChooseRadioType(1);
    c.ChooseInput(1);
    c.ChooseMostTop(true);
    // "Cancel" only closes the dialog: nothing is confirmed.
    EXPECT_EQ(S().InGainPos, 20);
    EXPECT_TRUE(S().InvIQ);
    EXPECT_EQ(S().RadioType, 0);
    EXPECT_EQ(S().Input, 0);
    EXPECT_FALSE(S().alwaysOnTop);
    EXPECT_EQ(restarts_, 0);
    EXPECT_TRUE(LinesSince(lines).empty());
    // The dialog shows the operator's choices again the next time.
    EXPECT_EQ(c.RadioType(), 1);
    EXPECT_EQ(c.Input(), 1);
    EXPECT_TRUE(c.MostTop());
}

TEST_F(SettingsWithRadio, OtherDevicesRestartBoth)
{
    SettingsChoices& c = Create("[Wave]\nInput=0\nOutput=0\n");
    c.ChooseOutput(2);
    const SettingsChoices::Applied applied = c.Confirm();
    EXPECT_TRUE(applied.devicesRestarted);
    EXPECT_FALSE(applied.radioRestarted);
    EXPECT_EQ(restarts_, 1);
    EXPECT_EQ(S().Input, 0);
    EXPECT_EQ(S().Output, 2);
}

TEST_F(CoreTest, ANamedPortThatIsGoneIsKeptAndTheRadioStartsWithoutIt)
{
    WriteIni("[IO]\nPortStr=ttyGone9\nPortNum=0\n");
    Receiver& rx = Started();
    SettingsChoices c(rx, Remote(), {});
    EXPECT_EQ(c.PortEntries(), QStringList({"ttyGone9 (not present)"}));
    EXPECT_EQ(c.Port(), 0);
    EXPECT_EQ(S().PortStr, "ttyGone9");
    EXPECT_FALSE(core::test::ReceiverProbe::PortOpen(rx));
    // "OK" after choosing "DJ-X11" runs the set-up although no port opened:
    // the centre moves onto the new grid.
    S().FreqCenter = 7100010;
    c.ChooseRadioType(1);
    EXPECT_TRUE(c.Confirm().radioRestarted);
    ASSERT_TRUE(RunUntil([&] { return !core::test::ReceiverProbe::RadioBusy(rx); }));
    EXPECT_EQ(S().FreqCenter, 7100000);
    EXPECT_EQ(S().RadioType, 1);
}

// An adapter unplugged while the program was not running: the port now at
// its position is another device, which must get no radio commands, the
// stored name must outlive the run, and the radio is set up once its port
// is there (a by-id link appearing), also after "OK" with another type.
TEST_F(CoreTest, AStoredPortThatIsNotThereIsWaitedForAndNothingGoesElsewhere)
{
    const std::filesystem::path link = Dir() / "radio-adapter";
    const std::vector<std::string> setUps[] = {
        {"AL~RW_RFM05", "AL~SW_IQM01", "AL~SW_IQF 0000", "AL~RW_RXF05012000"},
        {"AL~SDRON", "AL~IQ0", "AL~FW00005012000"}};
    for (const int type : {0, 1}) {
        PtyRadio other;  // the device now at the stored position
        PtyRadio radio;  // behind the link, once it is made
        other.SetAutoAnswer(true);
        radio.SetAutoAnswer(true);
        std::filesystem::remove(link);
        WriteIni("[IO]\nPortStr=" + link.string() + "\nPortNum=0\n");
        Receiver& rx = Started();
        SettingsChoices c(rx, Remote(), {{other.Path(), "", other.Path()}});
        EXPECT_EQ(c.PortEntries()[1].toStdString(), link.string() + " (not present)");
        EXPECT_EQ(c.Port(), 1);
        EXPECT_EQ(S().PortStr, link.string());
        c.ChooseRadioType(type);
        EXPECT_EQ(c.Confirm().radioRestarted, type != 0);
        ASSERT_TRUE(RunUntil([&] { return !core::test::ReceiverProbe::RadioBusy(rx); }));
        EXPECT_FALSE(core::test::ReceiverProbe::PortOpen(rx));
        std::filesystem::create_symlink(radio.Path(), link);
        ASSERT_TRUE(RunUntil([&] { return radio.Lines().size() >= setUps[type].size(); }));
        EXPECT_TRUE(core::test::ReceiverProbe::PortOpen(rx));
        ASSERT_TRUE(RunUntil([&] { return !core::test::ReceiverProbe::RadioBusy(rx); }));
        EXPECT_EQ(radio.Lines(), setUps[type]);
        ASSERT_TRUE(rx.Shutdown({}));
        EXPECT_NE(ReadFile(IniPath()).find("PortStr=" + link.string() + "\n"), std::string::npos);
        tesmar::test::PumpBriefly();
        other.Drain();
        EXPECT_EQ(other.Raw(), "") << type;
        rx_.reset();
    }
}

TEST_F(CoreTest, TheRemoteRowShowsWhatRunsAndOkKeepsOnlyAChange)
{
    Receiver& rx = Started();
    Remote().UseForThisRun(0);  // the command line's --remote
    const uint16_t port = Remote().Port();
    SettingsChoices c(rx, Remote(), {});
    EXPECT_TRUE(c.RemoteOn());
    EXPECT_EQ(c.RemotePort(), 0);
    // "OK" with the row untouched keeps this run's server and stores nothing.
    EXPECT_FALSE(c.Confirm().remoteChanged);
    EXPECT_EQ(Remote().Port(), port);
    EXPECT_FALSE(S().RemoteStored);

    // An allow list that cannot be read holds "OK" back and names the entry.
    c.ChooseRemoteAllow("192.168.1.0/24, nowhere");
    EXPECT_NE(c.Problem().toStdString().find("\"nowhere\""), std::string::npos);
    c.ChooseRemoteAllow(" 127.0.0.2 ");
    EXPECT_TRUE(c.Problem().isEmpty());
    EXPECT_TRUE(c.Confirm().remoteChanged);
    EXPECT_TRUE(S().RemoteStored);
    EXPECT_TRUE(S().RemoteOn);
    EXPECT_EQ(S().RemoteAllow, "127.0.0.2");
    EXPECT_TRUE(Remote().Listening());

    c.ChooseRemoteOn(false);
    EXPECT_TRUE(c.Confirm().remoteChanged);
    EXPECT_FALSE(Remote().Listening());
    // The operator's choice reaches the settings file, after the 52 keys.
    ASSERT_TRUE(rx.Shutdown({}));
    const std::string ini = ReadFile(IniPath());
    EXPECT_NE(ini.find("[Etc]\nMemName=\n\n[Remote]\nRemoteOn=0\nRemotePort=0\n"
                       "RemoteAllow=127.0.0.2\n"),
              std::string::npos)
        << ini;
}

TEST_F(CoreTest, ARunWithRemoteControlFromTheCommandLineLeavesTheSettingsFileAlone)
{
    Receiver& rx = Started();
    Remote().UseForThisRun(0);
    ASSERT_TRUE(Remote().Listening());
    ASSERT_TRUE(rx.Shutdown({}));
    EXPECT_EQ(ReadFile(IniPath()).find("Remote"), std::string::npos);
}

// The audio over UDP rows: --udp's destination shown, "OK" untouched keeps
// it and stores nothing; a host left empty holds "OK" back; a change is
// applied at once (the status line says where the audio goes) and reaches
// the settings file; a run's --udp alone never does.
TEST_F(CoreTest, TheUdpRowsShowWhatIsSentAndOkKeepsOnlyAChange)
{
    Receiver& rx = Started();
    EXPECT_TRUE(rx.Udp().StatusText().isEmpty());
    tesmar::test::UdpListener decoder;
    ASSERT_TRUE(decoder.Bound());
    rx.Udp().UseForThisRun("127.0.0.1", decoder.Port());
    const QString to = QStringLiteral("Audio over UDP to 127.0.0.1:%1").arg(decoder.Port());
    SettingsChoices c(rx, Remote(), {});
    EXPECT_TRUE(c.UdpOn());
    EXPECT_EQ(c.UdpPort(), decoder.Port());
    EXPECT_EQ(c.UdpStatus(), to);
    EXPECT_FALSE(c.Confirm().udpChanged);
    EXPECT_FALSE(S().UdpStored);
    EXPECT_TRUE(S().DecoderFeed);

    c.ChooseUdpHost("  ");
    EXPECT_NE(c.Problem().toStdString().find("UDP"), std::string::npos);
    c.ChooseUdpHost(" 127.0.0.1 ");
    c.ChooseUdpPort(decoder.Port() == 7355 ? 7356 : 7355);
    EXPECT_TRUE(c.Problem().isEmpty());
    EXPECT_TRUE(c.Confirm().udpChanged);
    EXPECT_TRUE(S().UdpStored);
    EXPECT_EQ(c.UdpStatus(), QStringLiteral("Audio over UDP to 127.0.0.1:%1").arg(S().UdpPort));

    c.ChooseUdpOn(false);
    EXPECT_TRUE(c.Confirm().udpChanged);
    EXPECT_TRUE(c.UdpStatus().isEmpty());
    EXPECT_FALSE(S().DecoderFeed);
    ASSERT_TRUE(rx.Shutdown({}));
    EXPECT_NE(ReadFile(IniPath()).find("\n[UDP]\nUdpOn=0\nUdpHost=127.0.0.1\nUdpPort=" +
                                       std::to_string(S().UdpPort) + "\n"),
              std::string::npos)
        << ReadFile(IniPath());
}

TEST_F(CoreTest, ARunWithUdpFromTheCommandLineLeavesTheSettingsFileAlone)
{
    Receiver& rx = Started();
    rx.Udp().UseForThisRun("127.0.0.1", 7355);
    ASSERT_TRUE(rx.Shutdown({}));
    EXPECT_EQ(ReadFile(IniPath()).find("UDP"), std::string::npos);
}

TEST_F(CoreTest, TheRecordingLevelControlStartsWhenInstalled)
{
    // A stand-in for the desktop's volume control that notes how it was called.
    const std::filesystem::path bin = Dir() / "bin";
    std::filesystem::create_directory(bin);
    const std::filesystem::path called = Dir() / "called";
    WriteFile(bin / "pavucontrol", "#!/bin/sh\necho \"$@\" > " + called.string() + "\n");
    std::filesystem::permissions(bin / "pavucontrol", std::filesystem::perms::owner_all);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString(bin.string()));
    Receiver& rx = Started();
    const LevelControl found = FindRecordingLevelControl();
    SettingsChoices c(rx, Remote(), {});
    ASSERT_TRUE(c.LevelControlAvailable());
    EXPECT_EQ(found.program.toStdString(), (bin / "pavucontrol").string());
    EXPECT_TRUE(c.OpenLevelControl());
    EXPECT_TRUE(RunUntil([&] { return ReadFile(called) == "--tab=4\n"; }, 10000));

    qputenv("PATH", QByteArray::fromStdString((Dir() / "empty").string()));
    SettingsChoices without(rx, Remote(), {});
    EXPECT_FALSE(without.LevelControlAvailable());
    EXPECT_FALSE(without.OpenLevelControl());
    qputenv("PATH", path);
}

}  // namespace
}  // namespace core::test
