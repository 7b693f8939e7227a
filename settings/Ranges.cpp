#include "settings/Ranges.h"

#include <algorithm>

namespace settings {

int32_t ChoiceOrZero(int32_t value, int32_t last)
{
    return (value < 0 || value > last) ? 0 : value;
}

void BringChainControlsIntoRange(dsp::ChainControls& c)
{
    c.FreqTune = std::clamp(c.FreqTune, -kMaxFreqTune, kMaxFreqTune);
    c.RxMode = dsp::KnownOrFirst(c.RxMode);
    c.IFBW = dsp::KnownOrFirst(c.IFBW);
    c.AFLPF = dsp::KnownOrFirst(c.AFLPF);
    c.AGC = dsp::KnownOrFirst(c.AGC);
    c.GainPos = std::clamp(c.GainPos, -150, 150);
    c.SqlPos = std::clamp(c.SqlPos, -150, 150);
    c.InGainPos = std::clamp(c.InGainPos, -40, 40);
    if (c.IQCorr < 0 || c.IQCorr > 2)
        c.IQCorr = 0;
    // The manual balance: up to 6 dB and 30 degrees, as tesmar-iqgen's cards.
    c.IQCorrGain = std::clamp(c.IQCorrGain, -600, 600);
    c.IQCorrPhase = std::clamp(c.IQCorrPhase, -3000, 3000);
    if (c.PosIFBW < 1 || c.PosIFBW > 200)
        c.PosIFBW = 30;
    if (!(1 <= c.PosAFFC1 && c.PosAFFC1 < c.PosAFFC2 && c.PosAFFC2 <= 100)) {
        c.PosAFFC1 = 3;
        c.PosAFFC2 = 60;
    }
}

}  // namespace settings
