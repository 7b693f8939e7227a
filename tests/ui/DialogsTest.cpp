// The settings dialog, the "Wave recoder" window and the version window as
// the operator meets them, with a radio on a pseudo-terminal and real files.

#include "HamlibRadios.h"
#include "MessageBoxes.h"
#include "PtyRadio.h"
#include "core/RadioNotice.h"
#include "core/RemoteControl.h"
#include "tests/core/ReceiverProbe.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/TempDir.h"
#include "tests/support/UdpListener.h"
#include "ui/MainWindow.h"
#include "ui/windows/DeviceRestartNotice.h"
#include "ui/windows/Placement.h"
#include "ui/windows/SettingsDialog.h"
#include "ui/windows/VersionWindow.h"
#include "ui/windows/WaveRecorderWindow.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QDesktopServices>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSlider>
#include <QSpinBox>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <fstream>
#include <memory>
#include <numbers>
#include <termios.h>
#include <tuple>
#include <vector>

namespace {

using radio::test::PtyRadio;
using radio::test::PumpBriefly;
using radio::test::PumpUntil;
using ui::test::CloseMessageBoxes;

// Takes the URLs the desktop would have opened.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    std::vector<QUrl> urls;
public slots:
    void Open(const QUrl& url) { urls.push_back(url); }
};

class DialogsTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        version_.reset();
        wave_.reset();
        notice_.reset();
        settings_.reset();
        remote_.reset();
        form_.reset();
        CloseMessageBoxes();
    }

    // Start-up as the application runs it: the main window, remote control
    // beside it, the settings dialog (whose creation opens the radio's port
    // and sets it up), the notice, the wave window and the version window,
    // then the main window shows itself and the windows that were open. `ini` adds to the
    // settings file, whose "[IO]" section names the pseudo-terminal.
    ui::MainWindow& Start(const std::string& ini = "")
    {
        radio_.SetAutoAnswer(true);
        std::ofstream(dir_ / "tesmar.ini") << "[IO]\nPortStr=" << radio_.Path() << "\n" << ini;
        core::ReceiverPaths paths;
        paths.settingsFile = dir_ / "tesmar.ini";
        paths.dataDirectory = dir_;
        paths.programDirectory = dir_;
        form_ = std::make_unique<ui::MainWindow>(paths, audio::AudioApi::Jack);
        remote_ = std::make_unique<core::RemoteControl>(form_->Receiver());
        remote_->ApplyStored();
        settings_ = std::make_unique<ui::SettingsDialog>(form_->Receiver(), *remote_, form_.get());
        notice_ = std::make_unique<ui::DeviceRestartNotice>(settings_.get());
        wave_ = std::make_unique<ui::WaveRecorderWindow>(form_->Receiver());
        version_ = std::make_unique<ui::VersionWindow>(TESMAR_ASSET_DIR, form_.get());
        ui::SecondaryWindows windows;
        windows.settings = settings_.get();
        windows.deviceRestartNotice = notice_.get();
        windows.waveRecorder = wave_.get();
        windows.version = version_.get();
        form_->SetSecondaryWindows(windows);
        form_->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
        CloseMessageBoxes();  // no sound devices here
        EXPECT_TRUE(
            PumpUntil([&] { return !core::test::ReceiverProbe::RadioBusy(form_->Receiver()); }));
        radio_.Drain();
        return *form_;
    }

    core::ReceiverState& S() { return core::test::ReceiverProbe::State(form_->Receiver()); }

    template <class Control>
    Control* In(QWidget* window, const char* name)
    {
        auto* c = window->findChild<Control*>(name);
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    QComboBox* List(const char* name) { return In<QComboBox>(settings_.get(), name); }
    QPushButton* Push(const char* name) { return In<QPushButton>(settings_.get(), name); }
    QCheckBox* Box(const char* name) { return In<QCheckBox>(settings_.get(), name); }

    void OpenSettings()
    {
        QTest::mouseClick(form_->findChild<QToolButton*>("settingsButton"), Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(settings_.get()));
    }
    // The operator picks the entry below the current one.
    static void PickNext(QComboBox* list) { QTest::keyClick(list, Qt::Key_Down); }
    static void PickPrevious(QComboBox* list) { QTest::keyClick(list, Qt::Key_Up); }

    std::vector<std::string> NewRadioLines(std::size_t from) { return radio_.LinesSince(from); }
    unsigned LineSpeed() const { return radio_.LineSpeed(); }

    void FeedBlocks(int n)
    {
        std::vector<int16_t> block(2 * 2400);
        for (int b = 0; b < n; ++b) {
            for (std::size_t i = 0; i < block.size(); ++i)
                block[i] = static_cast<int16_t>((i * 7919 + std::size_t(b) * 104729) % 4000);
            core::test::ReceiverProbe::HandleBlock(form_->Receiver(), block.data());
        }
    }

    tesmar::test::TempDir temp_;
    const std::filesystem::path dir_ = temp_.Path();
    PtyRadio radio_;
    std::unique_ptr<ui::MainWindow> form_;
    std::unique_ptr<core::RemoteControl> remote_;
    std::unique_ptr<ui::SettingsDialog> settings_;
    std::unique_ptr<ui::DeviceRestartNotice> notice_;
    std::unique_ptr<ui::WaveRecorderWindow> wave_;
    std::unique_ptr<ui::VersionWindow> version_;
};

TEST_F(DialogsTest, TheSettingsDialogAsStartUpCreatesIt)
{
    // No recording level control on this desktop.
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString((dir_ / "empty").string()));
    Start("[Wave]\nInGainPos=-10\nWaterGainPos=20\nInvIQ=1\n");
    qputenv("PATH", path);

    // Its creation opened the port and set the "DX-R8" up.
    EXPECT_EQ(radio_.Lines(), (std::vector<std::string>{"AL~RW_RFM05", "AL~SW_IQM01",
                                                        "AL~SW_IQF 0000", "AL~RW_RXF05012000"}));
    EXPECT_TRUE(form_->Receiver().RadioLinkOk());

    ui::SettingsDialog& d = *settings_;
    EXPECT_EQ(d.windowTitle(), "Settings");
    // The original 440 x 227 with the remote control, audio over UDP and
    // input corrections rows above the buttons.
    EXPECT_EQ(d.size(), QSize(440, 380));
    EXPECT_TRUE(d.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(d.windowModality(), Qt::ApplicationModal);
    struct Place {
        const char* name;
        QPoint at;
        int width;
    };
    for (const Place& p : {Place{"inputDevices", {16, 26}, 193},
                           Place{"outputDevices", {16, 74}, 193},
                           Place{"ports", {16, 118}, 193},
                           Place{"radioTypes", {16, 160}, 193},
                           Place{"inputGain", {232, 30}, 193},
                           Place{"waterfallGain", {232, 94}, 193},
                           Place{"invertIq", {234, 139}, -1},
                           Place{"mostTop", {234, 162}, -1},
                           Place{"levelControlButton", {8, 346}, 153},
                           Place{"versionButton", {167, 346}, 146},
                           Place{"okButton", {319, 346}, 50},
                           Place{"cancelButton", {375, 346}, 50},
                           Place{"remoteOn", {16, 199}, -1},
                           Place{"remotePort", {150, 196}, 62},
                           Place{"remoteAllow", {286, 196}, 139},
                           Place{"udpOn", {16, 233}, -1},
                           Place{"udpHost", {150, 230}, 190},
                           Place{"udpPort", {372, 230}, 53},
                           Place{"iqBalance", {90, 278}, 119},
                           Place{"dcRemoval", {234, 281}, -1},
                           Place{"iqGain", {90, 304}, 119},
                           Place{"iqPhase", {306, 304}, 119},
                           Place{"imageRejection", {16, 330}, 409}}) {
        auto* w = d.findChild<QWidget*>(p.name);
        ASSERT_NE(w, nullptr) << p.name;
        EXPECT_EQ(w->pos(), p.at) << p.name;
        if (p.width > 0) {
            EXPECT_EQ(w->width(), p.width) << p.name;
        }
    }
    EXPECT_EQ(Push("levelControlButton")->text(), "Volume control of Windows");
    EXPECT_FALSE(Push("levelControlButton")->isEnabled());
    EXPECT_EQ(Push("versionButton")->text(), "Tesmar version infomation");
    EXPECT_TRUE(Push("okButton")->isDefault());
    EXPECT_EQ(Push("cancelButton")->text(), "Cancel");
    for (QPushButton* b : d.findChildren<QPushButton*>())
        EXPECT_LT(b->fontMetrics().horizontalAdvance(b->text()), b->width())
            << b->text().toStdString();
    EXPECT_EQ(Box("invertIq")->text(), "Invert IQ signal");
    EXPECT_TRUE(Box("invertIq")->isChecked());
    EXPECT_EQ(Box("mostTop")->text(), "Show window always on top");
    // Remote control is off until the operator turns it on.
    EXPECT_FALSE(Box("remoteOn")->isChecked());
    EXPECT_EQ(In<QSpinBox>(&d, "remotePort")->value(), 4532);
    EXPECT_EQ(In<QLineEdit>(&d, "remoteAllow")->text(), "");
    EXPECT_LT(Box("remoteOn")->geometry().right(), In<QSpinBox>(&d, "remotePort")->x());
    for (QLabel* l : d.findChildren<QLabel*>()) {
        if (l->text() == "Also from") {
            EXPECT_LE(l->fontMetrics().horizontalAdvance(l->text()), l->width());
            EXPECT_LT(l->geometry().right(), In<QLineEdit>(&d, "remoteAllow")->x());
        }
    }
    for (QWidget* w : d.findChildren<QWidget*>()) {
        if (w->isVisibleTo(&d) && w->parentWidget() == &d) {
            EXPECT_TRUE(d.rect().contains(w->geometry())) << w->objectName().toStdString();
        }
    }
    for (const char* caption : {"Input device", "Output device", "RS232C port", "Radio type",
                                "Input software wave gain", "Waterfall gain", "-40dB", "+40dB",
                                "-10dB", "+10dB", "IQ balance", "Amplitude", "Phase"}) {
        bool found = false;
        for (QLabel* l : d.findChildren<QLabel*>())
            found = found || l->text() == caption;
        EXPECT_TRUE(found) << caption;
    }

    EXPECT_EQ(List("inputDevices")->itemText(0), "Default input device");
    EXPECT_EQ(List("outputDevices")->itemText(0), "Default output device");
    EXPECT_EQ(List("inputDevices")->currentIndex(), 0);
    EXPECT_EQ(List("ports")->currentText().toStdString(), radio_.Path());
    EXPECT_EQ(S().PortNum, List("ports")->currentIndex());
    ASSERT_EQ(List("radioTypes")->count(), 3);
    EXPECT_EQ(List("radioTypes")->itemText(0), "DX-R8");
    EXPECT_EQ(List("radioTypes")->itemText(1), "DJ-X11");
    EXPECT_EQ(List("radioTypes")->itemText(2), "Hamlib");
    auto* gain = In<QSlider>(&d, "inputGain");
    EXPECT_EQ(gain->minimum(), -40);
    EXPECT_EQ(gain->maximum(), 40);
    EXPECT_EQ(gain->tickInterval(), 10);
    EXPECT_EQ(gain->value(), -10);
    EXPECT_EQ(In<QSlider>(&d, "waterfallGain")->value(), 20);
}

// The track bars showed only their ends: the gain set could not be read.
TEST_F(DialogsTest, TheGainTrackBarsShowTheirValuesBetweenTheirEnds)
{
    Start("[Wave]\nInGainPos=-10\nWaterGainPos=21\n");
    OpenSettings();
    ui::SettingsDialog& d = *settings_;
    const std::tuple<const char*, int, const char*> cases[] = {{"inputGain", -10, "-10dB"},
                                                               {"waterfallGain", 21, "+5.25dB"},
                                                               {"inputGain", 0, "0dB"},
                                                               {"inputGain", 40, "+40dB"},
                                                               {"waterfallGain", -2, "-0.5dB"}};
    for (const auto& [bar, pos, text] : cases) {
        In<QSlider>(&d, bar)->setValue(pos);
        QLabel* shown = In<QLabel>(&d, (std::string(bar) + "Value").c_str());
        ASSERT_NE(shown, nullptr);
        EXPECT_EQ(shown->text(), text) << bar << " " << pos;
        const QRect slider = In<QSlider>(&d, bar)->geometry();
        EXPECT_TRUE(shown->x() > slider.left() + 40 &&
                    shown->geometry().right() < slider.right() - 40 &&
                    shown->y() > slider.bottom());
    }
}

TEST_F(DialogsTest, SettingsOpensModalCentredOverTheMainWindow)
{
    Start("[Form]\nMainLeft=40\nMainTop=30\n");
    OpenSettings();
    EXPECT_EQ(QApplication::activeModalWidget(), settings_.get());
    const QRect desktop = form_->screen()->availableGeometry();
    EXPECT_EQ(settings_->pos(),
              ui::CentredInsideDesktop(form_->frameGeometry(), settings_->frameGeometry().size(),
                                       desktop));
    // A main window at the top edge: the dialog is not pushed above the desktop.
    EXPECT_GE(settings_->y(), desktop.top());
    EXPECT_GE(settings_->x(), desktop.left());
}

TEST_F(DialogsTest, OkWithOnlyAlwaysOnTopChangedTouchesNeitherDevicesNorPort)
{
    ui::MainWindow& f = Start();
    int restarts = 0;
    QObject::connect(&f.Receiver(), &core::Receiver::DeviceRestartStarted, [&] { ++restarts; });
    const std::size_t lines = radio_.Lines().size();
    OpenSettings();
    QTest::mouseClick(Box("mostTop"), Qt::LeftButton);
    QTest::mouseClick(Push("okButton"), Qt::LeftButton);
    EXPECT_FALSE(settings_->isVisible());
    EXPECT_TRUE(S().alwaysOnTop);
    EXPECT_TRUE(f.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(restarts, 0);
    EXPECT_FALSE(notice_->isVisible());
    EXPECT_FALSE(core::test::ReceiverProbe::RadioBusy(f.Receiver()));
    EXPECT_TRUE(NewRadioLines(lines).empty());
    EXPECT_TRUE(core::test::ReceiverProbe::PortOpen(f.Receiver()));
}

TEST_F(DialogsTest, TheRemoteRowTurnsRemoteControlOnWithOkAndRefusesAnUnreadableList)
{
    Start();
    core::RemoteControl& remote = *remote_;
    // A port nobody uses at this moment.
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress(QHostAddress::LocalHost), 0));
    const int port = probe.serverPort();
    probe.close();

    OpenSettings();
    QTest::mouseClick(Box("remoteOn"), Qt::LeftButton);
    In<QSpinBox>(settings_.get(), "remotePort")->setValue(port);
    auto* allow = In<QLineEdit>(settings_.get(), "remoteAllow");
    QTest::keyClicks(allow, "192.168.1.0/24, radio.local");
    QTest::mouseClick(Push("okButton"), Qt::LeftButton);
    // Nothing applied, the dialog stays, and says which entry it cannot read.
    EXPECT_TRUE(settings_->isVisible());
    EXPECT_FALSE(remote.Listening());
    const std::vector<std::string> shown = CloseMessageBoxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find("\"radio.local\""), std::string::npos) << shown[0];

    allow->setText("192.168.1.0/24");
    QTest::mouseClick(Push("okButton"), Qt::LeftButton);
    EXPECT_FALSE(settings_->isVisible());
    ASSERT_TRUE(remote.Listening());
    EXPECT_EQ(remote.Port(), port);
    EXPECT_TRUE(S().RemoteStored);
    QTcpSocket client;
    client.connectToHost(QHostAddress(QHostAddress::LocalHost), quint16(port));
    ASSERT_TRUE(client.waitForConnected(5000));
    client.write("f\n");
    ASSERT_TRUE(PumpUntil([&] { return client.canReadLine(); }));
    EXPECT_EQ(client.readLine().toStdString(), "5000000\n");

    // Off again with the box.
    OpenSettings();
    QTest::mouseClick(Box("remoteOn"), Qt::LeftButton);
    QTest::mouseClick(Push("okButton"), Qt::LeftButton);
    EXPECT_FALSE(remote.Listening());
    EXPECT_FALSE(S().RemoteOn);
}

// The audio over UDP rows: on with "OK", the last line says where the audio
// goes and a decoder there gets the next block; off again, the line clears.
TEST_F(DialogsTest, TheUdpRowsSendAudioWithOkAndTheLastLineSaysWhere)
{
    ui::MainWindow& f = Start();
    tesmar::test::UdpListener decoder;
    ASSERT_TRUE(decoder.Bound());
    OpenSettings();
    auto* status = In<QLabel>(settings_.get(), "udpStatus");
    EXPECT_TRUE(status->text().isEmpty());
    EXPECT_EQ(In<QLineEdit>(settings_.get(), "udpHost")->text(), "127.0.0.1");
    EXPECT_EQ(In<QSpinBox>(settings_.get(), "udpPort")->value(), 7355);
    QTest::mouseClick(Box("udpOn"), Qt::LeftButton);
    In<QSpinBox>(settings_.get(), "udpPort")->setValue(decoder.Port());
    QTest::mouseClick(Push("okButton"), Qt::LeftButton);
    EXPECT_FALSE(settings_->isVisible());
    EXPECT_EQ(status->text(), QStringLiteral("Audio over UDP to 127.0.0.1:%1").arg(decoder.Port()));
    EXPECT_TRUE(S().UdpStored);
    const std::vector<int16_t> frames(4800, 100);
    core::test::ReceiverProbe::HandleBlock(f.Receiver(), frames.data());
    EXPECT_EQ(decoder.Receive(5000).size(), 960u);

    OpenSettings();
    QTest::mouseClick(Box("udpOn"), Qt::LeftButton);
    QTest::mouseClick(Push("okButton"), Qt::LeftButton);
    EXPECT_TRUE(status->text().isEmpty());
    EXPECT_FALSE(S().UdpOn);
}

// Numbers as a German desktop writes them, in the C library and in Qt, for
// the length of a test.
class GermanNumbers {
public:
    GermanNumbers()
        : before_(std::setlocale(LC_ALL, nullptr))
    {
        ok_ = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }
    ~GermanNumbers()
    {
        std::setlocale(LC_ALL, before_.c_str());
        QLocale::setDefault(qt_);
    }
    bool Ok() const { return ok_; }

private:
    std::string before_;
    QLocale qt_;
    bool ok_ = false;
};

std::string ReadIni(const std::filesystem::path& file)
{
    std::ifstream in(file);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The input corrections' row shows the stored choice; each change reaches
// the chain at once (the manual balance is set while watching the spectrum),
// the amplitude and phase take input only in manual mode, and "Cancel" keeps
// what was changed, which the settings file then holds.
TEST_F(DialogsTest, TheInputCorrectionsRowActsAtOnceAndCancelKeepsIt)
{
    ui::MainWindow& f = Start("[Wave]\nIQCorr=2\nDCCorr=0\nIQCorrGain=-50\nIQCorrPhase=125\n");
    OpenSettings();
    QComboBox* balance = List("iqBalance");
    auto* gain = In<QDoubleSpinBox>(settings_.get(), "iqGain");
    auto* phase = In<QDoubleSpinBox>(settings_.get(), "iqPhase");
    auto* rejection = In<QLabel>(settings_.get(), "imageRejection");
    ASSERT_EQ(balance->count(), 3);
    EXPECT_EQ(balance->currentText(), "Manual");
    EXPECT_FALSE(Box("dcRemoval")->isChecked());
    EXPECT_EQ(Box("dcRemoval")->text(), "DC removal");
    EXPECT_EQ(gain->value(), -0.5);
    EXPECT_EQ(phase->value(), 1.25);
    const dsp::ChainControls& chain = core::test::ReceiverProbe::Chain(f.Receiver()).Controls();

    // Each entry as the operator picks it: up from "Manual", then down again.
    const std::tuple<bool, const char*, int> picks[] = {
        {true, "Automatic", 1}, {true, "Off", 0}, {false, "Automatic", 1}, {false, "Manual", 2}};
    for (const auto& [up, text, code] : picks) {
        SCOPED_TRACE(text);
        up ? PickPrevious(balance) : PickNext(balance);
        EXPECT_EQ(balance->currentText(), text);
        EXPECT_EQ(chain.IQCorr, code);
        EXPECT_EQ(gain->isEnabled(), code == 2);
        EXPECT_EQ(phase->isEnabled(), code == 2);
        // Measured only while the automatic balance runs.
        EXPECT_EQ(rejection->text().isEmpty(), code != 1) << rejection->text().toStdString();
    }
    QTest::mouseClick(Box("dcRemoval"), Qt::LeftButton);
    EXPECT_TRUE(chain.DCCorr);
    gain->setValue(1.0);
    phase->setValue(-2.5);
    EXPECT_EQ(chain.IQCorrGain, 100);
    EXPECT_EQ(chain.IQCorrPhase, -250);
    EXPECT_EQ(gain->text(), "1.00 dB");

    QTest::mouseClick(Push("cancelButton"), Qt::LeftButton);
    EXPECT_FALSE(settings_->isVisible());
    EXPECT_EQ(chain.IQCorr, 2);
    EXPECT_TRUE(chain.DCCorr);
    EXPECT_EQ(chain.IQCorrGain, 100);
    EXPECT_EQ(chain.IQCorrPhase, -250);
    OpenSettings();
    EXPECT_EQ(balance->currentText(), "Manual");
    EXPECT_EQ(gain->value(), 1.0);
    QTest::mouseClick(Push("cancelButton"), Qt::LeftButton);

    f.close();
    const std::string ini = ReadIni(dir_ / "tesmar.ini");
    for (const char* line : {"IQCorr=2\n", "DCCorr=1\n", "IQCorrGain=100\n", "IQCorrPhase=-250\n"})
        EXPECT_NE(ini.find(line), std::string::npos) << line;
}

// Looking at the row writes nothing of it to the settings file.
TEST_F(DialogsTest, TheInputCorrectionsRowLookedAtWritesNothing)
{
    ui::MainWindow& f = Start();
    OpenSettings();
    QTest::mouseClick(Push("cancelButton"), Qt::LeftButton);
    f.close();
    const std::string ini = ReadIni(dir_ / "tesmar.ini");
    EXPECT_EQ(ini.find("IQCorr"), std::string::npos);
    EXPECT_EQ(ini.find("DCCorr"), std::string::npos);
}

// The image rejection the automatic balance measures, once chosen, is
// refreshed while the dialog shows, with a point on a German desktop too.
TEST_F(DialogsTest, TheMeasuredImageRejectionIsShownWithAPointInAnyLocale)
{
    const GermanNumbers german;
    ASSERT_TRUE(german.Ok()) << "de_DE.UTF-8 is not generated: run scripts/deps";
    ui::MainWindow& f = Start();
    OpenSettings();
    auto* rejection = In<QLabel>(settings_.get(), "imageRejection");
    EXPECT_TRUE(rejection->text().isEmpty());  // the balance is off
    PickNext(List("iqBalance"));               // "Automatic"
    EXPECT_EQ(rejection->text(), "Image rejection: no station measured yet");

    // A carrier 6 kHz above the centre through a card 1 dB and 3 degrees off.
    const double g = std::pow(10.0, 1.0 / 20.0), p = 3.0 * std::numbers::pi / 180.0;
    std::vector<int16_t> block(2 * 2400);
    for (int b = 0, n = 0; b < 20; ++b) {
        for (int k = 0; k < 2400; ++k, ++n) {
            const double w = 2.0 * std::numbers::pi * 6000.0 * n / 48000.0;
            const double i0 = 8000.0 * std::sin(w), q0 = 8000.0 * std::cos(w);
            block[2 * k] = int16_t(std::lround(g * (i0 * std::cos(p) + q0 * std::sin(p))));
            block[2 * k + 1] = int16_t(std::lround(q0));
        }
        core::test::ReceiverProbe::HandleBlock(f.Receiver(), block.data());
    }
    ASSERT_TRUE(PumpUntil([&] { return rejection->text().endsWith(" dB"); }, 5000))
        << rejection->text().toStdString();
    EXPECT_TRUE(QRegularExpression("^Image rejection [0-9]+\\.[0-9] dB$")
                    .match(rejection->text())
                    .hasMatch())
        << rejection->text().toStdString();
    QTest::mouseClick(Push("cancelButton"), Qt::LeftButton);
}

TEST_F(DialogsTest, ARadioTypePickedTicksInvertAndOkReopensThePortForIt)
{
    ui::MainWindow& f = Start();
    const std::size_t lines = radio_.Lines().size();
    ASSERT_EQ(LineSpeed(), unsigned(B9600));
    OpenSettings();
    PickNext(List("radioTypes"));  // "DJ-X11"
    EXPECT_TRUE(Box("invertIq")->isChecked());
    EXPECT_TRUE(S().InvIQ);
    QTest::mouseClick(Push("okButton"), Qt::LeftButton);
    EXPECT_EQ(S().RadioType, 1);
    EXPECT_EQ(LineSpeed(), unsigned(B57600));
    ASSERT_TRUE(PumpUntil([&] { return !core::test::ReceiverProbe::RadioBusy(f.Receiver()); }));
    EXPECT_EQ(NewRadioLines(lines),
              (std::vector<std::string>{"AL~SDRON", "AL~IQ0", "AL~FW00005012000"}));
    EXPECT_TRUE(f.Receiver().RadioLinkOk());
}

// The Hamlib area appears below the controls, which keep their places, only
// with the "Hamlib" type; a model typed by name, a rigctld's address and an
// offset typed in reach the radio with "OK".
TEST_F(DialogsTest, TheHamlibAreaAppearsWithItsTypeAndOkOpensTheRadio)
{
    radio::test::Rigctld server;
    ASSERT_TRUE(server.Start());
    ui::MainWindow& f = Start("[Wave]\nFreqCenter=7100000\n");
    OpenSettings();
    auto* area = settings_->findChild<QWidget*>("hamlibArea");
    ASSERT_NE(area, nullptr);
    EXPECT_FALSE(area->isVisible());
    EXPECT_EQ(settings_->height(), ui::SettingsDialog::kClientHeight);
    const QRect types = List("radioTypes")->geometry(), ok = Push("okButton")->geometry();
    EXPECT_TRUE(List("ports")->isVisible());

    PickNext(List("radioTypes"));
    PickNext(List("radioTypes"));  // "Hamlib"
    EXPECT_EQ(List("radioTypes")->currentText(), "Hamlib");
    EXPECT_FALSE(Box("invertIq")->isChecked());
    EXPECT_TRUE(area->isVisible());
    EXPECT_EQ(settings_->height(),
              ui::SettingsDialog::kClientHeight + ui::SettingsDialog::kHamlibAreaHeight);
    EXPECT_EQ(List("radioTypes")->geometry(), types);
    // The buttons stay at the foot, below the area (they sat between the
    // controls and the Hamlib fields), and the Hamlib port alone is shown.
    EXPECT_EQ(Push("okButton")->geometry(),
              ok.translated(0, ui::SettingsDialog::kHamlibAreaHeight));
    EXPECT_LT(area->geometry().bottom(), Push("okButton")->y());
    for (const char* name : {"okButton", "cancelButton", "levelControlButton", "versionButton"})
        EXPECT_GT(Push(name)->geometry().bottom(), settings_->height() - 20) << name;
    EXPECT_FALSE(List("ports")->isVisible());
    for (QLabel* l : settings_->findChildren<QLabel*>())
        EXPECT_FALSE(l->text() == "RS232C port" && l->isVisible());

    QComboBox* model = In<QComboBox>(area, "hamlibModel");
    model->lineEdit()->clear();
    QTest::keyClicks(model->lineEdit(), "net RIGCTL");
    // The search's matches: the first picked.
    QAbstractItemView* matches = model->completer()->popup();
    ASSERT_TRUE(PumpUntil([&] { return matches->isVisible(); }));
    QTest::keyClick(matches, Qt::Key_Down);
    QTest::keyClick(matches, Qt::Key_Return);
    EXPECT_TRUE(model->currentText().startsWith("Hamlib NET rigctl (2)"))
        << model->currentText().toStdString();
    QComboBox* port = In<QComboBox>(area, "hamlibPort");
    port->lineEdit()->clear();
    QTest::keyClicks(port->lineEdit(), QString::fromStdString(server.Address()));
    In<QSpinBox>(area, "hamlibIqOffset")->setValue(12000);
    QTest::mouseClick(Push("okButton"), Qt::LeftButton);

    // Only the NET rigctl model on this rigctld's address, behind the offset, moves its dial.
    ASSERT_TRUE(PumpUntil([&] { return f.Receiver().RadioLinkOk(); }));
    ASSERT_TRUE(PumpUntil([&] { return server.Rigctl("f") == "7088000"; }));

    // rigctld away: the main window tells it in its notice and takes clicks
    // (a box stayed open after the radio was back), and says when the radio
    // answers again. The notice may tell of the sound devices too (none opens
    // here), on a line of their own.
    auto* notice = f.findChild<QLabel*>("soundNotice");
    ASSERT_NE(notice, nullptr);
    EXPECT_FALSE(notice->text().contains("radio")) << notice->text().toStdString();
    server.Stop();
    ASSERT_TRUE(PumpUntil([&] { return !f.Receiver().RadioLinkOk(); }));
    EXPECT_TRUE(notice->isVisible());
    EXPECT_TRUE(notice->text().contains("does not answer")) << notice->text().toStdString();
    EXPECT_GE(notice->height(), notice->heightForWidth(notice->width()));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    ASSERT_TRUE(server.Start());
    ASSERT_TRUE(PumpUntil([&] { return f.Receiver().RadioLinkOk(); }));
    EXPECT_TRUE(notice->text().split('\n').contains(QString::fromLatin1(core::kRadioBackMessage)))
        << notice->text().toStdString();
    EXPECT_FALSE(notice->text().contains("does not answer")) << notice->text().toStdString();
    EXPECT_TRUE(CloseMessageBoxes().empty());

    // Another type hides the area again.
    OpenSettings();
    PickPrevious(List("radioTypes"));
    EXPECT_FALSE(area->isVisible());
    EXPECT_TRUE(List("ports")->isVisible());
    EXPECT_EQ(settings_->height(), ui::SettingsDialog::kClientHeight);
    EXPECT_EQ(Push("okButton")->geometry(), ok);
}

TEST_F(DialogsTest, CancelKeepsTheGainsAndTheExchangeAndShowsTheChoicesAgain)
{
    ui::MainWindow& f = Start();
    const std::size_t lines = radio_.Lines().size();
    OpenSettings();
    auto* gain = In<QSlider>(settings_.get(), "inputGain");
    QTest::keyClick(gain, Qt::Key_PageUp);  // +10 dB
    EXPECT_EQ(S().InGainPos, 10);
    EXPECT_NEAR(S().InGain, std::sqrt(10.0), 1e-12);
    In<QSlider>(settings_.get(), "waterfallGain")->setValue(40);
    EXPECT_NEAR(S().WaterGain, std::sqrt(10.0), 1e-12);
    PickNext(List("radioTypes"));
    QTest::mouseClick(Box("mostTop"), Qt::LeftButton);
    QTest::mouseClick(Push("cancelButton"), Qt::LeftButton);
    EXPECT_FALSE(settings_->isVisible());

    EXPECT_EQ(S().InGainPos, 10);
    EXPECT_TRUE(S().InvIQ);
    EXPECT_EQ(S().RadioType, 0);
    EXPECT_FALSE(S().alwaysOnTop);
    EXPECT_FALSE(f.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(NewRadioLines(lines).empty());

    // Opened again, it shows what the operator left, applied or not.
    OpenSettings();
    EXPECT_EQ(List("radioTypes")->currentText(), "DJ-X11");
    EXPECT_TRUE(Box("mostTop")->isChecked());
    EXPECT_EQ(gain->value(), 10);
    // "OK" now applies the type chosen before.
    QTest::mouseClick(Push("okButton"), Qt::LeftButton);
    EXPECT_EQ(S().RadioType, 1);
    EXPECT_TRUE(S().alwaysOnTop);
}

TEST_F(DialogsTest, AnotherDeviceRestartsBothUnderTheNotice)
{
    // Device 2 was chosen on a machine with more devices than this one.
    ui::MainWindow& f = Start("[Wave]\nOutput=2\n");
    auto* outputs = List("outputDevices");
    ASSERT_EQ(outputs->count(), 3);
    EXPECT_EQ(outputs->currentIndex(), 2);
    EXPECT_EQ(outputs->itemText(2), "Device 2 (not present)");
    bool noticeShown = false;
    QObject::connect(&f.Receiver(), &core::Receiver::DeviceRestartStarted, [&] {
        QApplication::processEvents();
        noticeShown = notice_->isVisible();
    });
    int finished = 0;
    QObject::connect(&f.Receiver(), &core::Receiver::DeviceRestartFinished, [&] { ++finished; });
    OpenSettings();
    PickPrevious(outputs);
    PickPrevious(outputs);  // the default device
    QTest::mouseClick(Push("okButton"), Qt::LeftButton);
    EXPECT_TRUE(noticeShown);
    EXPECT_EQ(S().Output, 0);
    EXPECT_EQ(S().Input, 0);
    ASSERT_TRUE(PumpUntil([&] { return finished == 1; }));
    EXPECT_FALSE(notice_->isVisible());
    // Neither device exists here: both say so again.
    EXPECT_EQ(CloseMessageBoxes().size(), 2u);
}

TEST_F(DialogsTest, TheVolumeControlButtonOpensTheDesktopsRecordingLevels)
{
    const std::filesystem::path bin = dir_ / "bin";
    std::filesystem::create_directory(bin);
    const std::filesystem::path called = dir_ / "called";
    std::ofstream(bin / "pavucontrol") << "#!/bin/sh\necho \"$@\" > " << called.string() << "\n";
    std::filesystem::permissions(bin / "pavucontrol", std::filesystem::perms::owner_all);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QByteArray::fromStdString(bin.string()));
    Start();
    qputenv("PATH", path);
    OpenSettings();
    ASSERT_TRUE(Push("levelControlButton")->isEnabled());
    QTest::mouseClick(Push("levelControlButton"), Qt::LeftButton);
    EXPECT_TRUE(PumpUntil(
        [&] {
            std::ifstream in(called);
            std::string args;
            std::getline(in, args);
            return args == "--tab=4";
        },
        10000));
    EXPECT_TRUE(settings_->isVisible());
}

TEST_F(DialogsTest, TheVersionWindowOpensFromTheSettingsAndItsLinkOpensTheReadme)
{
    Start();
    OpenSettings();
    QTest::mouseClick(Push("versionButton"), Qt::LeftButton);
    ui::VersionWindow& v = *version_;
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&v));
    EXPECT_EQ(QApplication::activeModalWidget(), &v);
    EXPECT_EQ(v.windowTitle(), "Version information");
    EXPECT_EQ(v.size(), QSize(218, 249));
    EXPECT_TRUE(v.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(In<QLabel>(&v, "version")->text(), "Tesmar version " TESMAR_TEST_VERSION);
    EXPECT_TRUE(In<QLabel>(&v, "build")->text().contains(QRegularExpression("^Build [0-9]{3,}")))
        << In<QLabel>(&v, "build")->text().toStdString();
    EXPECT_EQ(In<QLabel>(&v, "logo")->pixmap().size(), QSize(200, 50));
    EXPECT_EQ(In<QLabel>(&v, "icon")->pixmap().size(), QSize(32, 32));
    EXPECT_EQ(In<QLabel>(&v, "heading")->text(), "Tesmar Web Site");
    // Heading, link and "Close" stand in the middle of the window.
    for (const char* name : {"heading", "link", "closeButton"}) {
        auto* w = v.findChild<QWidget*>(name);
        EXPECT_EQ(w->x(), 218 / 2 - w->width() / 2) << name;
    }
    EXPECT_EQ(v.findChild<QWidget*>("closeButton")->geometry(), QRect(65, 216, 89, 25));
    // Every line is whole, whatever face stands in for the one laid out for.
    for (QLabel* l : v.findChildren<QLabel*>())
        EXPECT_LE(l->fontMetrics().horizontalAdvance(l->text()), l->width())
            << l->text().toStdString();

    UrlCatcher desktop;
    QDesktopServices::setUrlHandler("file", &desktop, "Open");
    QTest::mouseClick(v.Link(), Qt::LeftButton);
    QDesktopServices::unsetUrlHandler("file");
    ASSERT_EQ(desktop.urls.size(), 1u);
    EXPECT_EQ(desktop.urls[0], QUrl::fromLocalFile(TESMAR_ASSET_DIR "/README.md"));
    EXPECT_EQ(v.Link()->text(), "README.md");

    QTest::mouseClick(v.findChild<QPushButton*>("closeButton"), Qt::LeftButton);
    EXPECT_FALSE(v.isVisible());
    EXPECT_TRUE(settings_->isVisible());
}

TEST_F(DialogsTest, TheWaveWindowRecordsAndARecordingOutlivesTheWindow)
{
    ui::MainWindow& f = Start("[Form]\nWaveShow=1\nWaveLeft=210\nWaveTop=160\n");
    ui::WaveRecorderWindow& w = *wave_;
    // Shown again at start-up where it was left.
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    EXPECT_EQ(w.pos(), QPoint(210, 160));
    EXPECT_EQ(w.windowTitle(), "Wave recoder");
    EXPECT_EQ(w.size(), QSize(223, 31));
    EXPECT_TRUE(w.windowFlags().testFlag(Qt::Tool));
    EXPECT_TRUE(w.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QToolButton* rec = w.RecButton();
    QLabel* time = w.TimePanel();
    EXPECT_EQ(rec->text(), "REC");
    EXPECT_EQ(rec->palette().color(QPalette::ButtonText), QColor(Qt::red));
    EXPECT_EQ(time->text(), "00:00:00");
    EXPECT_EQ(time->font().pixelSize(), 16);
    EXPECT_EQ(time->palette().color(QPalette::Window), QColor(Qt::black));
    const QColor grey(128, 128, 128), white(255, 255, 255);
    EXPECT_EQ(time->palette().color(QPalette::WindowText), grey);

    QTest::mouseClick(rec, Qt::LeftButton);
    ASSERT_TRUE(f.Receiver().WaveRecording());
    EXPECT_TRUE(rec->isChecked());
    EXPECT_EQ(time->palette().color(QPalette::WindowText), white);
    FeedBlocks(20);
    EXPECT_EQ(time->text(), "00:00:00");
    FeedBlocks(1);
    EXPECT_EQ(time->text(), "00:00:01");  // the 21st block

    // Closing the window keeps its place and the recording.
    w.move(230, 170);
    w.close();
    EXPECT_EQ(S().waveRecorderWindow.left, 230);
    EXPECT_EQ(S().waveRecorderWindow.top, 170);
    FeedBlocks(20);
    EXPECT_TRUE(f.Receiver().WaveRecording());
    QTest::mouseClick(f.findChild<QToolButton*>("waveButton"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    EXPECT_TRUE(rec->isChecked());
    EXPECT_EQ(time->text(), "00:00:02");

    QTest::mouseClick(rec, Qt::LeftButton);
    EXPECT_FALSE(f.Receiver().WaveRecording());
    EXPECT_EQ(time->text(), "00:00:02");  // the last time stays
    EXPECT_EQ(time->palette().color(QPalette::WindowText), grey);
    const auto file = *std::filesystem::directory_iterator(dir_ / "Wav");
    EXPECT_EQ(std::filesystem::file_size(file), 44u + 41u * 800u);

    // Closing the main window records that the wave window was showing.
    f.close();
    std::ifstream in(dir_ / "tesmar.ini");
    const std::string ini((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(ini.find("WaveShow=1"), std::string::npos);
    EXPECT_NE(ini.find("WaveLeft=230"), std::string::npos);
}

TEST_F(DialogsTest, AFullDiskReleasesRecAndSaysWhichFileStoppedAndWhy)
{
    ui::MainWindow& f = Start();
    wave_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(wave_.get()));
    QTest::mouseClick(wave_->RecButton(), Qt::LeftButton);
    ASSERT_TRUE(f.Receiver().WaveRecording());
    const std::filesystem::path file = *std::filesystem::directory_iterator(dir_ / "Wav");
    {
        tesmar::test::FileSizeLimit full(44 + 2 * 800 + 100);
        for (int n = 0; n < 6 && wave_->RecButton()->isChecked(); ++n)
            FeedBlocks(1);
    }
    EXPECT_FALSE(wave_->RecButton()->isChecked());
    EXPECT_FALSE(f.Receiver().WaveRecording());
    EXPECT_EQ(wave_->TimePanel()->palette().color(QPalette::WindowText), QColor(128, 128, 128));
    const std::vector<std::string> shown = CloseMessageBoxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find(file.string()), std::string::npos) << shown[0];
    EXPECT_NE(shown[0].find(std::strerror(EFBIG)), std::string::npos) << shown[0];
    EXPECT_EQ(std::filesystem::file_size(file), 44u + 2u * 800u);
}

}  // namespace

#include "DialogsTest.moc"
