#pragma once

// Pre-rendered glyph coverage of one font, blended into 24-bit scanlines by
// hand. The printable ASCII characters are rendered when the atlas is built;
// any other character (a memory name can hold any) is rendered the first time
// it is drawn into a fixed cache of slots. Drawing a character already
// rendered never allocates, which is what lets the display repaint twenty
// times a second for hours without touching the heap.

#include <QFont>
#include <QImage>

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

class QString;

namespace ui {

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
};

// A view on a 24-bit (R, G, B byte order) picture; drawing clips to it.
struct Canvas {
    uint8_t* bits = nullptr;
    int bytesPerLine = 0;
    int width = 0;
    int height = 0;

    uint8_t* Pixel(int x, int y) const { return bits + y * bytesPerLine + x * 3; }
    void Set(int x, int y, Rgb c) const
    {
        if (x < 0 || y < 0 || x >= width || y >= height)
            return;
        uint8_t* p = Pixel(x, y);
        p[0] = c.r;
        p[1] = c.g;
        p[2] = c.b;
    }
    // Rectangle from (left, top) to (right, bottom), the right and bottom
    // edges excluded.
    void Fill(int left, int top, int right, int bottom, Rgb c) const;
};

// True when every byte of `text` is part of a valid UTF-8 sequence.
bool IsValidUtf8(std::string_view text);

class GlyphAtlas {
public:
    // Characters beyond ASCII the atlas keeps at once: more than the display
    // shows in one line, so a repaint never pushes out a glyph it still needs.
    static constexpr int kCacheSlots = 160;

    // pointSize is the size as a 96-dpi desktop understands it (34 points are
    // 45 pixels to the em); xScale narrows the face.
    GlyphAtlas(const QString& family, int pointSize, double xScale = 1.0);

    // Draws one ASCII character with its cell's top-left corner at (x, y),
    // without touching the cell's background. Returns the advance in pixels.
    int DrawChar(const Canvas& canvas, int x, int y, char c, Rgb colour) const;
    // The same for any character.
    int DrawCodePoint(const Canvas& canvas, int x, int y, char32_t code, Rgb colour) const;
    // Draws UTF-8 text character by character (a byte that is no part of a
    // valid sequence as U+FFFD); returns the x after the last.
    int DrawText(const Canvas& canvas, int x, int y, std::string_view text, Rgb colour) const;
    // A memory channel's name: as UTF-8 when the whole text is valid UTF-8,
    // otherwise byte by byte as Latin-1 (a list written on another system),
    // as the memory list shows it.
    int DrawName(const Canvas& canvas, int x, int y, std::string_view text, Rgb colour) const;

    int Advance(char c) const;
    int Ascent() const { return ascent_; }
    int CellHeight() const { return cellHeight_; }
    // Characters beyond ASCII rendered so far (the cache's misses).
    int Rendered() const { return rendered_; }

private:
    struct Glyph {
        int left = 0;  // ink box relative to the cell's top-left corner
        int top = 0;
        int width = 0;
        int height = 0;
        int advance = 0;
        size_t offset = 0;  // into coverage_ or cachePool_
    };
    struct Slot {
        char32_t code = 0;
        uint32_t lastUse = 0;
        Glyph glyph;
    };
    static constexpr int kFirst = 32;
    static constexpr int kLast = 126;

    // Renders `code` into scratch_ and returns its glyph, the ink box in
    // scratch_ coordinates left in inkX/inkY.
    Glyph Rasterize(char32_t code, int& inkX, int& inkY) const;
    const Glyph* Find(char c) const;
    const Glyph& Cached(char32_t code) const;
    int Blend(const Canvas& canvas, int x, int y, const Glyph& g, const uint8_t* coverage,
              Rgb colour) const;

    QFont font_;
    double xScale_ = 1.0;
    int pad_ = 4;
    std::array<Glyph, kLast - kFirst + 1> glyphs_{};
    std::vector<uint8_t> coverage_;
    int ascent_ = 0;
    int cellHeight_ = 0;

    // Rendering on demand; the pool is allocated at the first character
    // beyond ASCII, one scratch picture's worth of bytes per slot.
    mutable QImage scratch_;
    mutable std::vector<uint8_t> cachePool_;
    mutable std::array<Slot, kCacheSlots> slots_{};
    mutable int slotsUsed_ = 0;
    mutable uint32_t useClock_ = 0;
    mutable int rendered_ = 0;
};

}  // namespace ui
