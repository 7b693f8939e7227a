#include "tools/ImperfectCard.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tools {

bool CardFaults::Any() const
{
    return gainDb != 0.0 || phaseDeg != 0.0 || delay != 0.0 || dcDbfs > -200.0;
}

ImperfectCard::ImperfectCard(const CardFaults& faults)
    : f_(faults)
{
    constexpr double pi = std::numbers::pi;
    const double p = f_.phaseDeg * pi / 180.0;
    const double g = std::pow(10.0, f_.gainDb / 20.0);
    a_ = g * std::cos(p);
    b_ = g * std::sin(p);
    dc_ = f_.dcDbfs > -200.0 ? 32768.0 * std::pow(10.0, f_.dcDbfs / 20.0) : 0.0;
    // Tap n weighs the sample kTaps-1-n back: the I channel's response is
    // sinc(t - kReach - delay) under a Blackman window.
    for (int n = 0; n < kTaps; ++n) {
        const double t = (kTaps - 1 - n) - kReach - f_.delay;
        const double sinc = t == 0.0 ? 1.0 : std::sin(pi * t) / (pi * t);
        const double u = (t + kReach + 1) / (kTaps + 1);  // the window's place, 0 .. 1
        const double w = u <= 0.0 || u >= 1.0
                             ? 0.0
                             : 0.42 - 0.5 * std::cos(2 * pi * u) + 0.08 * std::cos(4 * pi * u);
        taps_[n] = sinc * w;
    }
}

void ImperfectCard::Process(double* i, double* q, int count)
{
    for (int n = 0; n < count; ++n) {
        std::copy(histI_.begin() + 1, histI_.end(), histI_.begin());
        std::copy(histQ_.begin() + 1, histQ_.end(), histQ_.begin());
        histI_[kTaps - 1] = a_ * i[n] + b_ * q[n];
        histQ_[kTaps - 1] = q[n];
        double di = 0.0;
        if (f_.delay == 0.0) {
            di = histI_[kTaps - 1 - kReach];
        } else {
            for (int t = 0; t < kTaps; ++t)
                di += taps_[t] * histI_[t];
        }
        i[n] = di + dc_;
        q[n] = histQ_[kTaps - 1 - kReach] + dc_;
    }
}

}  // namespace tools
