#pragma once

// The texts of the memory list: the 12-character frequency caption of the
// list's first column, the MHz numbers of "MemoryList.txt" and of the edit
// dialog, and the two forgiving number readers the file has always been read
// with. Pure functions, no allocation beyond the strings they return.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace memory {

// Indexed by the RxMode code.
inline constexpr std::array<std::string_view, 5> kModeNames = {"AM", "FM", "CW", "LSB", "USB"};

// The mode's name, or an empty text for a code outside 0..4.
std::string_view ModeName(int32_t mode);
// The code of a mode name, or -1 when it is not one of kModeNames.
int32_t ModeCode(std::string_view name);

// "   7.100.000" for 7100000 Hz: "%10d" cut into MHz, kHz and Hz groups,
// blanks inside the kHz and Hz groups and in the units of MHz shown as "0".
// Exactly 12 characters for 0..2147483647 Hz. A negative frequency, which a
// file may hold, shows as the caption of its magnitude with a "-" in front
// of the first digit (13 characters when no blank is left for it).
std::string FormatHzCaption(int32_t hz);

// The inverse of FormatHzCaption: digits weigh 10^9 down to 1 from the left,
// blanks count as 0, the dots are skipped; a "-" makes the value negative.
int64_t ParseHzCaption(std::string_view caption);

// Digits before a "." build the whole part, each digit after it adds
// digit * 0.1, 0.01, ...; a "-" anywhere makes the result negative; a second
// "." is ignored; any other character (a blank, a comma, "+", a letter) makes
// the whole result 0, as does an empty text.
double ReadDecimal(std::string_view text);

// Digits build the value, a "-" anywhere makes it negative, any other
// character makes the result 0, as does an empty text. Saturates at the
// 32-bit limits instead of overflowing.
int32_t ReadSignedInt(std::string_view text);

// Whole hertz of a frequency in MHz, halves away from zero
// (trunc(MHz * 1000000 + 0.5) for positive values, mirrored for negative ones
// so that a negative frequency survives a save and load), held to int32.
int32_t HzFromMHz(double mhz);

// The file's frequency field: Hz * 0.000001 with six decimals, as "%0.6f"
// in the C locale ("7.100005"), whatever the process locale.
std::string FileMHz(int32_t hz);

// The edit dialog's frequency text: the same number with its trailing zeros
// (and a point left bare) dropped ("7.1", "145", "0.00005"); never an
// exponent, and a "." whatever the process locale.
std::string PlainMHz(int64_t hz);

// True when `text` reads as a decimal frequency in MHz the way ReadDecimal
// means it (digits with at most one "." and nothing else, at least one digit),
// so that the dialog can refuse what the file would silently store as 0 Hz.
bool IsDecimalNumber(std::string_view text);

}  // namespace memory
