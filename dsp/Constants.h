#pragma once

#include <cstdint>

namespace dsp {

inline constexpr int kSampleRate = 48000;
inline constexpr int kBlockFrames = 2400;               // 50 ms
inline constexpr int kBlockSamples = 2 * kBlockFrames;  // interleaved stereo
inline constexpr int kBlockBytes = 2 * kBlockSamples;   // 9600
inline constexpr int kRecSamples = 400;                 // one block at 8000 Hz
inline constexpr int kSpectrumSize = 2048;
inline constexpr int kAFTaps = 51;

}  // namespace dsp
