#include "ui/paint/SpectrumPainter.h"

#include <QString>

#include <algorithm>
#include <cstdlib>
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

bool Dot(int fromStart) { return (fromStart / core::kDotLength) % 2 == 0; }

void DottedColumn(const Canvas& c, int x, int top, int bottom, Rgb colour)
{
    if (x < 0 || x >= c.width)
        return;
    for (int y = std::max(top, 0); y < std::min(bottom, c.height); ++y)
        if (Dot(y - top))
            c.Set(x, y, colour);
}

void DottedRow(const Canvas& c, int y, int left, int right, Rgb colour)
{
    if (y < 0 || y >= c.height)
        return;
    for (int x = std::max(left, 0); x < std::min(right, c.width); ++x)
        if (Dot(x - left))
            c.Set(x, y, colour);
}

// A line from (x0, y0) towards (x1, y1), the end point left out as the next
// segment of a polyline starts there.
void Segment(const Canvas& c, int x0, int y0, int x1, int y1, Rgb colour)
{
    if ((y0 < 0 && y1 < 0) || (y0 >= c.height && y1 >= c.height) || (x0 < 0 && x1 < 0) ||
        (x0 >= c.width && x1 >= c.width))
        return;
    const int dx = std::abs(x1 - x0);
    const int dy = -std::abs(y1 - y0);
    const int sx = x0 < x1 ? 1 : -1;
    const int sy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    while (x0 != x1 || y0 != y1) {
        c.Set(x0, y0, colour);
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
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
        Segment(c, x, y, nx, ny, colour);
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
        DottedColumn(c, core::GridColumn(c.width, i), 0, core::kStripReach,
                     i == core::kGridCentre ? kGridCentre : kGridGrey);
    const int rowEnd = core::GridRowEnd(scale);
    for (int y : core::kGridRows)
        DottedRow(c, y, 0, rowEnd, kGridGrey);

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
