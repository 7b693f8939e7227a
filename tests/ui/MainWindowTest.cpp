// The main window as the operator meets it: its controls where the layout
// puts them, clicks, keys, wheel and knobs reaching the receiver, the display
// following, and closing saving the settings.

#include "ui/MainWindow.h"
#include "MessageBoxes.h"
#include "core/RemoteControl.h"
#include "dsp/SignalChain.h"
#include "tests/core/ReceiverProbe.h"
#include "tests/support/TempDir.h"
#include "ui/ImageBox.h"
#include "ui/windows/KeypadWindow.h"
#include "ui/windows/MemoryListWindow.h"
#include "ui/windows/SettingsDialog.h"
#include "ui/windows/SpectrumWindow.h"
#include "ui/windows/WaveRecorderWindow.h"

#include <QAbstractProxyModel>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

class MainWindowTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        spectrum_.reset();
        keypad_.reset();
        memoryList_.reset();
        waveRecorder_.reset();
        settings_.reset();
        remote_.reset();
        form_.reset();
        CloseMessageBoxes();
    }

    // A main window whose files all live in the test's folder. Without a JACK
    // server of the test's own, both devices fail to open and say so.
    ui::MainWindow& Make()
    {
        core::ReceiverPaths paths;
        paths.settingsFile = dir_ / "tesmar.ini";
        paths.dataDirectory = dir_;
        paths.programDirectory = dir_;
        form_ = std::make_unique<ui::MainWindow>(paths, audio::AudioApi::Jack);
        form_->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
        startMessages_ = CloseMessageBoxes();
        form_->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(form_.get()));
        return *form_;
    }

    // Make() with the secondary windows the main window opens, created as
    // the application creates them.
    ui::MainWindow& MakeWithWindows()
    {
        Make();
        spectrum_ = std::make_unique<ui::SpectrumWindow>(form_->Receiver());
        // No radio here: the dialog's creation opens the stored port, which
        // must not be the machine's first serial port.
        S().PortStr = (dir_ / "no-radio").string();
        remote_ = std::make_unique<core::RemoteControl>(form_->Receiver());
        settings_ = std::make_unique<ui::SettingsDialog>(form_->Receiver(), *remote_, form_.get());
        keypad_ = std::make_unique<ui::KeypadWindow>();
        memoryList_ = std::make_unique<ui::MemoryListWindow>(form_->Receiver());
        waveRecorder_ = std::make_unique<ui::WaveRecorderWindow>(form_->Receiver());
        ui::SecondaryWindows windows;
        windows.spectrum = spectrum_.get();
        windows.settings = settings_.get();
        windows.keypad = keypad_.get();
        windows.memoryList = memoryList_.get();
        windows.waveRecorder = waveRecorder_.get();
        form_->SetSecondaryWindows(windows);
        return *form_;
    }

    // The error boxes that are showing.
    static std::vector<QMessageBox*> OpenBoxes()
    {
        std::vector<QMessageBox*> boxes;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
                boxes.push_back(box);
        return boxes;
    }

    // Closes the error boxes that are open and returns their texts.
    static std::vector<std::string> CloseMessageBoxes() { return ui::test::CloseMessageBoxes(); }

    core::ReceiverState& S() { return core::test::ReceiverProbe::State(form_->Receiver()); }

    // A control of the main window by its object name.
    template <class Control = QToolButton>
    Control* Find(const char* name)
    {
        auto* c = form_->findChild<Control*>(name);
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    QToolButton* B(const char* name) { return Find(name); }
    ui::ImageBox* Image(const char* name) { return Find<ui::ImageBox>(name); }

    void Click(const char* name) { QTest::mouseClick(B(name), Qt::LeftButton); }

    // Keys as the window system delivers them: to the window that has the
    // keyboard at that moment.
    static void Press(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QTest::keyPress(QGuiApplication::focusWindow(), key, mods);
    }
    static void Release(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        QTest::keyRelease(QGuiApplication::focusWindow(), key, mods);
    }
    static void Key(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        Press(key, mods);
        Release(key, mods);
    }

    static void Type(const std::string& text)
    {
        for (char c : text)
            Key(c == '.' ? Qt::Key_Period : static_cast<Qt::Key>(Qt::Key_0 + (c - '0')));
    }

    std::string ReadIni()
    {
        std::ifstream in(dir_ / "tesmar.ini");
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    tesmar::test::TempDir temp_;
    const std::filesystem::path dir_ = temp_.Path();
    std::unique_ptr<ui::MainWindow> form_;
    std::unique_ptr<ui::SpectrumWindow> spectrum_;
    std::unique_ptr<core::RemoteControl> remote_;
    std::unique_ptr<ui::SettingsDialog> settings_;
    std::unique_ptr<ui::KeypadWindow> keypad_;
    std::unique_ptr<ui::MemoryListWindow> memoryList_;
    std::unique_ptr<ui::WaveRecorderWindow> waveRecorder_;
    std::vector<std::string> startMessages_;
};

TEST_F(MainWindowTest, LayoutAndFirstRunState)
{
    ui::MainWindow& f = Make();
    EXPECT_EQ(f.windowTitle(), "Tesmar");
    // Grown by the strip below the controls that tells of the devices.
    EXPECT_EQ(f.size(), QSize(734, 155 + ui::MainWindow::kNoticeHeight));
    EXPECT_FALSE(f.windowFlags() & Qt::WindowMaximizeButtonHint);

    struct Expect {
        const char* name;
        const char* caption;
        QRect geometry;
    };
    const Expect expected[] = {
        {"modeButtonAm", "AM", {8, 94, 40, 20}},
        {"modeButtonCw", "CW", {192, 94, 40, 20}},
        {"agcButtonFast", "Fast", {243, 94, 40, 20}},
        {"ifButton12", "12.0 k", {146, 129, 40, 20}},
        {"afButtonUser", "User", {335, 129, 40, 20}},
        {"cancellerButton", "AN", {483, 94, 40, 20}},
        {"recButton", "Rec", {391, 129, 40, 20}},
        {"playButton", "Play", {483, 129, 40, 20}},
        {"stepUpButton", "Up", {673, 110, 41, 16}},
        {"stepDownButton", "Down", {673, 130, 41, 16}},
        {"waveButton", "Wave", {631, 60, 40, 20}},
        {"spectrumButton", "Spectrum", {677, 34, 50, 20}},
        {"monitorButton", "Monitor", {677, 60, 50, 20}},
    };
    for (const Expect& e : expected) {
        QToolButton* b = B(e.name);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->text().toStdString(), e.caption);
        EXPECT_EQ(b->geometry(), e.geometry) << e.caption;
    }
    EXPECT_EQ(Image("frequencyDisplay")->size(), QSize(471, 70));
    EXPECT_EQ(Image("meter")->size(), QSize(140, 70));
    EXPECT_EQ(Image("volumeKnob")->geometry(), QRect(553, 112, 32, 32));
    EXPECT_EQ(Image("squelchKnob")->geometry(), QRect(616, 112, 32, 32));

    // A first run: "AM", "6.0 k", "3.0 k", "Middle"; Play waits for a file.
    EXPECT_TRUE(B("modeButtonAm")->isChecked());
    EXPECT_TRUE(B("ifButton6")->isChecked());
    EXPECT_TRUE(B("afButton3")->isChecked());
    EXPECT_TRUE(B("agcButtonMiddle")->isChecked());
    EXPECT_FALSE(B("playButton")->isEnabled());
    EXPECT_TRUE(B("recButton")->isEnabled());

    // Neither device opened, each said so without a box, and the window
    // carries on. The notice hides no reading: it lies apart from every
    // other part of the window.
    EXPECT_TRUE(startMessages_.empty());
    auto* notice = f.findChild<QLabel*>("soundNotice");
    ASSERT_NE(notice, nullptr);
    EXPECT_TRUE(notice->isVisible());
    EXPECT_TRUE(notice->text().startsWith(
        "Can not open the recoding device. Can not open the play device. "))
        << notice->text().toStdString();
    for (QWidget* w : f.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (w != notice && w->isVisible()) {
            EXPECT_FALSE(w->geometry().intersects(notice->geometry()))
                << w->objectName().toStdString();
        }
    }
    EXPECT_TRUE(f.rect().contains(notice->geometry()));
}

TEST_F(MainWindowTest, ModeButtonsPressTheirFilters)
{
    Make();
    Click("modeButtonLsb");  // from "6.0 k"
    EXPECT_EQ(S().RxMode, core::Mode::Lsb);
    EXPECT_TRUE(B("modeButtonLsb")->isChecked());
    EXPECT_TRUE(B("ifButton3")->isChecked());
    EXPECT_EQ(S().SSBShift, -1500);

    Click("modeButtonAm");
    Click("ifButton12");  // by hand
    EXPECT_EQ(S().IFWidth, 12000);
    Click("modeButtonAm");  // again: undoes it
    EXPECT_TRUE(B("ifButton6")->isChecked());
    EXPECT_EQ(S().IFWidth, 6000);

    Click("agcButtonSlow");
    EXPECT_EQ(S().AGC, core::AgcSpeed::Slow);
    Click("cancellerButton");  // "AN" down, then up
    EXPECT_TRUE(S().DSPAN);
    Click("cancellerButton");
    EXPECT_FALSE(S().DSPAN);
}

TEST_F(MainWindowTest, MonitorReleasesRecOnScreenOnly)
{
    ui::MainWindow& f = Make();
    Click("recButton");
    ASSERT_TRUE(B("recButton")->isChecked());
    ASSERT_TRUE(f.Receiver().RawRecording());
    EXPECT_FALSE(B("openButton")->isEnabled());

    Click("monitorButton");
    EXPECT_TRUE(B("monitorButton")->isChecked());
    EXPECT_TRUE(S().MonitorOn);
    EXPECT_FALSE(B("recButton")->isChecked());
    EXPECT_TRUE(f.Receiver().RawRecording());
}

TEST_F(MainWindowTest, KeysStepAndTypeAFrequency)
{
    ui::MainWindow& f = Make();
    const int32_t tune = S().FreqTune;
    QTest::keyClick(&f, Qt::Key_Up);
    EXPECT_EQ(S().FreqTune, tune + 1);
    QTest::keyClick(&f, Qt::Key_Left);
    EXPECT_EQ(S().FreqTune, tune);

    // Digits typed on the main window tune as the keypad does.
    Type("7.1");
    EXPECT_EQ(S().FreqEntry, "7.1");
    Key(Qt::Key_Return);
    EXPECT_EQ(S().FreqEntry, "");
    EXPECT_EQ(int64_t(S().FreqCenter) + S().FreqTune, 7100000);

    // Beyond the "DX-R8" limits: refused, nothing changes.
    const int32_t center = S().FreqCenter;
    Type("35");
    Key(Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(S().FreqCenter, center);

    B("stepUpButton")->click();  // 2 Hz
    EXPECT_EQ(S().StepNum, 1);
    EXPECT_EQ(S().TuneStep, 2);
}

TEST_F(MainWindowTest, TheEnterThatClosesAnErrorBoxIsNoEntry)
{
    Make();
    Type(".");
    Key(Qt::Key_Return);  // a lone "." cannot be read
    std::vector<QMessageBox*> boxes = OpenBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    QMessageBox* box = boxes[0];
    EXPECT_EQ(box->text(), "\".\" is not a frequency in MHz.");
    box->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(box));

    // The operator's Enter closes the box as it goes down; it comes up over
    // the main window, which has the keyboard again.
    Press(Qt::Key_Return);
    QApplication::processEvents();
    ASSERT_TRUE(OpenBoxes().empty());
    form_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));
    Release(Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_TRUE(OpenBoxes().empty());  // not the same box again
    EXPECT_EQ(S().FreqEntry, ".");     // kept for "BS" or "CE"

    // Keys pressed and released on the main window still work.
    Key(Qt::Key_Backspace);
    Type("7");
    Key(Qt::Key_Return);
    EXPECT_EQ(int64_t(S().FreqCenter) + S().FreqTune, 7000000);
}

TEST_F(MainWindowTest, TheSettingsDialogBlocksTheOtherWindowsWhileOpen)
{
    MakeWithWindows();
    keypad_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(keypad_.get()));
    Click("settingsButton");
    ASSERT_TRUE(QTest::qWaitForWindowExposed(settings_.get()));
    EXPECT_EQ(QApplication::activeModalWidget(), settings_.get());

    // Clicks as the window system delivers them do not get through: not on
    // the main window's "Up", not on the keypad's "7".
    const QPoint up = B("stepUpButton")->geometry().center();
    QTest::mouseClick(form_->windowHandle(), Qt::LeftButton, Qt::NoModifier, up);
    auto* seven = keypad_->findChild<QToolButton*>("digitButton7");
    ASSERT_NE(seven, nullptr);
    const QPoint sevenAt = seven->mapTo(keypad_.get(), seven->rect().center());
    QTest::mouseClick(keypad_->windowHandle(), Qt::LeftButton, Qt::NoModifier, sevenAt);
    EXPECT_EQ(S().StepNum, 0);
    EXPECT_EQ(S().FreqEntry, "");

    settings_->close();
    QTest::mouseClick(form_->windowHandle(), Qt::LeftButton, Qt::NoModifier, up);
    EXPECT_EQ(S().StepNum, 1);
}

TEST_F(MainWindowTest, WindowButtonsBringAnOpenWindowToTheFront)
{
    MakeWithWindows();
    const std::pair<const char*, QWidget*> buttons[] = {
        {"spectrumButton", spectrum_.get()},
        {"keyButton", keypad_.get()},
        {"listButton", memoryList_.get()},
        {"waveButton", waveRecorder_.get()},
    };
    for (const auto& [button, window] : buttons) {
        SCOPED_TRACE(button);
        Click(button);
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
        // The main window in front again; the window stays open behind it.
        form_->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));
        ASSERT_TRUE(window->isVisible());
        Click(button);
        EXPECT_TRUE(QTest::qWaitForWindowActive(window, 1000));
    }
}

TEST_F(MainWindowTest, WheelAndClickTurnTheHoveredKnob)
{
    ui::MainWindow& f = Make();
    ASSERT_EQ(S().GainPos, -150);
    QEnterEvent enter(QPointF(10, 10), QPointF(10, 10), QPointF(10, 10));
    QApplication::sendEvent(Image("volumeKnob"), &enter);
    const int32_t tune = S().FreqTune;
    for (int i = 0; i < 3; ++i) {
        QWheelEvent wheel(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, 120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(&f, &wheel);
    }
    EXPECT_EQ(S().GainPos, -138);
    EXPECT_EQ(S().FreqTune, tune);  // the knob took the wheel, not the tuning
    EXPECT_DOUBLE_EQ(S().VolGain, (-138 + 150) * 5.0);

    // A click straight below the centre turns it to the right stop.
    QTest::mouseClick(Image("volumeKnob"), Qt::LeftButton, Qt::NoModifier, QPoint(15, 31));
    EXPECT_EQ(S().GainPos, 150);
    // A click on the centre leaves it alone.
    QTest::mouseClick(Image("volumeKnob"), Qt::LeftButton, Qt::NoModifier, QPoint(16, 17));
    EXPECT_EQ(S().GainPos, 150);

    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(Image("volumeKnob"), &leave);
    QWheelEvent wheel(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&f, &wheel);
    EXPECT_EQ(S().GainPos, 150);
    EXPECT_EQ(S().FreqTune, tune - 1);
}

TEST_F(MainWindowTest, DisplayFollowsTheBlocks)
{
    ui::MainWindow& f = Make();
    // The squelch starts open (SQL at its left stop): after a block the
    // "BUSY" lamp is lit.
    std::vector<int16_t> silence(dsp::kBlockSamples, 0);
    core::test::ReceiverProbe::HandleBlock(f.Receiver(), silence.data());
    const QImage& shown = Image("frequencyDisplay")->Shown();
    ASSERT_EQ(shown.size(), QSize(471, 70));
    EXPECT_EQ(shown.pixelColor(11, 60), QColor(0, 255, 0));    // inside, left of the label
    EXPECT_EQ(shown.pixelColor(10, 54), QColor(0, 0, 0));      // a corner of the lamp
    EXPECT_EQ(shown.pixelColor(51, 60), QColor(0, 128, 128));  // "COM" dark: no radio
}

TEST_F(MainWindowTest, ClosingSavesTheSettings)
{
    ui::MainWindow& f = Make();
    Click("modeButtonFm");
    f.close();
    const std::string ini = ReadIni();
    EXPECT_NE(ini.find("RxMode=1"), std::string::npos);
    EXPECT_NE(ini.find("IFBW=3"), std::string::npos);
    EXPECT_NE(ini.find("[Etc]"), std::string::npos);
    form_.reset();

    // The next start comes up in "FM" with "12.0 k".
    Make();
    EXPECT_TRUE(B("modeButtonFm")->isChecked());
    EXPECT_TRUE(B("ifButton12")->isChecked());
}

// A termination signal (logout, service stop) closes without waiting on a
// box, also when the operator's own close is already waiting on one; the
// failed save is shown at the next start instead, once.
TEST_F(MainWindowTest, ATerminatedCloseWaitsOnNoBoxAndTheNextStartTellsWhy)
{
    for (const bool boxFirst : {false, true}) {
        SCOPED_TRACE(boxFirst ? "signal while the close's box waits" : "signal");
        ui::MainWindow& f = Make();
        std::filesystem::create_directory(dir_ / "tesmar.ini");  // cannot be saved
        bool boxWaited = false;
        // A close that waits on its box for good would hang here: give up on it.
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, [&] {
            boxWaited = !OpenBoxes().empty();
            CloseMessageBoxes();
        });
        guard.start(3000);
        if (boxFirst) {
            QTimer::singleShot(100, &f, [&f] {
                EXPECT_EQ(OpenBoxes().size(), 1u);  // the operator has not answered yet
                f.CloseForTermination();
            });
            f.close();
        } else {
            f.CloseForTermination();
        }
        EXPECT_FALSE(boxWaited);
        EXPECT_FALSE(f.isVisible());
        EXPECT_TRUE(OpenBoxes().empty());
        form_.reset();
        std::filesystem::remove(dir_ / "tesmar.ini");

        const std::string file = (dir_ / "tesmar.ini").string();
        auto naming = [&] {
            return std::count_if(startMessages_.begin(), startMessages_.end(),
                                 [&](const std::string& m) { return m.find(file) != m.npos; });
        };
        Make();
        EXPECT_EQ(naming(), 1);
        form_.reset();
        Make();
        EXPECT_EQ(naming(), 0);
        form_.reset();
    }
}

// Numbers with a decimal point, as most SigMF writers put them: strtod
// refused them under a locale with a decimal comma (the LocaleWindows run).
TEST_F(MainWindowTest, OpenPlaysASigmfRecording)
{
    std::ofstream(dir_ / "take.sigmf-meta") << R"({"global":{"core:datatype":"ci16_le",
        "core:sample_rate":48000.0,"core:version":"1.0.0"},
        "captures":[{"core:frequency":7.05e6}]})";
    std::ofstream(dir_ / "take.sigmf-data") << std::string(4 * 48000, '\0');
    Make();
    Click("openButton");
    auto* chooser = Find<QFileDialog>("openRawFileDialog");
    chooser->selectFile(QString::fromStdString((dir_ / "take.sigmf-meta").string()));
    QMetaObject::invokeMethod(chooser, "accept");  // its "Open" button
    EXPECT_EQ(CloseMessageBoxes(), std::vector<std::string>{});
    EXPECT_TRUE(form_->Receiver().RawPlaying());
    EXPECT_EQ(S().FreqCenter, 7050000);
}

// The main window closes every window at exit, also those never shown this
// run; a hidden window's own place is not where it was stored (the wave
// recorder's was (0,0)).
TEST_F(MainWindowTest, WindowsThatNeverShowedKeepTheirStoredPlaceAtExit)
{
    const char* const kept[] = {"InpTop=40",  "InpLeft=120",  "WaveTop=210",   "WaveLeft=330",
                                "SpecTop=60", "SpecLeft=70",  "SpecWidth=500", "SpecHeight=250",
                                "ListTop=90", "ListLeft=260", "ListWidth=410", "ListHeight=230"};
    {
        std::ofstream ini(dir_ / "tesmar.ini");
        ini << "[Form]\n";
        for (const char* line : kept)
            ini << line << "\n";
    }
    MakeWithWindows().close();
    const std::string ini = ReadIni();
    for (const char* line : kept)
        EXPECT_NE(ini.find(std::string("\n") + line + "\n"), std::string::npos) << line << "\n"
                                                                                << ini;
}

// The dialog started on "DAT (*.dat)" and hid the WAV and SigMF recordings
// that "Open" plays.
TEST_F(MainWindowTest, OpenStartsOnEveryRecordingItPlays)
{
    Make();
    Click("openButton");
    QFileDialog* dialog = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "openRawFileDialog" && w->isVisible())
            dialog = qobject_cast<QFileDialog*>(w);
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->nameFilters().contains("DAT (*.dat)"));
    const QString filter = dialog->selectedNameFilter();
    const QStringList patterns =
        filter.mid(filter.indexOf('(') + 1).chopped(1).split(' ', Qt::SkipEmptyParts);
    for (const char* name :
         {"20261207_093015_7100.dat", "take.wav", "TAKE.WAV", "wide.rf64", "take.sigmf-meta",
          "take.sigmf-data", "band.sdriq", "gqrx_20261207_093015_7100000_96000_fc.raw"})
        EXPECT_TRUE(QDir::match(patterns, name)) << name << " " << filter.toStdString();
    dialog->reject();
}

// The keypad's sounds lie beside the installed demo band, where "Open"
// starts: WAV files of one channel are not listed as recordings.
TEST_F(MainWindowTest, OpenListsNoWavFileThatIsNoRecording)
{
    auto wav = [this](const char* name, uint16_t channels) {
        std::ofstream out(dir_ / name, std::ios::binary);
        const uint32_t rate = 48000, bytes = 64;
        const uint16_t format = 1, bits = 16, align = uint16_t(2 * channels);
        const uint32_t byteRate = rate * align, riff = 36 + bytes, fmt = 16;
        out.write("RIFF", 4).write(reinterpret_cast<const char*>(&riff), 4).write("WAVEfmt ", 8);
        out.write(reinterpret_cast<const char*>(&fmt), 4);
        out.write(reinterpret_cast<const char*>(&format), 2);
        out.write(reinterpret_cast<const char*>(&channels), 2);
        out.write(reinterpret_cast<const char*>(&rate), 4);
        out.write(reinterpret_cast<const char*>(&byteRate), 4);
        out.write(reinterpret_cast<const char*>(&align), 2);
        out.write(reinterpret_cast<const char*>(&bits), 2);
        out.write("data", 4).write(reinterpret_cast<const char*>(&bytes), 4);
        out << std::string(bytes, '\0');
    };
    wav("beep1.wav", 1);
    wav("take.wav", 2);
    Make();
    Click("openButton");
    auto* dialog = Find<QFileDialog>("openRawFileDialog");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->directory().absolutePath(),
              QDir(QString::fromStdString(dir_.string())).absolutePath());
    QAbstractProxyModel* proxy = dialog->proxyModel();
    ASSERT_NE(proxy, nullptr);
    auto* files = qobject_cast<QFileSystemModel*>(proxy->sourceModel());
    ASSERT_NE(files, nullptr);
    const QModelIndex folder = files->index(QString::fromStdString(dir_.string()));
    auto listed = [&](const char* name) {
        return proxy
            ->mapFromSource(
                files->index(QDir(QString::fromStdString(dir_.string())).filePath(name)))
            .isValid();
    };
    for (int i = 0; i < 200 && !listed("take.wav"); ++i)
        QTest::qWait(10);
    EXPECT_TRUE(folder.isValid());
    EXPECT_TRUE(listed("take.wav"));
    EXPECT_FALSE(listed("beep1.wav"));
    dialog->reject();
}

}  // namespace
