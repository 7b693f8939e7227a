#pragma once

#include <QImage>

#include <cstdint>
#include <cstdio>
#include <string>

namespace painttest {

struct Px {
    int r, g, b;
    bool operator==(const Px&) const = default;
};

inline Px At(const QImage& img, int x, int y)
{
    const uchar* p = img.constScanLine(y) + x * 3;
    return {p[0], p[1], p[2]};
}

inline std::string Str(Px p)
{
    char text[40];
    std::snprintf(text, sizeof text, "(%d,%d,%d)", p.r, p.g, p.b);
    return text;
}

// Counts the pixels of the rectangle [x0, x1) x [y0, y1) that satisfy pred.
template <typename Pred>
int CountIn(const QImage& img, int x0, int y0, int x1, int y1, Pred pred)
{
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (pred(At(img, x, y)))
                ++n;
    return n;
}

inline bool SameBlock(const QImage& img, int ax, int ay, int bx, int by, int w, int h)
{
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (!(At(img, ax + x, ay + y) == At(img, bx + x, by + y)))
                return false;
    return true;
}

}  // namespace painttest
