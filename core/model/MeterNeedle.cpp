#include "core/model/MeterNeedle.h"

#include <algorithm>
#include <cmath>

namespace core {

namespace {

constexpr double kS1 = 35.0;
constexpr double kS9 = 105.0;
constexpr double kDegreesPerDbBelowS9 = (kS9 - kS1) / 48.0;  // eight S-units of 6 dB
constexpr double kDegreesPerDbOverS9 = 1.0;                  // +20 dB at 125, +40 at 145

}  // namespace

double MeterNeedle::Step(const double* agcTrace)
{
    // A NaN never compares greater, so a broken level cannot move the needle.
    double peak = 1.0;
    if (agcTrace != nullptr) {
        for (std::size_t i = 0; i < kTraceLength; ++i)
            if (agcTrace[i] > peak)
                peak = agcTrace[i];
    }
    const double x = std::clamp(75.0 * std::log(peak) + 30.0, kLeftEnd, kRightEnd);

    const double w0 = x + 0.94280904 * w1_ - 0.33333333 * w2_;
    const double y = 0.09763107 * w0 + 0.19526215 * w1_ + 0.09763107 * w2_;
    w2_ = w1_;
    w1_ = w0;

    for (std::size_t k = 0; k + 1 < history_.size(); ++k)
        history_[k] = history_[k + 1];
    history_[4] = std::clamp(y, kLeftEnd, kRightEnd);
    return history_[4];
}

double MeterDbOverS9(double degrees)
{
    // Before the first block the needle lies below the picture: at the left end.
    degrees = std::clamp(degrees, MeterNeedle::kLeftEnd, MeterNeedle::kRightEnd);
    if (degrees <= kS9)
        return (degrees - kS9) / kDegreesPerDbBelowS9;
    return (degrees - kS9) / kDegreesPerDbOverS9;
}

}  // namespace core
