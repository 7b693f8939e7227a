// The spectrum window as the operator meets it on the offscreen platform:
// its layout, clicks and drags tuning the receiver, the band and palette
// buttons, keys and wheel, the pictures it draws per block, and its geometry
// from and back to the settings.

#include "ui/windows/SpectrumWindow.h"

#include "core/Receiver.h"
#include "dsp/SignalChain.h"
#include "recording/RawIqFile.h"
#include "tests/support/TempDir.h"
#include "ui/MainWindow.h"

#include "SpectrumTestUtil.h"
#include "tests/core/ReceiverProbe.h"

#include <QApplication>
#include <QFrame>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

using Spectrum = std::array<double, core::kSpectrumBins>;
using spectrumtest::At;
using spectrumtest::Carrier;
using spectrumtest::Px;

bool AllBlack(const QImage& img)
{
    return painttest::CountIn(img, 0, 0, img.width(), img.height(), [](Px p) {
               return !(p == Px{0, 0, 0});
           }) == 0;
}

void CloseMessageBoxes()
{
    QApplication::processEvents();
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
            box->done(QMessageBox::Ok);
    QApplication::processEvents();
}

// A window 516 x 430 (a 512-pixel waterfall, SpecScale 2) unless the
// settings say otherwise.
const std::string kForm512 = "[Form]\nSpecWidth=516\nSpecHeight=430\n";

class SpectrumWindowTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        window_.reset();
        main_.reset();
        rx_.reset();
        CloseMessageBoxes();
    }

    core::ReceiverPaths Paths(const std::string& ini)
    {
        std::ofstream(dir_ / "tesmar.ini") << ini;
        core::ReceiverPaths paths;
        paths.settingsFile = dir_ / "tesmar.ini";
        paths.dataDirectory = dir_;
        paths.programDirectory = dir_;
        return paths;
    }

    // A started receiver without a sound card (its devices fail quietly).
    core::Receiver& StartReceiver(const std::string& ini = kForm512)
    {
        rx_ = std::make_unique<core::Receiver>(Paths(ini));
        rx_->SetAudioApi(audio::AudioApi::Jack);
        rx_->Start();
        receiver_ = rx_.get();
        return *rx_;
    }

    ui::SpectrumWindow& MakeWindow()
    {
        window_ = std::make_unique<ui::SpectrumWindow>(*receiver_);
        return *window_;
    }

    ui::SpectrumWindow& Make(const std::string& ini = kForm512)
    {
        StartReceiver(ini);
        return MakeWindow();
    }

    // The application's way: the main window owns the receiver and follows
    // the spectrum window's showing and hiding.
    ui::SpectrumWindow& MakeWithMainWindow(const std::string& ini = kForm512)
    {
        main_ = std::make_unique<ui::MainWindow>(Paths(ini), audio::AudioApi::Jack);
        receiver_ = &main_->Receiver();
        MakeWindow();
        ui::SecondaryWindows windows;
        windows.spectrum = window_.get();
        main_->SetSecondaryWindows(windows);
        CloseMessageBoxes();
        return *window_;
    }

    void Show()
    {
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    }

    core::ReceiverState& S() { return core::test::ReceiverProbe::State(*receiver_); }

    template <class Control>
    Control* Find(const char* name)
    {
        auto* c = window_->findChild<Control*>(name);
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    QToolButton* B(const char* name) { return Find<QToolButton>(name); }
    QWidget* View(const char* name) { return Find<QWidget>(name); }

    // A click as the window system delivers it.
    void Click(const char* view, Qt::MouseButton button, int x)
    {
        QTest::mouseClick(View(view), button, Qt::NoModifier, QPoint(x, 10));
    }
    // A press alone, without the pointer's way there: with DragTune on, a
    // move on the way would tune.
    void Press(const char* view, Qt::MouseButton button, int x)
    {
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(x, 10),
                          View(view)->mapToGlobal(QPointF(x, 10)), button, button, Qt::NoModifier);
        QApplication::sendEvent(View(view), &press);
    }
    // A move as the view gets it while it holds the mouse: also beyond its edges.
    void Move(const char* view, int x, Qt::MouseButtons held)
    {
        QMouseEvent move(QEvent::MouseMove, QPointF(x, 10), View(view)->mapToGlobal(QPointF(x, 10)),
                         Qt::NoButton, held, Qt::NoModifier);
        QApplication::sendEvent(View(view), &move);
    }
    void Wheel(QWidget* target, int delta)
    {
        QWheelEvent wheel(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, delta),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(target, &wheel);
    }

    tesmar::test::TempDir temp_;
    const std::filesystem::path dir_ = temp_.Path();
    std::unique_ptr<core::Receiver> rx_;
    std::unique_ptr<ui::MainWindow> main_;
    core::Receiver* receiver_ = nullptr;
    std::unique_ptr<ui::SpectrumWindow> window_;
};

TEST_F(SpectrumWindowTest, LayoutOfTheWindow)
{
    ui::SpectrumWindow& w = Make();
    EXPECT_EQ(w.windowTitle(), "Spectrum Display");
    EXPECT_TRUE(w.isWindow());
    EXPECT_EQ(w.size(), QSize(516, 430));
    EXPECT_EQ(w.minimumSize(), QSize(400, 185));

    struct Expect {
        const char* name;
        const char* caption;
        QRect geometry;
    };
    const Expect buttons[] = {
        {"bandDownButton", "", {1, 2, 41, 20}},
        {"bandUpButton", "", {474, 2, 41, 20}},
        {"paletteButtonMono", "Mono", {59, 2, 40, 20}},
        {"paletteButtonBlue", "Blue", {105, 2, 40, 20}},
        {"paletteButtonYellow", "Yellow", {151, 2, 40, 20}},
        {"paletteButtonRed", "Red", {198, 2, 40, 20}},
        {"paletteButtonGreen", "Green", {244, 2, 40, 20}},
        {"paletteButtonColor", "Color", {290, 2, 40, 20}},
    };
    for (const Expect& e : buttons) {
        EXPECT_EQ(B(e.name)->text().toStdString(), e.caption);
        EXPECT_EQ(B(e.name)->geometry(), e.geometry) << e.name;
    }
    EXPECT_EQ(Find<QFrame>("stripPanel")->geometry(), QRect(1, 24, 514, 60));
    EXPECT_EQ(Find<QFrame>("waterfallPanel")->geometry(), QRect(1, 84, 514, 346));
    EXPECT_EQ(View("strip")->geometry(), QRect(1, 1, 512, 58));
    EXPECT_EQ(View("waterfall")->geometry(), QRect(1, 1, 512, 344));
    EXPECT_EQ(w.StripImage().size(), QSize(512, 58));
    EXPECT_EQ(w.WaterfallImage().size(), QSize(512, 344));
    EXPECT_DOUBLE_EQ(w.View().SpecScale(), 2.0);
    EXPECT_TRUE(B("paletteButtonBlue")->isChecked());  // a first run's ColorNum 1

    // Never smaller than 400 x 185.
    w.resize(100, 100);
    EXPECT_EQ(w.size(), QSize(400, 185));
}

TEST_F(SpectrumWindowTest, ClicksTuneOnBothViews)
{
    Make();
    Show();
    const struct {
        int x;
        int32_t tune;
    } clicks[] = {{0, -24000}, {256, 0}, {300, 4125}, {511, 23906}};
    for (const char* view : {"waterfall", "strip"}) {
        for (const auto& c : clicks) {
            S().MemoryMode = true;
            Click(view, Qt::LeftButton, c.x);
            EXPECT_EQ(S().FreqTune, c.tune) << view << " x " << c.x;
            EXPECT_FALSE(S().MemoryMode);
        }
    }
    // Any other button leaves a memory channel but does not tune.
    S().MemoryMode = true;
    Click("waterfall", Qt::MiddleButton, 100);
    EXPECT_FALSE(S().MemoryMode);
    EXPECT_EQ(S().FreqTune, 23906);
    // Without DragTune the pointer's moves do nothing.
    Move("waterfall", 100, Qt::NoButton);
    EXPECT_EQ(S().FreqTune, 23906);
}

TEST_F(SpectrumWindowTest, RightButtonTogglesDragTuningThatGoesBeyondTheBand)
{
    Make();
    Show();
    Press("waterfall", Qt::RightButton, 300);
    ASSERT_TRUE(S().DragTune);
    EXPECT_EQ(S().FreqTune, -12000);  // the right button itself does not tune

    S().MemoryMode = true;
    Move("strip", 100, Qt::NoButton);  // no button needed
    EXPECT_EQ(S().FreqTune, -14625);
    EXPECT_FALSE(S().MemoryMode);

    // Dragging past the picture's edges: beyond +-24000 Hz, taken as it is.
    Move("waterfall", -40, Qt::LeftButton);
    EXPECT_EQ(S().FreqTune, -27750);
    Move("waterfall", 600, Qt::LeftButton);
    EXPECT_EQ(S().FreqTune, 32250);

    Press("strip", Qt::RightButton, 256);
    EXPECT_FALSE(S().DragTune);
    Move("strip", 256, Qt::NoButton);
    EXPECT_EQ(S().FreqTune, 32250);
}

TEST_F(SpectrumWindowTest, WaterfallRowColoursAndColumnOffset)
{
    ui::SpectrumWindow& w = Make();
    Show();
    ASSERT_EQ(S().ColorNum, 1);  // "Blue"
    ASSERT_EQ(S().WaterGain, 1.0);
    Spectrum db{};
    db[256] = 100.0;    // +6000 Hz
    db[0] = 62.5;       // the centre: still black
    db[1280] = 253.75;  // -18000 Hz: white
    w.Redraw(db.data());
    const QImage& fall = w.WaterfallImage();
    // The strip draws +6000 Hz at x(6000) = 320, the waterfall one pixel left.
    EXPECT_EQ(core::ColumnOfOffset(6000, w.View().SpecScale()), 320);
    EXPECT_EQ(At(fall, 319, 0), (Px{0, 0, 150}));
    EXPECT_EQ(At(fall, 320, 0), (Px{0, 0, 0}));
    EXPECT_EQ(At(fall, 255, 0), (Px{0, 0, 0}));
    EXPECT_EQ(At(fall, 63, 0), (Px{255, 255, 255}));
    EXPECT_EQ(At(fall, 511, 0), (Px{0, 0, 0}));  // the last column is never written
    const QImage& strip = w.StripImage();
    EXPECT_EQ(At(strip, 320, 40), (Px{254, 254, 254}));  // the newest trace's peak, y 40

    // "Red" colours the next row; the row before keeps its blue.
    B("paletteButtonRed")->click();
    EXPECT_EQ(S().ColorNum, 3);
    w.Redraw(db.data());
    EXPECT_EQ(At(fall, 319, 0), (Px{150, 0, 0}));
    EXPECT_EQ(At(fall, 319, 1), (Px{0, 0, 150}));
    // One palette button is down at a time.
    int down = 0;
    for (QToolButton* b : w.findChildren<QToolButton*>())
        down += b->isChecked() ? 1 : 0;
    EXPECT_EQ(down, 1);
}

TEST_F(SpectrumWindowTest, ResizeClearsTheWaterfallAndMovesTheRightButton)
{
    ui::SpectrumWindow& w = Make();
    Show();
    Spectrum db;
    db.fill(253.75);
    w.Redraw(db.data());
    ASSERT_FALSE(AllBlack(w.WaterfallImage()));

    w.resize(700, 400);
    QApplication::processEvents();
    EXPECT_EQ(w.WaterfallImage().size(), QSize(696, 314));
    EXPECT_EQ(w.StripImage().size(), QSize(696, 58));
    EXPECT_TRUE(AllBlack(w.WaterfallImage()));
    EXPECT_DOUBLE_EQ(w.View().SpecScale(), 1024.0 / 696.0);
    EXPECT_EQ(B("bandUpButton")->geometry(), QRect(658, 2, 41, 20));
    EXPECT_EQ(Find<QFrame>("waterfallPanel")->geometry(), QRect(1, 84, 698, 316));
    // The traces are history, not pictures: they stay.
    EXPECT_EQ(w.View().History(2)[0], 253.75);

    // Showing again after a close starts from black too.
    w.Redraw(db.data());
    w.close();
    EXPECT_FALSE(w.isVisible());
    Show();
    EXPECT_TRUE(AllBlack(w.WaterfallImage()));
}

TEST_F(SpectrumWindowTest, ClosingOnlyHides)
{
    ui::SpectrumWindow& w = Make();
    Show();
    Press("waterfall", Qt::RightButton, 10);
    B("paletteButtonGreen")->click();
    Spectrum db;
    db.fill(77.0);
    w.Redraw(db.data());
    EXPECT_TRUE(w.close());
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(S().DragTune);
    EXPECT_EQ(S().ColorNum, 4);
    EXPECT_EQ(w.View().History(2)[7], 77.0);
}

TEST_F(SpectrumWindowTest, AColorNumNoButtonChoosesBecomesMono)
{
    StartReceiver();
    for (int32_t stored : {9, -1, 6}) {
        S().ColorNum = stored;
        MakeWindow();
        EXPECT_EQ(S().ColorNum, 0) << stored;
        EXPECT_TRUE(B("paletteButtonMono")->isChecked()) << stored;
    }
    S().ColorNum = 5;
    MakeWindow();
    EXPECT_EQ(S().ColorNum, 5);
    EXPECT_TRUE(B("paletteButtonColor")->isChecked());
    EXPECT_FALSE(B("paletteButtonMono")->isChecked());
}

TEST_F(SpectrumWindowTest, BandButtonsMoveTheBandBy48Kilohertz)
{
    Make(kForm512 + "[Wave]\nFreqCenter=7100000\nFreqTune=-3000\n");
    Show();
    B("bandUpButton")->click();
    EXPECT_EQ(S().FreqCenter, 7148000);
    EXPECT_EQ(S().FreqTune, -3000);
    B("bandDownButton")->click();
    B("bandDownButton")->click();
    EXPECT_EQ(S().FreqCenter, 7052000);
    EXPECT_EQ(S().FreqTune, -3000);
}

TEST_F(SpectrumWindowTest, BandButtonsStopAtTheRadiosRange)
{
    // "DX-R8" tunes 30000 to 34999990 Hz; from 34990005 the step up is
    // refused, the step down taken onto the 10 Hz grid, the remainder kept
    // in FreqTune so that the receive frequency moves by exactly 48 kHz.
    Make(kForm512 + "[Wave]\nFreqCenter=34990005\nFreqTune=1000\n");
    Show();
    B("bandUpButton")->click();
    EXPECT_EQ(S().FreqCenter, 34990005);
    EXPECT_EQ(S().FreqTune, 1000);
    B("bandDownButton")->click();
    EXPECT_EQ(S().FreqCenter, 34942000);
    EXPECT_EQ(S().FreqTune, 1005);
}

TEST_F(SpectrumWindowTest, BandButtonsDoNothingWhileARawFilePlaysOrRecords)
{
    core::Receiver& r = StartReceiver(kForm512 + "[Wave]\nFreqCenter=7100000\n");
    MakeWindow();
    Show();
    r.Rec(true);
    ASSERT_TRUE(r.RawRecording());
    B("bandUpButton")->click();
    EXPECT_EQ(S().FreqCenter, 7100000);  // the file's header keeps its centre
    r.Rec(false);
    ASSERT_FALSE(r.RawRecording());

    // Without a sound card the file stays at its first block.
    const std::filesystem::path file = dir_ / "take.dat";
    {
        recording::RawRecorder rec;
        ASSERT_TRUE(rec.Start(file, recording::LocalStamp{}, 5012000));
        const std::vector<int16_t> block = Carrier(1000.0);
        for (int n = 0; n < 4; ++n)
            ASSERT_TRUE(rec.AppendBlock(block.data()));
        ASSERT_TRUE(rec.Stop());
    }
    r.OpenRawFile(file);
    ASSERT_TRUE(r.RawPlaying());
    ASSERT_EQ(S().FreqCenter, 5012000);
    B("bandDownButton")->click();
    EXPECT_EQ(S().FreqCenter, 5012000);
    r.Play(false);
    EXPECT_EQ(S().FreqCenter, 7100000);  // where the radio still is
    B("bandDownButton")->click();
    EXPECT_EQ(S().FreqCenter, 7052000);
}

TEST_F(SpectrumWindowTest, KeysAndWheelTuneAndEnterFrequencies)
{
    ui::SpectrumWindow& w = Make();
    Show();
    const int32_t tune = S().FreqTune;
    QTest::keyClick(&w, Qt::Key_Up);
    QTest::keyClick(&w, Qt::Key_Right);
    EXPECT_EQ(S().FreqTune, tune + 2);
    QTest::keyClick(&w, Qt::Key_Down);
    QTest::keyClick(&w, Qt::Key_Left);
    EXPECT_EQ(S().FreqTune, tune);

    // A high-resolution wheel: one step per whole notch of 120.
    for (int i = 0; i < 14; ++i)
        Wheel(&w, 8);
    EXPECT_EQ(S().FreqTune, tune);
    Wheel(&w, 8);
    EXPECT_EQ(S().FreqTune, tune + 1);
    Wheel(&w, -120);
    EXPECT_EQ(S().FreqTune, tune);

    // The main window's frequency entry, on key releases.
    for (Qt::Key k : {Qt::Key_7, Qt::Key_Period, Qt::Key_1})
        QTest::keyClick(&w, k);
    EXPECT_EQ(S().FreqEntry, "7.1");
    // A release without its press here (the Enter that closed a box over
    // the window) is no entry.
    QTest::keyRelease(&w, Qt::Key_Return);
    EXPECT_EQ(S().FreqEntry, "7.1");
    QTest::keyClick(&w, Qt::Key_Return);
    EXPECT_EQ(int64_t(S().FreqCenter) + S().FreqTune, 7100000);
}

TEST_F(SpectrumWindowTest, GeometryComesFromTheSettingsAndGoesBackAtClose)
{
    ui::SpectrumWindow& w =
        Make("[Form]\nSpecTop=40\nSpecLeft=50\nSpecWidth=600\nSpecHeight=300\n");
    EXPECT_EQ(w.pos(), QPoint(50, 40));
    EXPECT_EQ(w.size(), QSize(600, 300));
    EXPECT_EQ(w.WaterfallImage().size(), QSize(596, 214));
    EXPECT_FALSE(w.isMaximized());

    // Activated while normal, it records its geometry.
    w.move(120, 130);
    Show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    EXPECT_EQ(S().spectrumWindow.left, w.x());
    EXPECT_EQ(S().spectrumWindow.top, w.y());
    w.resize(640, 320);
    QApplication::processEvents();
    w.close();
    EXPECT_EQ(S().spectrumWindow.width, 640);
    EXPECT_EQ(S().spectrumWindow.height, 320);
    EXPECT_FALSE(S().spectrumWindow.maximized);
}

TEST_F(SpectrumWindowTest, AMaximisedWindowKeepsItsNormalGeometryForTheSettings)
{
    ui::SpectrumWindow& w =
        Make("[Form]\nSpecTop=40\nSpecLeft=50\nSpecWidth=600\nSpecHeight=300\nSpecMaxmum=1\n");
    EXPECT_TRUE(w.windowState() & Qt::WindowMaximized);
    Show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    w.close();
    EXPECT_TRUE(S().spectrumWindow.maximized);
    EXPECT_EQ(S().spectrumWindow.left, 50);
    EXPECT_EQ(S().spectrumWindow.top, 40);
    EXPECT_EQ(S().spectrumWindow.width, 600);
    EXPECT_EQ(S().spectrumWindow.height, 300);
}

TEST_F(SpectrumWindowTest, HiddenMeansNoAnalysisAndTheTracesWaitForItsReturn)
{
    ui::SpectrumWindow& w = MakeWithMainWindow();
    core::Receiver& r = *receiver_;
    const std::vector<int16_t> up = Carrier(6000.0);     // bin 256
    const std::vector<int16_t> down = Carrier(-6000.0);  // bin 1792
    auto peak = [](const Spectrum& s) {
        return int(std::max_element(s.begin(), s.end()) - s.begin());
    };

    // Hidden from the start: nothing analysed, nothing drawn.
    core::test::ReceiverProbe::HandleBlock(r, up.data());
    EXPECT_FALSE(r.Outputs().SpectrumUpdated);
    EXPECT_EQ(w.View().History(2)[256], 0.0);

    Show();
    core::test::ReceiverProbe::HandleBlock(r, up.data());
    ASSERT_TRUE(r.Outputs().SpectrumUpdated);
    EXPECT_EQ(peak(w.View().History(2)), 256);
    const int column = 320 - 1;  // +6000 Hz on the waterfall
    const Px drawn = At(w.WaterfallImage(), column, 0);
    EXPECT_FALSE(drawn == (Px{0, 0, 0}));

    w.hide();
    core::test::ReceiverProbe::HandleBlock(r, down.data());
    EXPECT_FALSE(r.Outputs().SpectrumUpdated);
    EXPECT_EQ(peak(w.View().History(2)), 256);
    EXPECT_EQ(peak(r.Outputs().SpectrumDb), 256);  // the chain left it as it was

    // Shown again: the traces still hold the spectra from before.
    Show();
    EXPECT_EQ(peak(w.View().History(2)), 256);
    core::test::ReceiverProbe::HandleBlock(r, down.data());
    EXPECT_EQ(peak(w.View().History(2)), 1792);
    EXPECT_EQ(peak(w.View().History(1)), 256);
}

TEST_F(SpectrumWindowTest, TheMainWindowsWheelAlsoStepsPerWholeNotch)
{
    MakeWithMainWindow();
    const int32_t tune = S().FreqTune;
    for (int i = 0; i < 14; ++i)
        Wheel(main_.get(), -8);
    EXPECT_EQ(S().FreqTune, tune);
    Wheel(main_.get(), -8);
    EXPECT_EQ(S().FreqTune, tune - 1);
    Wheel(main_.get(), 240);  // two notches at once: two steps
    EXPECT_EQ(S().FreqTune, tune + 1);
}

}  // namespace
