#pragma once

#include "AfFilter.h"
#include "Constants.h"

#include <cstdint>

namespace dsp {

// What decoders in other programs receive (audio over the network): the
// audio as the squelch lets it through, high-passed, AF-filtered and limited
// as the loudspeakers' is, but at a fixed gain instead of VOL's, and mono
// without "3D", so that turning the loudspeakers down never deafens a
// decoder. A filter of its own with the AF filter's design; it runs only on
// blocks that are sent.
class DecoderFeed {
public:
    // VOL's gain at -90 degrees: 8 dB below what the loudspeakers get at
    // its middle, which leaves the strong AM and sideband stations of the
    // demo band room below full scale.
    static constexpr double kGain = 300.0;

    // The AF filter's band in kHz; empties the delay line.
    void Design(double lowKHz, double highKHz);
    // Back to silence, as after switching on: no stale samples of an
    // earlier stretch of sending.
    void Clear();
    // One block of demodulated audio and the squelch's gate in, 2400
    // samples at 48 kHz out, rounded half up like the output frames.
    void Process(const double* audio, const double* gate, int16_t* out);
    void FlushNegligible() { filter_.FlushNegligible(); }

private:
    AfFilter filter_;
    double lowKHz_ = 0.3;
    double highKHz_ = 3.0;
    alignas(64) double filtered_[kBlockFrames] = {};
};

}  // namespace dsp
