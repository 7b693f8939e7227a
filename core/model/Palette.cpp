#include "core/model/Palette.h"

namespace core {
namespace {

constexpr Rgb kWhite{255, 255, 255};

uint8_t Byte(int v) { return static_cast<uint8_t>(v); }

Rgb Mono(double v)
{
    const double f = v / 6.0 > 0.0 ? v / 6.0 : 0.0;
    if (f > 255.0)
        return kWhite;
    const uint8_t n = Byte(static_cast<int>(f));
    return {n, n, n};
}

// "Blue", "Yellow", "Red" and "Green": three segments of 255 steps over v / 2.
Rgb Ramp(double v, int p)
{
    const double f = v / 2.0 > 0.0 ? v / 2.0 : 0.0;
    if (f >= 765.0)
        return kWhite;
    // Segment and step from the whole part: trunc(f / 255) equals
    // trunc(f) div 255 for f >= 0, and the integers cannot round into the
    // next segment as a quotient of doubles just below 510 could.
    const int n = static_cast<int>(f);
    const int d = n / 255;
    const uint8_t g = Byte(n - 255 * d);
    const uint8_t h = Byte(g / 2);
    const uint8_t h127 = Byte(h + 127);
    switch (p) {
    case 1: return d == 0 ? Rgb{0, 0, g} : d == 1 ? Rgb{0, g, 255} : Rgb{g, 255, 255};
    case 2: return d == 0 ? Rgb{g, h, 0} : d == 1 ? Rgb{255, h127, 0} : Rgb{255, 255, g};
    case 3: return d == 0 ? Rgb{g, 0, 0} : d == 1 ? Rgb{255, 0, h} : Rgb{255, g, h127};
    default: return d == 0 ? Rgb{0, g, 0} : d == 1 ? Rgb{h, 255, g} : Rgb{h127, 255, 255};
    }
}

// "Color": six segments of 255 steps over v itself.
Rgb Rainbow(double v)
{
    const double f = v > 0.0 ? v : 0.0;
    if (f >= 1530.0)
        return kWhite;
    const int n = static_cast<int>(f);
    const int d = n / 255;
    const uint8_t h = Byte(n - 255 * d);
    const uint8_t down = Byte(255 - h);
    switch (d) {
    case 0: return {0, 0, h};
    case 1: return {0, h, 255};
    case 2: return {0, 255, down};
    case 3: return {h, 255, 0};
    case 4: return {255, down, 0};
    default: return {255, h, h};
    }
}

}  // namespace

Rgb PaletteColor(double v, int p)
{
    // A NaN compares false everywhere and would reach the integer
    // conversion; it shows as an empty bin does.
    if (!(v == v))
        return {};
    switch (p) {
    case 1:
    case 2:
    case 3:
    case 4: return Ramp(v, p);
    case 5: return Rainbow(v);
    default: return Mono(v);
    }
}

}  // namespace core
