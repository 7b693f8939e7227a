#pragma once

#include <cstdint>

namespace dsp {

// Add one half and truncate toward zero. Callers limit the value to +/-32767
// first, so the result always fits.
inline int16_t RoundHalfUp(double v) { return static_cast<int16_t>(static_cast<int32_t>(v + 0.5)); }

}  // namespace dsp
