#pragma once

#include "Biquad.h"

#include <cstdint>

namespace dsp {

// What the WAV recorder receives: the audio through an eighth-order low-pass
// at 4 kHz, limited, rounded, and every sixth sample kept (8000 Hz). It runs
// only on blocks that reach the file, and its states are never reset.
class RecorderFeed {
public:
    static constexpr int kSections = 4;
    static constexpr int kDecimation = 6;
    static constexpr BiquadSection kLowPass[kSections] = {
        {1.16214396, -0.34192826, 0.04494607, 0.08989215, 0.04494607},
        {1.22342885, -0.41269395, 0.04731628, 0.09463255, 0.04731628},
        {1.35551024, -0.5652084, 0.05242454, 0.10484908, 0.05242454},
        {1.57811347, -0.82224848, 0.06103375, 0.1220675, 0.06103375}};

    // 2400 samples of audio in, 400 samples out.
    void Process(const double* audio, int16_t* out);
    // At a block's end: see FlushNegligible.
    void FlushNegligible()
    {
        for (BiquadState& s : state_)
            dsp::FlushNegligible(s);
    }

private:
    BiquadState state_[kSections];
};

}  // namespace dsp
