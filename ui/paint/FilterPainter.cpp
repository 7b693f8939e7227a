#include "ui/paint/FilterPainter.h"

#include <QString>

#include <algorithm>

namespace ui {

FilterPainter::FilterPainter(int width, int height)
    : image_(width, height, QImage::Format_RGB888)
    , font_(QStringLiteral("DejaVu Sans"), 8)
{
    image_.fill(Qt::black);
    canvas_ = Canvas{image_.bits(), static_cast<int>(image_.bytesPerLine()), width, height};
}

void FilterPainter::Clear(Rgb colour)
{
    // bits() detaches should anybody have taken a copy; normally a no-op.
    canvas_.bits = image_.bits();
    canvas_.Fill(0, 0, canvas_.width, canvas_.height, colour);
}

void FilterPainter::VerticalLine(int x, int y0, int y1, Rgb colour)
{
    for (int y = std::min(y0, y1); y < std::max(y0, y1); ++y)
        canvas_.Set(x, y, colour);
}

void FilterPainter::HorizontalLine(int x0, int x1, int y, Rgb colour)
{
    canvas_.Fill(std::min(x0, x1), y, std::max(x0, x1), y + 1, colour);
}

void FilterPainter::Band(int left, int right, int top, int bottom, Rgb pen, Rgb brush)
{
    const int rows = bottom - top;
    for (int y = top; y <= bottom; ++y) {
        // The slanted sides move 3 pixels over the band's height, rounded
        // to the nearest column.
        const int inset = rows > 0 ? (3 * (bottom - y) + rows / 2) / rows : 0;
        const int xl = left + inset;
        const int xr = right - inset;
        if (xl > xr)
            continue;
        if (y == top || y == bottom) {
            canvas_.Fill(xl, y, xr + 1, y + 1, pen);
            continue;
        }
        canvas_.Fill(xl + 1, y, xr, y + 1, brush);
        canvas_.Set(xl, y, pen);
        canvas_.Set(xr, y, pen);
    }
}

void FilterPainter::Text(int x, int y, std::string_view text, Rgb colour)
{
    for (char c : text)
        x += font_.DrawChar(canvas_, x, y, c, colour);
}

}  // namespace ui
