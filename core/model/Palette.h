#pragma once

// The waterfall's six palettes. Standard library only: the painters and the
// GUI-free tests share it.

#include <cstdint>

namespace core {

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

// The palette buttons "Mono", "Blue", "Yellow", "Red", "Green" and "Color"
// choose ColorNum 0..5.
inline constexpr int kPaletteCount = 6;

// The colour of waterfall value v under palette ColorNum p. Every palette
// runs from black below 0 to white at 1530 and above. A pure function without
// tables; it runs for every pixel of every waterfall row. A palette outside
// 0..5 draws as "Mono", and a NaN value as black.
Rgb PaletteColor(double v, int p);

}  // namespace core
