#include "ui/paint/GlyphAtlas.h"

#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace ui {

void Canvas::Fill(int left, int top, int right, int bottom, Rgb c) const
{
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, width);
    bottom = std::min(bottom, height);
    if (left >= right || top >= bottom)
        return;
    for (int y = top; y < bottom; ++y) {
        uint8_t* p = Pixel(left, y);
        if (c.r == c.g && c.g == c.b) {
            std::memset(p, c.r, static_cast<size_t>(right - left) * 3);
            continue;
        }
        for (int x = left; x < right; ++x, p += 3) {
            p[0] = c.r;
            p[1] = c.g;
            p[2] = c.b;
        }
    }
}

GlyphAtlas::GlyphAtlas(const QString& family, int pointSize, double xScale)
{
    QFont font(family);
    // Desktop point sizes were meant for 96 dots per inch.
    font.setPixelSize(static_cast<int>(std::lround(pointSize * 96.0 / 72.0)));
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setStyleStrategy(QFont::PreferAntialias);
    font.setKerning(false);
    const QFontMetricsF metrics(font);
    ascent_ = static_cast<int>(std::lround(metrics.ascent()));
    cellHeight_ = static_cast<int>(std::ceil(metrics.height()));

    const int pad = 4;
    const int scratchWidth =
        static_cast<int>(std::ceil(metrics.maxWidth() * xScale)) + 2 * pad + font.pixelSize();
    const int scratchHeight = cellHeight_ + 2 * pad;
    QImage scratch(scratchWidth, scratchHeight, QImage::Format_Grayscale8);

    for (int code = kFirst; code <= kLast; ++code) {
        const QString text(QChar(static_cast<char16_t>(code)));
        Glyph& g = glyphs_[code - kFirst];
        g.advance = static_cast<int>(std::lround(metrics.horizontalAdvance(text) * xScale));

        scratch.fill(0);
        {
            QPainter p(&scratch);
            p.setRenderHint(QPainter::TextAntialiasing, true);
            p.setFont(font);
            p.setPen(Qt::white);
            p.translate(pad, pad);
            p.scale(xScale, 1.0);
            p.drawText(QPointF(0.0, ascent_), text);
        }
        int minX = scratchWidth, minY = scratchHeight, maxX = -1, maxY = -1;
        for (int y = 0; y < scratchHeight; ++y) {
            const uchar* row = scratch.constScanLine(y);
            for (int x = 0; x < scratchWidth; ++x) {
                if (row[x] != 0) {
                    minX = std::min(minX, x);
                    maxX = std::max(maxX, x);
                    minY = std::min(minY, y);
                    maxY = std::max(maxY, y);
                }
            }
        }
        g.offset = coverage_.size();
        if (maxX < 0)
            continue;  // a blank: advance only
        g.left = minX - pad;
        g.top = minY - pad;
        g.width = maxX - minX + 1;
        g.height = maxY - minY + 1;
        for (int y = minY; y <= maxY; ++y) {
            const uchar* row = scratch.constScanLine(y);
            coverage_.insert(coverage_.end(), row + minX, row + maxX + 1);
        }
    }
}

const GlyphAtlas::Glyph* GlyphAtlas::Find(char c) const
{
    const int code = static_cast<unsigned char>(c);
    if (code < kFirst || code > kLast)
        return nullptr;
    return &glyphs_[code - kFirst];
}

int GlyphAtlas::Advance(char c) const
{
    const Glyph* g = Find(c);
    return g != nullptr ? g->advance : 0;
}

int GlyphAtlas::DrawChar(const Canvas& canvas, int x, int y, char c, Rgb colour) const
{
    const Glyph* g = Find(c);
    if (g == nullptr)
        return 0;
    const int left = x + g->left;
    const int top = y + g->top;
    const int x0 = std::max(0, -left);
    const int y0 = std::max(0, -top);
    const int x1 = std::min(g->width, canvas.width - left);
    const int y1 = std::min(g->height, canvas.height - top);
    for (int gy = y0; gy < y1; ++gy) {
        const uint8_t* cov = coverage_.data() + g->offset + static_cast<size_t>(gy) * g->width;
        uint8_t* p = canvas.Pixel(left + x0, top + gy);
        for (int gx = x0; gx < x1; ++gx, p += 3) {
            const int a = cov[gx];
            if (a == 0)
                continue;
            if (a == 255) {
                p[0] = colour.r;
                p[1] = colour.g;
                p[2] = colour.b;
                continue;
            }
            // dst + (colour - dst) * a / 255, rounded
            p[0] = static_cast<uint8_t>(
                p[0] + ((colour.r - p[0]) * a + 127 * ((colour.r >= p[0]) ? 1 : -1)) / 255);
            p[1] = static_cast<uint8_t>(
                p[1] + ((colour.g - p[1]) * a + 127 * ((colour.g >= p[1]) ? 1 : -1)) / 255);
            p[2] = static_cast<uint8_t>(
                p[2] + ((colour.b - p[2]) * a + 127 * ((colour.b >= p[2]) ? 1 : -1)) / 255);
        }
    }
    return g->advance;
}

int GlyphAtlas::DrawText(const Canvas& canvas, int x, int y, std::string_view text,
                         Rgb colour) const
{
    for (char c : text) {
        if (x >= canvas.width)
            break;  // an endless entry simply runs off the display
        x += DrawChar(canvas, x, y, c, colour);
    }
    return x;
}

}  // namespace ui
