#pragma once

#include <array>
#include <cstdint>

namespace tools {

// How a sound card spoils the IQ it delivers: its I channel louder than Q by
// gainDb and off quadrature by phaseDeg (I = g (I0 cos p + Q0 sin p)), late
// by `delay` samples, and an offset of dcDbfs (of full scale) on both
// channels; a dcDbfs at or below -200 adds none.
struct CardFaults {
    double gainDb = 0.0;
    double phaseDeg = 0.0;
    double delay = 0.0;  // samples, -1 .. 1
    double dcDbfs = -300.0;
    bool Any() const;
};

// The faults applied to a stream of samples. A delay is a windowed-sinc
// fractional delay of the I channel; both channels then come kReach samples
// late, so that a negative delay is a delay too.
class ImperfectCard {
public:
    static constexpr int kReach = 32;
    static constexpr int kTaps = 2 * kReach + 1;

    explicit ImperfectCard(const CardFaults& faults);
    // i and q hold `count` samples each, changed in place.
    void Process(double* i, double* q, int count);

private:
    CardFaults f_;
    double a_ = 1.0;  // I from I0
    double b_ = 0.0;  // I from Q0
    double dc_ = 0.0;
    std::array<double, kTaps> taps_{};
    std::array<double, kTaps> histI_{};  // newest last
    std::array<double, kTaps> histQ_{};
};

}  // namespace tools
