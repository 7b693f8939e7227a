#pragma once

// Pre-rendered glyph coverage of one font, blended into 24-bit scanlines by
// hand. Building it allocates; drawing with it never does, which is what lets
// the display repaint twenty times a second for hours without touching the
// heap.

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

class GlyphAtlas {
public:
    // pointSize is the size as a 96-dpi desktop understands it (34 points are
    // 45 pixels to the em); xScale narrows the face.
    GlyphAtlas(const QString& family, int pointSize, double xScale = 1.0);

    // Draws one character with its cell's top-left corner at (x, y), without
    // touching the cell's background. Returns the advance in pixels.
    int DrawChar(const Canvas& canvas, int x, int y, char c, Rgb colour) const;
    // Draws the characters one after another; returns the x after the last.
    int DrawText(const Canvas& canvas, int x, int y, std::string_view text, Rgb colour) const;

    int Advance(char c) const;
    int Ascent() const { return ascent_; }
    int CellHeight() const { return cellHeight_; }

private:
    struct Glyph {
        int left = 0;  // ink box relative to the cell's top-left corner
        int top = 0;
        int width = 0;
        int height = 0;
        int advance = 0;
        size_t offset = 0;  // into coverage_
    };
    static constexpr int kFirst = 32;
    static constexpr int kLast = 126;

    const Glyph* Find(char c) const;

    std::array<Glyph, kLast - kFirst + 1> glyphs_{};
    std::vector<uint8_t> coverage_;
    int ascent_ = 0;
    int cellHeight_ = 0;
};

}  // namespace ui
