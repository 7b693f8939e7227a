#pragma once

#include <cstdint>

namespace dsp {

// The block's frames as doubles times the input gain: I from the first
// channel, Q from the second, or the other way round with the inverted-IQ
// setting. The result is also what the spectrum analyses.
void ConvertInput(const int16_t* frames, double gain, bool invertIQ, double* i, double* q);

}  // namespace dsp
