// The IF and AF filter windows as the operator meets them: real mouse events
// through the window system onto the picture, the receiver's filters
// redesigned as the edges move, and the main window's buttons redrawing them.

#include "dsp/FilterDesign.h"
#include "dsp/SignalChain.h"
#include "tests/core/ReceiverProbe.h"
#include "tests/ui/WindowFixture.h"
#include "tests/ui_paint/AllocationCounter.h"
#include "ui/windows/AfFilterWindow.h"
#include "ui/windows/IfFilterWindow.h"

#include <QWindow>

#include <memory>
#include <string>
#include <vector>

namespace {

using core::IfChoice;
using core::Mode;
using core::test::ReceiverProbe;

class FilterWindowsTest : public ui::test::WindowFixture {
protected:
    void CreateWindows(ui::SecondaryWindows& windows) override
    {
        ifWindow_ = std::make_unique<ui::IfFilterWindow>(form_->Receiver());
        afWindow_ = std::make_unique<ui::AfFilterWindow>(form_->Receiver());
        windows.ifFilter = ifWindow_.get();
        windows.afFilter = afWindow_.get();
    }
    void DestroyWindows() override
    {
        ifWindow_.reset();
        afWindow_.reset();
    }

    static void Show(ui::FilterWindow& w)
    {
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    }

    // Mouse events through the window system, at (x, y) of the picture.
    static QPoint At(ui::FilterWindow& w, int x, int y)
    {
        return w.PictureBox()->mapTo(&w, QPoint(x, y));
    }
    static void Hover(ui::FilterWindow& w, int x, int y)
    {
        QTest::mouseMove(w.windowHandle(), At(w, x, y));
    }
    static void Press(ui::FilterWindow& w, int x, int y)
    {
        QTest::mousePress(w.windowHandle(), Qt::LeftButton, Qt::NoModifier, At(w, x, y));
    }
    static void Release(ui::FilterWindow& w, int x, int y)
    {
        QTest::mouseRelease(w.windowHandle(), Qt::LeftButton, Qt::NoModifier, At(w, x, y));
    }
    // Onto the edge at (x, y), press, to x + dx, release.
    static void Drag(ui::FilterWindow& w, int x, int y, int dx)
    {
        Hover(w, x, y);
        Press(w, x, y);
        QTest::mouseMove(w.windowHandle(), At(w, x + dx, y));
        Release(w, x + dx, y);
    }
    static Qt::CursorShape CursorOver(ui::FilterWindow& w)
    {
        return w.PictureBox()->cursor().shape();
    }

    // The colour of a pixel of a window's picture.
    static QColor Pixel(ui::FilterWindow& w, int x, int y) { return w.Picture().pixelColor(x, y); }

    std::unique_ptr<ui::IfFilterWindow> ifWindow_;
    std::unique_ptr<ui::AfFilterWindow> afWindow_;
};

constexpr int kCentre = 215;  // the IF picture's carrier line
constexpr int kMidY = 30;     // a row of the band, clear of the grid

TEST_F(FilterWindowsTest, OnePixelOutwardIsTwoUnitsSymmetricAndOneOnASideband)
{
    Make();
    Show(*ifWindow_);
    struct Case {
        Mode mode;
        bool rightEdge;
        int expected;  // from PosIFBW 30
    };
    const Case cases[] = {
        {Mode::Am, true, 32},  {Mode::Am, false, 32},  {Mode::Fm, true, 32},
        {Mode::Usb, true, 31}, {Mode::Lsb, false, 31},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.mode));
        Rx().SelectMode(c.mode);
        S().PosIFBW = 30;
        Rx().SelectIfFilter(IfChoice::User);
        const core::IfBandLayout& l = ifWindow_->Editor().Layout();
        const int edge = c.rightEdge ? l.right : l.left;
        Drag(*ifWindow_, edge, kMidY, c.rightEdge ? 1 : -1);
        EXPECT_EQ(S().PosIFBW, c.expected);
        EXPECT_EQ(S().IFWidth, c.expected * 100);
        const int32_t shift = c.mode == Mode::Usb   ? c.expected * 50
                              : c.mode == Mode::Lsb ? -c.expected * 50
                                                    : 0;
        EXPECT_EQ(S().SSBShift, shift);
        EXPECT_EQ(ifWindow_->Editor().Layout().band, c.expected);
    }
}

TEST_F(FilterWindowsTest, IfDragsHoldAtTheLimitsAndDesignThatWidth)
{
    Make();
    Show(*ifWindow_);
    Rx().SelectMode(Mode::Am);
    Rx().SelectIfFilter(IfChoice::User);
    int right = ifWindow_->Editor().Layout().right;
    Drag(*ifWindow_, right, kMidY, 2000);  // far outside the picture
    EXPECT_EQ(S().PosIFBW, 200);
    EXPECT_EQ(S().IFWidth, 20000);
    right = ifWindow_->Editor().Layout().right;
    EXPECT_EQ(right, kCentre + 100 + 6);
    Drag(*ifWindow_, right, kMidY, kCentre - right);  // onto the carrier line
    EXPECT_EQ(S().PosIFBW, 1);
    EXPECT_EQ(S().IFWidth, 100);

    // The running receiver filters with the dragged width: its IF sections
    // are a fresh design for 100 Hz (cut-off 50 Hz).
    dsp::BiquadSection fresh[4];
    dsp::DesignChebyshev8(+1, 48.0, 100 * 0.0005, fresh);
    const dsp::BiquadSection* installed = ReceiverProbe::Chain(Rx()).IFSections();
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(installed[i].a1, fresh[i].a1);
        EXPECT_EQ(installed[i].b0, fresh[i].b0);
    }
}

TEST_F(FilterWindowsTest, TheEdgeOnTheCarrierLineOfASidebandCannotBeGrabbed)
{
    Make();
    Show(*ifWindow_);
    for (Mode mode : {Mode::Usb, Mode::Lsb}) {
        Rx().SelectMode(mode);
        const core::IfBandLayout& l = ifWindow_->Editor().Layout();
        const int fixed = mode == Mode::Usb ? l.left : l.right;
        ASSERT_EQ(fixed, kCentre);
        const int before = S().PosIFBW;
        Hover(*ifWindow_, fixed + 1, kMidY);
        EXPECT_EQ(CursorOver(*ifWindow_), Qt::ArrowCursor);
        Press(*ifWindow_, fixed + 1, kMidY);
        EXPECT_FALSE(ifWindow_->Editor().Dragging());
        QTest::mouseMove(ifWindow_->windowHandle(), At(*ifWindow_, fixed + 40, kMidY));
        Release(*ifWindow_, fixed + 40, kMidY);
        EXPECT_EQ(S().PosIFBW, before);
        EXPECT_EQ(S().IFBW, IfChoice::Khz3);

        // The free edge takes the resize cursor.
        const int free = mode == Mode::Usb ? l.right : l.left;
        Hover(*ifWindow_, free, kMidY);
        EXPECT_EQ(CursorOver(*ifWindow_), Qt::SizeHorCursor);
        Hover(*ifWindow_, 5, kMidY);
        EXPECT_EQ(CursorOver(*ifWindow_), Qt::ArrowCursor);
    }
}

TEST_F(FilterWindowsTest, OnlyTheBandsRowsStartADrag)
{
    Make();
    Show(*ifWindow_);
    Show(*afWindow_);
    Rx().SelectMode(Mode::Am);
    const int H = ifWindow_->Picture().height();
    const int ifRight = ifWindow_->Editor().Layout().right;
    const int afRight = afWindow_->Editor().Layout().right;
    for (int y : {9, H - 14, 0}) {
        SCOPED_TRACE(y);
        Drag(*ifWindow_, ifRight, y, 20);
        Drag(*afWindow_, afRight, y, 40);
        EXPECT_EQ(S().PosIFBW, 30);
        EXPECT_EQ(S().IFBW, IfChoice::Khz6);
        EXPECT_EQ(S().PosAFFC2, 60);
        EXPECT_EQ(S().AFLPF, core::AfChoice::Khz3);
    }
    // The first and last of the band's rows do.
    Drag(*ifWindow_, ifRight, 10, 1);
    EXPECT_NE(S().PosIFBW, 30);
    Drag(*afWindow_, afRight, H - 15, 4);
    EXPECT_NE(S().PosAFFC2, 60);
}

TEST_F(FilterWindowsTest, TheFirstStepFromSixKilohertzSelectsUser)
{
    Make();
    Show(*ifWindow_);
    Click("modeButtonAm");
    ASSERT_TRUE(Button("ifButton6")->isChecked());
    ASSERT_EQ(S().PosIFBW, 30);
    const int right = ifWindow_->Editor().Layout().right;
    EXPECT_EQ(right, kCentre + 30 + 6);  // "6.0 k" is drawn, not PosIFBW
    Hover(*ifWindow_, right, kMidY);
    EXPECT_EQ(CursorOver(*ifWindow_), Qt::SizeHorCursor);
    Press(*ifWindow_, right, kMidY);
    QTest::mouseMove(ifWindow_->windowHandle(), At(*ifWindow_, right + 1, kMidY));
    EXPECT_EQ(S().PosIFBW, 62);
    EXPECT_EQ(S().IFBW, IfChoice::User);
    EXPECT_TRUE(Button("ifButtonUser")->isChecked());
    EXPECT_EQ(ifWindow_->Editor().Layout().band, 62);
    QTest::mouseMove(ifWindow_->windowHandle(), At(*ifWindow_, right + 3, kMidY));
    Release(*ifWindow_, right + 3, kMidY);
    EXPECT_EQ(S().PosIFBW, 66);
    EXPECT_EQ(S().IFWidth, 6600);
}

TEST_F(FilterWindowsTest, TheMainWindowsButtonsRedrawTheShowingWindows)
{
    Make();
    Click("modeButtonAm");
    EXPECT_FALSE(ifWindow_->isVisible());
    Show(*ifWindow_);
    Show(*afWindow_);
    // AM, "6.0 k": the band covers x = 200 left of the carrier.
    EXPECT_EQ(Pixel(*ifWindow_, 200, kMidY), QColor(0, 128, 0));
    Click("modeButtonUsb");
    EXPECT_EQ(ifWindow_->Editor().Layout().divisor, 1);
    EXPECT_EQ(ifWindow_->Editor().Layout().left, kCentre);
    EXPECT_EQ(Pixel(*ifWindow_, 200, kMidY), QColor(0, 0, 0));
    EXPECT_EQ(Pixel(*ifWindow_, 240, kMidY), QColor(0, 128, 0));
    Click("ifButton12");
    EXPECT_EQ(ifWindow_->Editor().Layout().right, kCentre + 120 + 6);

    // AF "6.0 k" and "3.0 k" redraw the AF window.
    Click("afButton6");
    EXPECT_EQ(afWindow_->Editor().Layout().upper, 60);
    Click("afButton3");
    EXPECT_EQ(afWindow_->Editor().Layout().upper, 30);
}

TEST_F(FilterWindowsTest, UserShowsItsWindowDrawnForTheUserValues)
{
    Make("[Wave]\nPosIFBW=45\nPosAFFC1=5\nPosAFFC2=25\n");
    Click("ifButtonUser");
    EXPECT_TRUE(ifWindow_->isVisible());
    EXPECT_EQ(ifWindow_->Editor().Layout().band, 45);
    EXPECT_EQ(S().IFWidth, 4500);
    Click("afButtonUser");
    EXPECT_TRUE(afWindow_->isVisible());
    EXPECT_EQ(afWindow_->Editor().Layout().lower, 5);
    EXPECT_EQ(afWindow_->Editor().Layout().upper, 25);
    EXPECT_TRUE(ifWindow_->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(afWindow_->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(ifWindow_->size(), QSize(432, 62));
    EXPECT_EQ(afWindow_->PictureBox()->geometry().size(), QSize(430, 60));
}

TEST_F(FilterWindowsTest, TheThreeAndAHalfKilohertzExample)
{
    Make();  // AF "3.0 k", stored user edges 3 and 60
    Show(*afWindow_);
    const int right = afWindow_->Editor().Layout().right;
    ASSERT_EQ(right, 4 * 30 + 12);
    // The upper edge's top corner at 3.5 kHz: x = 9 + 4 * 35.
    Drag(*afWindow_, right, kMidY, (9 + 4 * 35) - right);
    EXPECT_EQ(S().PosAFFC2, 35);
    EXPECT_EQ(S().PosAFFC1, 3);
    EXPECT_EQ(S().AFLPF, core::AfChoice::User);
    EXPECT_TRUE(Button("afButtonUser")->isChecked());
    EXPECT_DOUBLE_EQ(S().AFHigh, 3.5);
}

TEST_F(FilterWindowsTest, AfEdgesStopOneUnitShortOfEachOtherAndAtTheEnds)
{
    Make("[Wave]\nAFLPF=2\nPosAFFC1=10\nPosAFFC2=20\n");
    Show(*afWindow_);
    auto layout = [&]() -> const core::AfBandLayout& { return afWindow_->Editor().Layout(); };
    Drag(*afWindow_, layout().right, kMidY, -300);  // past the lower edge
    EXPECT_EQ(S().PosAFFC2, 11);
    EXPECT_EQ(S().PosAFFC1, 10);
    Drag(*afWindow_, layout().left, kMidY, 300);  // past the upper edge
    EXPECT_EQ(S().PosAFFC1, 10);
    EXPECT_EQ(S().PosAFFC2, 11);

    Drag(*afWindow_, layout().right, kMidY, 1000);  // the right end
    EXPECT_EQ(S().PosAFFC2, 100);
    EXPECT_EQ(layout().right, 412);
    Drag(*afWindow_, layout().left, kMidY, 300);
    EXPECT_EQ(S().PosAFFC1, 85);
    Drag(*afWindow_, layout().left, kMidY, -1000);  // the left end
    EXPECT_EQ(S().PosAFFC1, 1);
    EXPECT_EQ(S().PosAFFC2, 100);
}

TEST_F(FilterWindowsTest, TheUpperLabelIsPushedRightAndPulledBack)
{
    Make("[Wave]\nAFLPF=2\nPosAFFC1=10\nPosAFFC2=30\n");
    Show(*afWindow_);
    auto layout = [&]() -> const core::AfBandLayout& { return afWindow_->Editor().Layout(); };
    EXPECT_EQ(layout().upperLabelX, 4 * 30 + 12 - 10);  // under its edge
    EXPECT_EQ(layout().lowerLabelX, 4 * 10 + 6 - 10);
    Drag(*afWindow_, layout().right, kMidY, -300);  // edges 10 and 11
    EXPECT_EQ(layout().upperLabelX, (4 * 10 + 6) + 40 - 10);
    EXPECT_STREQ(layout().upperLabel.data(), "1.1 kHz");

    Drag(*afWindow_, layout().right, kMidY, 1000);  // 10.0 kHz
    Drag(*afWindow_, layout().left, kMidY, 1000);   // 9.9 kHz
    ASSERT_EQ(S().PosAFFC1, 99);
    EXPECT_EQ(layout().upperLabelX, 430 - 40 - 10);
    EXPECT_STREQ(layout().upperLabel.data(), "10.0 kHz");
    // The upper label's first character, left of the lower label (at 392).
    const int H = afWindow_->Picture().height();
    bool ink = false;
    for (int x = 380; x < 392; ++x)
        for (int y = H - 14; y < H; ++y)
            ink = ink || Pixel(*afWindow_, x, y) == QColor(0, 255, 255);
    EXPECT_TRUE(ink);
}

TEST_F(FilterWindowsTest, WideningTheAfBandChangesWhatTheReceiverPlays)
{
    Make();
    Show(*afWindow_);
    // Blocks run before and after the drag, as on the air.
    std::vector<int16_t> block(dsp::kBlockSamples, 100);
    core::test::ReceiverProbe::HandleBlock(Rx(), block.data());
    Drag(*afWindow_, afWindow_->Editor().Layout().right, kMidY, 4 * 50);  // 3.0 -> 8.0 kHz
    ASSERT_EQ(S().PosAFFC2, 80);
    core::test::ReceiverProbe::HandleBlock(Rx(), block.data());
    double fresh[51];
    dsp::DesignKaiserFir(50, 48.0, 3 * 0.1, 80 * 0.1, 60.0, fresh);
    const double* taps = ReceiverProbe::Chain(Rx()).AFTaps();
    for (int k = 0; k < 51; ++k)
        EXPECT_EQ(taps[k], fresh[k]) << k;
}

TEST_F(FilterWindowsTest, PositionsAreKeptAndWindowsShowAgainAtStart)
{
    Make("[Form]\nFiltTop=40\nFiltLeft=120\nAudioTop=140\nAudioLeft=220\nFiltShow=1\n"
         "AudioShow=1\n");
    EXPECT_TRUE(ifWindow_->isVisible());
    EXPECT_TRUE(afWindow_->isVisible());
    EXPECT_EQ(ifWindow_->pos(), QPoint(120, 40));
    EXPECT_EQ(afWindow_->pos(), QPoint(220, 140));
    ifWindow_->move(130, 50);
    ifWindow_->close();
    EXPECT_EQ(S().ifFilterWindow.left, 130);
    EXPECT_EQ(S().ifFilterWindow.top, 50);
    afWindow_->move(230, 150);
    form_->close();
    const std::string ini = ReadFile("tesmar.ini");
    for (const char* line : {"FiltTop=50", "FiltLeft=130", "AudioTop=150", "AudioLeft=230",
                             "FiltShow=0", "AudioShow=1"})
        EXPECT_NE(ini.find(line), std::string::npos) << line;
}

TEST_F(FilterWindowsTest, WindowsThatNeverShowedKeepTheirStoredPlaceAtExit)
{
    Make("[Form]\nFiltTop=40\nFiltLeft=120\nAudioTop=140\nAudioLeft=220\n");
    form_->close();  // closes every window, also the ones never shown
    const std::string ini = ReadFile("tesmar.ini");
    for (const char* line : {"FiltTop=40", "FiltLeft=120", "AudioTop=140", "AudioLeft=220"})
        EXPECT_NE(ini.find(line), std::string::npos) << line;
}

TEST_F(FilterWindowsTest, ARedrawAllocatesNothing)
{
    Make();
    Show(*ifWindow_);
    Show(*afWindow_);
    Rx().SelectMode(Mode::Lsb);
    alloc::Scope scope;
    for (int i = 0; i < 10; ++i) {
        ifWindow_->PaintPicture();
        afWindow_->PaintPicture();
    }
    EXPECT_EQ(scope.Allocations(), 0u);
}

}  // namespace
