#include "ui/paint/SignalMeter.h"

#include "core/model/Format.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace ui {

SignalMeter::SignalMeter(const QString& facePath)
    : image_(kWidth, kHeight, QImage::Format_RGB888)
{
    image_.fill(QColor(kPlainBackdrop.r, kPlainBackdrop.g, kPlainBackdrop.b));
    if (facePath.isEmpty())
        return;
    QImage loaded(facePath);
    if (loaded.isNull())
        return;
    // The whole face goes onto the whole meter, so a picture of another size
    // is scaled once here rather than on every paint.
    if (loaded.size() != image_.size())
        loaded = loaded.scaled(kWidth, kHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    face_ = loaded.convertToFormat(QImage::Format_RGB888);
    hasFace_ = !face_.isNull();
}

void SignalMeter::PaintMeter(const double* agcTrace)
{
    const Canvas c{image_.bits(), static_cast<int>(image_.bytesPerLine()), kWidth, kHeight};

    // Without a face the picture is cleared, so that old needles do not pile up.
    if (hasFace_) {
        for (int y = 0; y < kHeight; ++y)
            std::memcpy(c.Pixel(0, y), face_.constScanLine(y), kWidth * 3);
    } else {
        c.Fill(0, 0, kWidth, kHeight, kPlainBackdrop);
    }

    needle_.Step(agcTrace);
    const std::array<double, 5>& h = needle_.History();
    for (int k = 0; k < 5; ++k) {
        const uint8_t g = static_cast<uint8_t>(200 / (5 - k) + 55);
        const double theta = h[k] * M_PI / 180.0 - M_PI;
        DrawLine(c, 70, 80, 70 + core::TruncCoordinate(std::cos(theta) * 70.0),
                 80 + core::TruncCoordinate(std::sin(theta) * 70.0), Rgb{g, g, g});
    }
}

void DrawLine(const Canvas& canvas, int x0, int y0, int x1, int y1, Rgb colour, LineEnd end)
{
    // Bresenham; the needles start below the picture, so most of their first
    // pixels fall outside and are skipped by Set.
    const int dx = std::abs(x1 - x0);
    const int dy = -std::abs(y1 - y0);
    const int sx = x0 < x1 ? 1 : -1;
    const int sy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    for (;;) {
        const bool last = x0 == x1 && y0 == y1;
        if (!last || end == LineEnd::Drawn)
            canvas.Set(x0, y0, colour);
        if (last)
            break;
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

}  // namespace ui
