// The spectrum window's two pictures as the painter leaves them: where the
// pass band, the dotted grid, the tuning line, the traces and the label land,
// how the waterfall scrolls, and that a block's redraw allocates nothing.

#include "ui/paint/SpectrumPainter.h"

#include "core/model/Palette.h"

#include "AllocationCounter.h"
#include "PaintTestUtil.h"

#include <gtest/gtest.h>

#include <array>

using namespace painttest;

namespace {

const Px kBlack{0, 0, 0};
const Px kGrey{192, 192, 192};
const Px kRed{255, 0, 0};
const Px kYellow{255, 255, 0};
const Px kGreen{0, 255, 0};
const Px kBand{128, 128, 0};
const Px kDragBand{0, 128, 0};

using Spectrum = std::array<double, core::kSpectrumBins>;

// A 512-pixel strip and waterfall (SpecScale 2), receiving at FreqTune.
class SpectrumPaint : public ::testing::Test {
protected:
    SpectrumPaint()
    {
        view.SetWidth(512);
        painter.Resize(512, 100);
        in.FreqCenter = 5012000;
        in.FreqTune = -12000;
        in.RxMode = core::Mode::Am;
        in.IFWidth = 3000;
    }

    const QImage& Strip() { return painter.Strip(); }
    const QImage& Waterfall() { return painter.Waterfall(); }
    void Paint() { painter.PaintStrip(in, view); }

    core::SpectrumView view;
    ui::SpectrumPainter painter;
    ui::StripInputs in;
};

TEST_F(SpectrumPaint, PicturesAre24BitAndTheStrip58High)
{
    EXPECT_EQ(Strip().format(), QImage::Format_RGB888);
    EXPECT_EQ(Strip().size(), QSize(512, 58));
    EXPECT_EQ(Waterfall().format(), QImage::Format_RGB888);
    EXPECT_EQ(Waterfall().size(), QSize(512, 100));
}

// Row 57 lies in a gap of every dotted vertical line and below the label and
// the traces' floor: there only the pass band and the tuning line show.
TEST_F(SpectrumPaint, PassBandSpanByMode)
{
    const struct {
        core::Mode mode;
        int left, right;  // the band's first and last columns
    } cases[] = {
        {core::Mode::Lsb, 96, 127}, {core::Mode::Usb, 129, 159}, {core::Mode::Am, 112, 143}};
    for (const auto& c : cases) {
        SCOPED_TRACE(dsp::Code(c.mode));
        in.RxMode = c.mode;
        Paint();
        EXPECT_EQ(At(Strip(), c.left - 1, 57), c.left - 1 == 128 ? kYellow : kBlack);
        EXPECT_EQ(At(Strip(), c.left, 57), kBand);
        EXPECT_EQ(At(Strip(), c.right, 57), kBand);
        EXPECT_EQ(At(Strip(), c.right + 1, 57), c.right + 1 == 128 ? kYellow : kBlack);
        EXPECT_EQ(At(Strip(), 128, 57), kYellow);  // the tuning line, x(-12000)
    }
    in.DragTune = true;
    Paint();
    EXPECT_EQ(At(Strip(), 112, 57), kDragBand);
    EXPECT_EQ(At(Strip(), 128, 57), kGreen);
}

TEST_F(SpectrumPaint, DottedGridWithARedCentre)
{
    in.FreqTune = 20000;  // the tuning line and label well away from the checks
    Paint();
    // Vertical lines at (512 x i) div 48: three dots on, three off from y 0.
    for (int y = 0; y < 12; ++y) {
        const bool dot = (y / 3) % 2 == 0;
        EXPECT_EQ(At(Strip(), 256, y), dot ? kRed : kBlack) << y;
        EXPECT_EQ(At(Strip(), 10, 20 + y), ((20 + y) / 3) % 2 == 0 ? kGrey : kBlack) << y;
    }
    EXPECT_EQ(At(Strip(), 11, 0), kBlack);
    EXPECT_EQ(At(Strip(), 501, 0), kGrey);
    // Horizontal lines at y 9, 19, 29, 39, 49 from x 0, over the vertical ones.
    for (int x = 0; x < 9; ++x)
        EXPECT_EQ(At(Strip(), x, 49), (x / 3) % 2 == 0 ? kGrey : kBlack) << x;
    EXPECT_EQ(At(Strip(), 255, 9), (255 / 3) % 2 == 0 ? kGrey : kBlack);
    EXPECT_EQ(At(Strip(), 258, 19), kGrey);  // 258 / 3 = 86, a dot; the red line lies at 256
    EXPECT_EQ(At(Strip(), 0, 10), kBlack);
}

TEST_F(SpectrumPaint, ThreeTracesOldestFirstInTheirGreys)
{
    in.FreqTune = -20000;
    Spectrum s{};
    for (double v : {200.0, 150.0, 100.0}) {  // rows 20, 30, 40
        s.fill(v);
        view.PushSpectrum(s.data());
    }
    Paint();
    EXPECT_EQ(At(Strip(), 300, 20), (Px{169, 169, 169}));
    EXPECT_EQ(At(Strip(), 300, 30), (Px{190, 190, 190}));
    EXPECT_EQ(At(Strip(), 300, 40), (Px{254, 254, 254}));
    EXPECT_EQ(At(Strip(), 100, 40), (Px{254, 254, 254}));  // the lower half
    // Each segment leaves out its end, so the last column of each half
    // (bins 1023 and 2047) stays dark; no segment joins the halves.
    EXPECT_EQ(At(Strip(), 511, 40), kBlack);
    EXPECT_EQ(At(Strip(), 255, 40), kBlack);

    // A peak at +6000 Hz (bin 256, column 320): up from bin 255 at column
    // 319 and straight down to bin 257, which shares column 320.
    s.fill(0.0);
    s[256] = 200.0;
    view.PushSpectrum(s.data());
    Paint();
    for (int y = 20; y < 58; ++y)
        EXPECT_EQ(At(Strip(), 320, y), (Px{254, 254, 254})) << y;
    EXPECT_EQ(At(Strip(), 319, 57), (Px{254, 254, 254}));
    EXPECT_EQ(At(Strip(), 321, 57), kBlack);
    // The middle trace (all 100) is drawn first and the newest over it.
    EXPECT_EQ(At(Strip(), 300, 40), (Px{190, 190, 190}));
}

// A pixel mostly covered by the label's glyphs in yellow or green: the
// antialiased text is drawn over its black outline, so the glyphs' cores
// come out bright, and neither the pass band, the grid nor a trace is.
bool Bright(Px p, Px colour)
{
    auto near = [](int v, int target) { return target == 0 ? v < 60 : v >= 200; };
    return near(p.r, colour.r) && near(p.g, colour.g) && near(p.b, colour.b);
}

// The label's bright pixels in the rows of its text, left and right of the
// tuning line.
struct LabelPixels {
    int left = 0;
    int right = 0;
};
LabelPixels CountLabel(const QImage& strip, int tune, Px colour)
{
    LabelPixels n;
    auto is = [colour](Px p) { return Bright(p, colour); };
    n.left = CountIn(strip, 0, 0, tune, 20, is);
    n.right = CountIn(strip, tune + 1, 0, strip.width(), 20, is);
    return n;
}

TEST_F(SpectrumPaint, LabelRightOfTheLineFlipsLeftNearTheEdge)
{
    in.FreqTune = 0;  // column 256: 256 pixels remain
    Paint();
    LabelPixels n = CountLabel(Strip(), 256, kYellow);
    EXPECT_GT(n.right, 40);
    EXPECT_EQ(n.left, 0);

    in.FreqTune = 20000;  // column 469: fewer than 100 remain
    Paint();
    n = CountLabel(Strip(), 469, kYellow);
    EXPECT_EQ(n.right, 0);
    EXPECT_GT(n.left, 40);
    // It starts 3 pixels right of x0 = 469 - 105.
    EXPECT_EQ(CountIn(Strip(), 0, 0, 366, 20, [](Px p) { return Bright(p, kYellow); }), 0);
    EXPECT_GT(CountIn(Strip(), 366, 0, 380, 20, [](Px p) { return Bright(p, kYellow); }), 0);

    in.DragTune = true;
    Paint();
    n = CountLabel(Strip(), 469, kGreen);
    EXPECT_GT(n.left, 40);
    EXPECT_EQ(CountLabel(Strip(), 469, kYellow).left, 0);
}

TEST_F(SpectrumPaint, LabelIsOutlinedInBlack)
{
    in.FreqTune = 0;
    in.IFWidth = 20000;  // the pass band all round the label
    Paint();
    // No bright label pixel touches the pass band's colour: the outline
    // lies between them.
    const QImage& s = Strip();
    int checked = 0;
    for (int y = 1; y < 19; ++y) {
        for (int x = 258; x < 400; ++x) {
            if (!Bright(At(s, x, y), kYellow))
                continue;
            ++checked;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    EXPECT_FALSE(At(s, x + dx, y + dy) == kBand) << x << "," << y;
        }
    }
    EXPECT_GT(checked, 40);
    // Around the text the pass band shows.
    EXPECT_EQ(At(s, 300, 25), kBand);
}

TEST_F(SpectrumPaint, WaterfallScrollsOneRowPerBlock)
{
    Spectrum s{};
    s.fill(253.75);  // white at gain 1
    painter.AddWaterfallRow(s.data(), view, 1.0, 0);
    EXPECT_EQ(At(Waterfall(), 0, 0), (Px{255, 255, 255}));
    EXPECT_EQ(At(Waterfall(), 510, 0), (Px{255, 255, 255}));
    EXPECT_EQ(At(Waterfall(), 511, 0), kBlack);  // never written
    EXPECT_EQ(At(Waterfall(), 0, 1), kBlack);

    s.fill(0.0);
    painter.AddWaterfallRow(s.data(), view, 1.0, 0);
    EXPECT_EQ(At(Waterfall(), 0, 0), kBlack);
    EXPECT_EQ(At(Waterfall(), 0, 1), (Px{255, 255, 255}));
    EXPECT_EQ(At(Waterfall(), 0, 2), kBlack);
    for (int n = 0; n < 98; ++n)
        painter.AddWaterfallRow(s.data(), view, 1.0, 0);
    EXPECT_EQ(At(Waterfall(), 0, 99), (Px{255, 255, 255}));  // the bottom row
    painter.AddWaterfallRow(s.data(), view, 1.0, 0);
    EXPECT_EQ(At(Waterfall(), 0, 99), kBlack);  // gone off the bottom

    painter.AddWaterfallRow(s.data(), view, 1.0, 0);
    painter.Resize(400, 50);
    EXPECT_EQ(Waterfall().size(), QSize(400, 50));
    EXPECT_EQ(CountIn(Waterfall(), 0, 0, 400, 50, [](Px p) { return !(p == Px{0, 0, 0}); }), 0);
}

TEST_F(SpectrumPaint, ARedrawAllocatesNothing)
{
    view.SetWidth(1000);
    painter.Resize(1000, 514);
    Spectrum s{};
    for (std::size_t k = 0; k < s.size(); ++k)
        s[k] = 40.0 + double(k % 97);
    in.FreqCenter = 145000000;
    // Warm-up: the label's characters are ASCII, rendered with the atlas.
    painter.PaintStrip(in, view);
    alloc::Scope scope;
    for (int block = 0; block < 20; ++block) {
        in.FreqTune = -20000 + 2000 * block;
        in.DragTune = block % 2 != 0;
        view.PushSpectrum(s.data());
        painter.PaintStrip(in, view);
        painter.AddWaterfallRow(s.data(), view, 1.5, block % core::kPaletteCount);
    }
    EXPECT_EQ(scope.Allocations(), 0u);
}

}  // namespace
