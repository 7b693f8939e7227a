#include "ui/paint/SpectrumPainter.h"

#include "ui/paint/SignalMeter.h"

#include <QString>

#include <algorithm>
#include <cstring>

namespace ui {

namespace {

constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kGridGrey{192, 192, 192};
constexpr Rgb kGridCentre{255, 0, 0};

Rgb PassBandColour(bool dragTune) { return dragTune ? Rgb{0, 128, 0} : Rgb{128, 128, 0}; }
Rgb TuneColour(bool dragTune) { return dragTune ? Rgb{0, 255, 0} : Rgb{255, 255, 0}; }

// Grey level of trace n (0 oldest .. 2 newest): 169, 190, 254.
Rgb TraceColour(int n)
{
    const auto level = static_cast<uint8_t>(127 / (3 - n) + 127);
    return {level, level, level};
}

// A dotted line of `length` pixels from (x, y) in steps of (dx, dy): three
// pixels drawn, three left alone.
void Dotted(const Canvas& c, int x, int y, int dx, int dy, int length, Rgb colour)
{
    for (int i = 0; i < length; ++i)
        if ((i / core::kDotLength) % 2 == 0)
            c.Set(x + i * dx, y + i * dy, colour);
}

// Bins first .. last as one polyline.
void Trace(const Canvas& c, const core::SpectrumView& view, const double* values, int first,
           int last, Rgb colour)
{
    int x = view.BinColumn(first);
    int y = core::TraceRow(values[first]);
    for (int b = first + 1; b <= last; ++b) {
        const int nx = view.BinColumn(b);
        const int ny = core::TraceRow(values[b]);
        // Segments wholly off the picture (peaks far above it) are skipped.
        if (!((y < 0 && ny < 0) || (y >= c.height && ny >= c.height)))
            DrawLine(c, x, y, nx, ny, colour, LineEnd::LeftOut);
        x = nx;
        y = ny;
    }
}

}  // namespace

SpectrumPainter::SpectrumPainter()
    : label_(QStringLiteral("DejaVu Sans"), 9)
{
    Resize(512, 1);
}

Canvas SpectrumPainter::CanvasOf(QImage& image)
{
    // bits() detaches should anybody hold a copy; normally a no-op.
    return Canvas{image.bits(), static_cast<int>(image.bytesPerLine()), image.width(),
                  image.height()};
}

void SpectrumPainter::Resize(int width, int waterfallHeight)
{
    width = std::max(width, 1);
    strip_ = QImage(width, core::kStripHeight, QImage::Format_RGB888);
    strip_.fill(Qt::black);
    waterfall_ = QImage(width, std::max(waterfallHeight, 1), QImage::Format_RGB888);
    ClearWaterfall();
}

void SpectrumPainter::ClearWaterfall() { waterfall_.fill(Qt::black); }

void SpectrumPainter::PaintStrip(const StripInputs& in, const core::SpectrumView& view)
{
    const Canvas c = CanvasOf(strip_);
    const double scale = view.SpecScale();
    c.Fill(0, 0, c.width, c.height, kBlack);

    const core::ColumnSpan band = core::PassBandColumns(in.RxMode, in.FreqTune, in.IFWidth, scale);
    c.Fill(band.left, 0, band.right, core::kStripReach, PassBandColour(in.DragTune));

    for (int i = 1; i <= core::kGridLines; ++i)
        Dotted(c, core::GridColumn(c.width, i), 0, 0, 1, core::kStripReach,
               i == core::kGridCentre ? kGridCentre : kGridGrey);
    const int rowEnd = core::GridRowEnd(scale);
    for (int y : core::kGridRows)
        Dotted(c, 0, y, 1, 0, rowEnd, kGridGrey);

    const int tune = core::ColumnOfOffset(in.FreqTune, scale);
    c.Fill(tune, 0, tune + 1, core::kStripReach, TuneColour(in.DragTune));

    // No segment joins the top of the band (bin 1023) to its bottom (1024).
    for (int n = 0; n < 3; ++n) {
        const double* values = view.History(n).data();
        Trace(c, view, values, 0, 1023, TraceColour(n));
        Trace(c, view, values, 1024, core::kSpectrumBins - 1, TraceColour(n));
    }

    // The receive frequency, outlined in black so that it reads over traces
    // and pass band alike.
    core::LabelText text;
    const std::string_view label = core::FormatLabel(int64_t(in.FreqCenter) + in.FreqTune, text);
    const int x0 = core::LabelLeft(c.width, tune);
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx)
            label_.DrawText(c, x0 + 3 + dx, 3 + dy, label, kBlack);
    label_.DrawText(c, x0 + 3, 3, label, TuneColour(in.DragTune));
}

void SpectrumPainter::AddWaterfallRow(const double* spectrumDb, const core::SpectrumView& view,
                                      double waterGain, int colorNum)
{
    uint8_t* const bits = waterfall_.bits();
    const auto bytesPerLine = static_cast<size_t>(waterfall_.bytesPerLine());
    const auto rows = static_cast<size_t>(waterfall_.height());
    std::memmove(bits + bytesPerLine, bits, (rows - 1) * bytesPerLine);
    core::WriteWaterfallRow(bits, waterfall_.width(), spectrumDb, view.SpecScale(), waterGain,
                            colorNum);
}

}  // namespace ui
