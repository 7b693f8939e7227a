#include "Squelch.h"

#include "Constants.h"
#include "FilterDesign.h"

namespace dsp {

SquelchHysteresis Squelch::HysteresisFor(int32_t rxMode, int32_t ifbw)
{
    constexpr int32_t kIf6k = 2;
    if (rxMode == kModeFM)
        return ifbw == kIf6k ? kFmAt6k : kFm;
    return ifbw == kIf6k ? kOtherAt6k : kOther;
}

void Squelch::DesignNoiseFilter() { DesignChebyshev8(-1, 48.0, 12.0, noise_); }

}  // namespace dsp
