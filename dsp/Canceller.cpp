#include "Canceller.h"

#include <cstdlib>

namespace dsp {

namespace {

// Start weights from the centre tap outwards: the Kaiser prototype (N = 32,
// A = 40 dB) of a 20 kHz low-pass at 48 kHz, to 8 significant digits.
constexpr double kStart[17] = {
    0.83333333,     0.15827496,   -0.13480226,   0.10090786,   -0.063000934, 0.027638739,
    2.6457933e-17,  -0.017143863, 0.023716216,   -0.021881506, 0.015073747,  -0.0068607426,
    -1.3067159e-17, 0.0040704956, -0.0052398498, 0.0043351502, -0.0025492992};

}  // namespace

double Canceller::StartWeight(int tap) { return kStart[std::abs(tap - kTaps / 2)]; }

void Canceller::Restart()
{
    for (int m = 0; m < kTaps; ++m) {
        const double w = StartWeight(m);
        w_[m] = simd::V2{w, w};
    }
    for (simd::V2& x : history_)
        x = simd::V2{0.0, 0.0};
}

}  // namespace dsp
