#pragma once

#include "dsp/SignalChain.h"

#include <cstdint>

namespace settings {

// The receive offset reaches at most half the 48 kHz band either side of the
// centre.
inline constexpr int32_t kMaxFreqTune = 24000;

// A stored choice of 0..last, or the first choice (0) for anything else.
int32_t ChoiceOrZero(int32_t value, int32_t last);

// The settings the signal chain uses, brought to what start-up makes of
// values no control could produce: unknown mode, IF, AF and AGC choices
// become 0; the receive offset, the VOL and SQL knobs and the input gain are
// clamped to their controls' ranges; a user IF width outside 1..200 becomes
// 30, and a user AF band that is not 1 <= PosAFFC1 < PosAFFC2 <= 100 becomes
// 3..60. The settings file's load and tesmar-demod's options both go through
// here, so a value means the same to both.
void BringChainControlsIntoRange(dsp::ChainControls& c);

}  // namespace settings
