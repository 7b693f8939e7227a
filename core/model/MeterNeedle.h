#pragma once

// The signal meter's needle apart from its picture: the AGC level of a
// block turned into the needle's angle and smoothed, and the scale the
// meter face ("Meter.bmp") prints along the needle's travel. The main
// window's meter draws the angle; remote control reads the same angle as a
// signal strength. Standard library only; nothing here allocates.

#include <array>
#include <cstddef>

namespace core {

class MeterNeedle {
public:
    static constexpr std::size_t kTraceLength = 2400;  // AGC levels per block
    static constexpr double kLeftEnd = 30.0;           // degrees
    static constexpr double kRightEnd = 150.0;

    // One block: the largest of 1.0 and the block's kTraceLength AGC levels
    // (nullptr counts as a silent block) as an angle, 75 ln(peak) + 30 kept
    // to 30..150 degrees, through a second-order Butterworth low-pass at an
    // eighth of the block rate. Returns the needle's new angle.
    double Step(const double* agcTrace);

    // Needle angles in degrees, oldest first; the last is the needle.
    const std::array<double, 5>& History() const { return history_; }
    double Angle() const { return history_[4]; }

private:
    double w1_ = 0.0;
    double w2_ = 0.0;
    std::array<double, 5> history_{};
};

// The meter face's scale at a needle angle, in dB relative to S9: S1 at 35
// degrees to S9 at 105 in S-units of 6 dB, then 20 dB over S9 at 125 and 40
// at 145 (the face tools/assets draws). Beyond the marks the scale goes on
// as it runs next to them; angles outside the needle's travel count as its
// ends.
double MeterDbOverS9(double degrees);

}  // namespace core
