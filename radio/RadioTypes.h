#pragma once

#include <cstddef>
#include <cstdint>

namespace radio {

// What differs between the radio types. `RadioType` 0 is "DX-R8", 2 any
// radio Hamlib knows (radio/HamlibRig); every other value selects "DJ-X11".
struct RadioTypeInfo {
    const char* Name;
    int32_t BaudRate;
    int32_t MinCenter;    // Hz, inclusive
    int32_t MaxCenter;    // Hz, inclusive
    int32_t Grid;         // Hz; the radio tunes only to multiples of this
    double KeypadMinMHz;  // limits of a typed frequency
    double KeypadMaxMHz;
    bool InvertIQ;                     // "Invert IQ signal" when this type is chosen
    const char* const* SetupCommands;  // sent in order after the port opens
    std::size_t SetupCount;
};

inline constexpr int kRadioTypeCount = 3;
inline constexpr int32_t kHamlibRadioType = 2;

// The Hamlib type's centre range and grid are wide open: the radio refuses
// what it cannot tune, and its model's finest step is learnt when it opens.

const RadioTypeInfo& RadioTypeOf(int32_t RadioType);

// Longest command line this module builds, CR LF included.
inline constexpr std::size_t kMaxCommandLength = 32;

// Builds the "set centre frequency" line for an already grid-aligned, in-range
// frequency into out (kMaxCommandLength bytes at least); returns its length.
std::size_t FormatFrequencyCommand(int32_t RadioType, int32_t fs, char* out);

}  // namespace radio
