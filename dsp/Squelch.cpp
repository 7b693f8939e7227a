#include "Squelch.h"

#include "Constants.h"
#include "FilterDesign.h"

namespace dsp {

SquelchHysteresis Squelch::HysteresisFor(Mode rxMode, IfChoice ifbw)
{
    const bool at6k = ifbw == IfChoice::Khz6;
    if (rxMode == Mode::Fm)
        return at6k ? kFmAt6k : kFm;
    return at6k ? kOtherAt6k : kOther;
}

void Squelch::DesignNoiseFilter() { DesignChebyshev8(-1, 48.0, 12.0, noise_); }

}  // namespace dsp
