#pragma once

// Text and knob helpers shared by the main window, the keypad and the
// spectrum window. Standard library only, and nothing here allocates: the
// display calls these twenty times a second.

#include <array>
#include <cstdint>

namespace core {

// 12 characters ("   7.100.000") and a terminating NUL.
using FrequencyText = std::array<char, 13>;
// 7 characters ("-12.000") and a terminating NUL.
using OffsetText = std::array<char, 8>;
// "%d Hz" or "%0.2f kHz" and a terminating NUL; room for any int32.
using StepText = std::array<char, 24>;

// The frequency in Hz as MHz, kHz and Hz groups: 7100000 -> "   7.100.000".
// A negative frequency (only reachable through a corrupt settings file) is
// shown as 0 rather than as a stray minus sign inside the groups.
void FormatFrequency(int32_t hz, FrequencyText& out);
FrequencyText FormatFrequency(int32_t hz);

// The tuning offset in kHz with three decimals and a sign: -12000 ->
// "-12.000", 5 -> "+ 0.005". Magnitudes beyond 99999 Hz do not fit the seven
// characters and are shown as 99.999.
void FormatOffset(int32_t freqTune, OffsetText& out);
OffsetText FormatOffset(int32_t freqTune);

// The tuning step: below 1000 Hz "999 Hz", otherwise kHz with two decimals
// ("1.00 kHz", "12.50 kHz"). The decimal point is always ".", whatever the
// process locale says.
void FormatStep(int32_t tuneStep, StepText& out);
StepText FormatStep(int32_t tuneStep);

// Knob angles run from -150 (lower left) over 0 (straight up) to +150
// (lower right); the 60 degrees at the bottom are dead.
constexpr int32_t kKnobMin = -150;
constexpr int32_t kKnobMax = 150;

struct KnobAnswer {
    bool changed = false;  // false: a click on the centre, leave the knob alone
    int32_t angle = 0;     // the new angle, or the current one when unchanged
};

// Left-button release at (x, y) inside the 32 x 32 knob image.
KnobAnswer KnobAngleFromPoint(int x, int y, int32_t current);

// One wheel notch or arrow key over a knob: 4 degrees up for d > 0, down
// otherwise, kept inside the knob's travel.
int32_t KnobStep(int32_t angle, int d);

// Truncation toward zero for coordinates computed from angles: a value
// within floating-point noise of a whole number counts as that number, so
// that sin(30 degrees) x 10 gives 5 and not 4.
int TruncCoordinate(double v);

}  // namespace core
