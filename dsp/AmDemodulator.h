#pragma once

#include <cmath>

namespace dsp {

// AM: the envelope of the AGC output, sqrt(I^2 + Q^2), times the audio gain.
// It has no state; the front end runs it on batches of eight samples a batch
// behind the AGC, so that the square roots stay off the per-sample chain.
struct AmDemodulator {
    static constexpr double kGain = 10.0;
    static constexpr int kBatch = 8;

    [[gnu::always_inline]] static void Batch(const double* __restrict i, const double* __restrict q,
                                             double* __restrict audio, int m0)
    {
        for (int j = m0; j < m0 + kBatch; ++j)
            audio[j] = kGain * std::sqrt(i[j] * i[j] + q[j] * q[j]);
    }
};

}  // namespace dsp
