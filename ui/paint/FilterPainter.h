#pragma once

// The drawing of the IF and AF filter windows: a 24-bit picture with grid
// lines, the pass band as a trapezoid outlined in the pen colour and filled
// with the brush colour, and small labels. Lines follow the desktop's line
// rule (the end point is not drawn). Nothing here allocates once built.

#include "ui/paint/GlyphAtlas.h"

#include <QImage>

#include <string_view>

namespace ui {

class FilterPainter {
public:
    // Renders the label font's glyphs once; needs the QGuiApplication.
    FilterPainter(int width, int height);

    int Width() const { return canvas_.width; }
    int Height() const { return canvas_.height; }

    void Clear(Rgb colour);
    // From (x, y0) down to y1, y1 excluded.
    void VerticalLine(int x, int y0, int y1, Rgb colour);
    // From (x0, y) right to x1, x1 excluded.
    void HorizontalLine(int x0, int x1, int y, Rgb colour);
    // The band: corners (left + 3, top), (left, bottom), (right, bottom),
    // (right - 3, top), narrower at the top, edges included.
    void Band(int left, int right, int top, int bottom, Rgb pen, Rgb brush);
    // ASCII text with the top-left corner of its first cell at (x, y).
    void Text(int x, int y, std::string_view text, Rgb colour);

    // Draw it rather than keep a copy: a shared copy would make the next
    // paint copy the pixels.
    const QImage& Image() const { return image_; }

private:
    QImage image_;
    Canvas canvas_;
    GlyphAtlas font_;  // 8 points
};

}  // namespace ui
