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

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// The UTF-8 sequence at text[i], moving i past it. A byte that starts no
// valid sequence (cut short, overlong, a surrogate, beyond U+10FFFF) reads as
// U+FFFD and is passed alone.
char32_t NextCodePoint(std::string_view text, size_t& i)
{
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    size_t length = 0;
    char32_t code = 0;
    char32_t least = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
        least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
        least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
        least = 0x10000;
    } else {
        ++i;
        return kReplacement;
    }
    if (i + length > text.size()) {
        ++i;
        return kReplacement;
    }
    for (size_t k = 1; k < length; ++k) {
        const unsigned char b = byte(i + k);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return kReplacement;
        }
        code = (code << 6) | (b & 0x3F);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        ++i;
        return kReplacement;
    }
    i += length;
    return code;
}

}  // namespace

GlyphAtlas::GlyphAtlas(const QString& family, int pointSize, double xScale)
    : font_(family)
    , xScale_(xScale)
{
    // Desktop point sizes were meant for 96 dots per inch.
    font_.setPixelSize(static_cast<int>(std::lround(pointSize * 96.0 / 72.0)));
    font_.setHintingPreference(QFont::PreferNoHinting);
    font_.setStyleStrategy(QFont::PreferAntialias);
    font_.setKerning(false);
    const QFontMetricsF metrics(font_);
    ascent_ = static_cast<int>(std::lround(metrics.ascent()));
    cellHeight_ = static_cast<int>(std::ceil(metrics.height()));

    const int scratchWidth =
        static_cast<int>(std::ceil(metrics.maxWidth() * xScale)) + 2 * pad_ + font_.pixelSize();
    const int scratchHeight = cellHeight_ + 2 * pad_;
    scratch_ = QImage(scratchWidth, scratchHeight, QImage::Format_Grayscale8);

    for (int code = kFirst; code <= kLast; ++code) {
        int inkX = 0, inkY = 0;
        Glyph& g = glyphs_[code - kFirst];
        g = Rasterize(static_cast<char32_t>(code), inkX, inkY);
        g.offset = coverage_.size();
        for (int y = 0; y < g.height; ++y) {
            const uchar* row = scratch_.constScanLine(inkY + y) + inkX;
            coverage_.insert(coverage_.end(), row, row + g.width);
        }
    }
}

GlyphAtlas::Glyph GlyphAtlas::Rasterize(char32_t code, int& inkX, int& inkY) const
{
    const QString text = QString::fromUcs4(&code, 1);
    const QFontMetricsF metrics(font_);
    Glyph g;
    g.advance = static_cast<int>(std::lround(metrics.horizontalAdvance(text) * xScale_));

    scratch_.fill(0);
    {
        QPainter p(&scratch_);
        p.setRenderHint(QPainter::TextAntialiasing, true);
        p.setFont(font_);
        p.setPen(Qt::white);
        p.translate(pad_, pad_);
        p.scale(xScale_, 1.0);
        p.drawText(QPointF(0.0, ascent_), text);
    }
    const int w = scratch_.width();
    const int h = scratch_.height();
    int minX = w, minY = h, maxX = -1, maxY = -1;
    for (int y = 0; y < h; ++y) {
        const uchar* row = scratch_.constScanLine(y);
        for (int x = 0; x < w; ++x) {
            if (row[x] != 0) {
                minX = std::min(minX, x);
                maxX = std::max(maxX, x);
                minY = std::min(minY, y);
                maxY = std::max(maxY, y);
            }
        }
    }
    if (maxX < 0)
        return g;  // a blank: advance only
    g.left = minX - pad_;
    g.top = minY - pad_;
    g.width = maxX - minX + 1;
    g.height = maxY - minY + 1;
    inkX = minX;
    inkY = minY;
    return g;
}

const GlyphAtlas::Glyph* GlyphAtlas::Find(char c) const
{
    const int code = static_cast<unsigned char>(c);
    if (code < kFirst || code > kLast)
        return nullptr;
    return &glyphs_[code - kFirst];
}

const GlyphAtlas::Glyph& GlyphAtlas::Cached(char32_t code) const
{
    ++useClock_;
    for (int i = 0; i < slotsUsed_; ++i) {
        Slot& slot = slots_[static_cast<size_t>(i)];
        if (slot.code == code) {
            slot.lastUse = useClock_;
            return slot.glyph;
        }
    }

    // A miss: a free slot, or the one used longest ago.
    const size_t slotBytes = static_cast<size_t>(scratch_.width()) * scratch_.height();
    if (cachePool_.empty())
        cachePool_.resize(slotBytes * kCacheSlots);
    int index = slotsUsed_;
    if (slotsUsed_ < kCacheSlots) {
        ++slotsUsed_;
    } else {
        index = 0;
        for (int i = 1; i < kCacheSlots; ++i)
            if (slots_[static_cast<size_t>(i)].lastUse < slots_[static_cast<size_t>(index)].lastUse)
                index = i;
    }
    Slot& slot = slots_[static_cast<size_t>(index)];
    int inkX = 0, inkY = 0;
    slot.code = code;
    slot.lastUse = useClock_;
    slot.glyph = Rasterize(code, inkX, inkY);
    slot.glyph.offset = static_cast<size_t>(index) * slotBytes;
    uint8_t* out = cachePool_.data() + slot.glyph.offset;
    for (int y = 0; y < slot.glyph.height; ++y, out += slot.glyph.width)
        std::memcpy(out, scratch_.constScanLine(inkY + y) + inkX,
                    static_cast<size_t>(slot.glyph.width));
    ++rendered_;
    return slot.glyph;
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
    return Blend(canvas, x, y, *g, coverage_.data() + g->offset, colour);
}

int GlyphAtlas::DrawCodePoint(const Canvas& canvas, int x, int y, char32_t code, Rgb colour) const
{
    if (code < 0x80)
        return DrawChar(canvas, x, y, static_cast<char>(code), colour);
    const Glyph& g = Cached(code);
    return Blend(canvas, x, y, g, cachePool_.data() + g.offset, colour);
}

int GlyphAtlas::Blend(const Canvas& canvas, int x, int y, const Glyph& g, const uint8_t* coverage,
                      Rgb colour) const
{
    const int left = x + g.left;
    const int top = y + g.top;
    const int x0 = std::max(0, -left);
    const int y0 = std::max(0, -top);
    const int x1 = std::min(g.width, canvas.width - left);
    const int y1 = std::min(g.height, canvas.height - top);
    for (int gy = y0; gy < y1; ++gy) {
        const uint8_t* cov = coverage + static_cast<size_t>(gy) * g.width;
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
    return g.advance;
}

bool IsValidUtf8(std::string_view text)
{
    size_t i = 0;
    while (i < text.size()) {
        const size_t start = i;
        // A replacement that took a single byte stands for a broken sequence.
        if (NextCodePoint(text, i) == kReplacement && i == start + 1)
            return false;
    }
    return true;
}

int GlyphAtlas::DrawName(const Canvas& canvas, int x, int y, std::string_view text,
                         Rgb colour) const
{
    if (IsValidUtf8(text))
        return DrawText(canvas, x, y, text, colour);
    for (char c : text) {
        if (x >= canvas.width)
            break;
        x += DrawCodePoint(canvas, x, y, static_cast<unsigned char>(c), colour);
    }
    return x;
}

int GlyphAtlas::DrawText(const Canvas& canvas, int x, int y, std::string_view text,
                         Rgb colour) const
{
    size_t i = 0;
    while (i < text.size()) {
        if (x >= canvas.width)
            break;  // an endless entry simply runs off the display
        if (static_cast<unsigned char>(text[i]) < 0x80)
            x += DrawChar(canvas, x, y, text[i++], colour);
        else
            x += DrawCodePoint(canvas, x, y, NextCodePoint(text, i), colour);
    }
    return x;
}

}  // namespace ui
