#pragma once

#include "Constants.h"

#include <cstdint>

namespace dsp {

// The output frames, and the "3D" pseudo-stereo: with it, a copy of the audio
// 99 samples (2.06 ms) late is mixed into the two channels with opposite signs,
//   first = (x - d/2) * 0.66666666666,  second = (x + d/2) * 0.66666666666;
// without it both channels carry the audio. The delay line runs either way.
class Enhancer3D {
public:
    static constexpr int kDelay = 99;
    // Not exactly 2/3.
    static constexpr double kScale = 0.66666666666;

    // Where the AF filter leaves the block's audio, behind the delay line's
    // samples of the blocks before.
    double* Block() { return history_ + kDelay; }
    const double* Block() const { return history_ + kDelay; }

    // The block's stereo frames, rounded half up.
    void Output(bool on, int16_t* frames) const;
    // The block's last samples to the front of the delay line.
    void EndBlock();

private:
    alignas(64) double history_[kDelay + kBlockFrames] = {};
};

}  // namespace dsp
