#include "DecoderFeed.h"

#include "Rounding.h"

namespace dsp {

void DecoderFeed::Design(double lowKHz, double highKHz)
{
    lowKHz_ = lowKHz;
    highKHz_ = highKHz;
    filter_.Design(lowKHz, highKHz);
}

void DecoderFeed::Clear()
{
    // A fresh filter has every state at zero, the high-pass's too.
    filter_ = AfFilter{};
    filter_.Design(lowKHz_, highKHz_);
}

void DecoderFeed::Process(const double* audio, const double* gate, int16_t* out)
{
    filter_.Process(audio, gate, kGain, filtered_);
    for (int n = 0; n < kBlockFrames; ++n)
        out[n] = RoundHalfUp(filtered_[n]);
}

}  // namespace dsp
