#pragma once

// A block carrying one carrier, and the pixels of the spectrum window's
// 24-bit pictures (as the painters' tests read them), for the spectrum
// window's tests.

#include "dsp/Constants.h"
#include "tests/ui_paint/PaintTestUtil.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace spectrumtest {

using painttest::At;
using painttest::Px;

// A block whose complex signal Q + jI is a carrier `offset` Hz from the
// centre (I on the first channel, Q on the second).
inline std::vector<int16_t> Carrier(double offset, double amplitude = 8000.0)
{
    std::vector<int16_t> frames(dsp::kBlockSamples);
    for (int n = 0; n < dsp::kBlockFrames; ++n) {
        const double phase = 2.0 * M_PI * offset * n / 48000.0;
        frames[2 * n] = static_cast<int16_t>(std::lround(amplitude * std::sin(phase)));
        frames[2 * n + 1] = static_cast<int16_t>(std::lround(amplitude * std::cos(phase)));
    }
    return frames;
}

}  // namespace spectrumtest
