#pragma once

#include <array>
#include <cstdint>

namespace dsp {

inline constexpr int kSampleRate = 48000;
inline constexpr int kBlockFrames = 2400;               // 50 ms
inline constexpr int kBlockSamples = 2 * kBlockFrames;  // interleaved stereo
inline constexpr int kBlockBytes = 2 * kBlockSamples;   // 9600
inline constexpr int kRecSamples = 400;                 // one block at 8000 Hz
inline constexpr int kSpectrumSize = 2048;
inline constexpr int kAFTaps = 51;

// The receive modes, as RxMode holds them, and their names.
enum RxModes : int32_t { kModeAM = 0, kModeFM = 1, kModeCW = 2, kModeLSB = 3, kModeUSB = 4 };
inline constexpr std::array<const char*, 5> kModeNames = {"AM", "FM", "CW", "LSB", "USB"};

}  // namespace dsp
