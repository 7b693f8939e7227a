#pragma once

#include <span>

namespace dsp {

// Takes the card's DC offset off both channels: a one-pole estimate of each
// channel's mean, subtracted sample by sample. The pole sits where a signal
// 50 Hz from the centre loses under 0.1 dB (0.065) while the offset itself
// is gone within a tenth of a second.
class DcRemoval {
public:
    static constexpr double kRate = 8e-4;  // the estimate's step per sample

    void Reset();
    void Process(std::span<double> i, std::span<double> q);

private:
    double meanI_ = 0.0;
    double meanQ_ = 0.0;
};

}  // namespace dsp
