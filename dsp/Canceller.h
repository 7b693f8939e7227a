#pragma once

#include "Constants.h"
#include "Vector.h"

#include <cstring>

namespace dsp {

// The noise canceller "AN": on the IF signal before the AGC, it predicts each
// I and Q sample from the samples 19 to 51 back with 33 adaptive weights (LMS,
// step 0.00001, adapted with the error after the AGC) and subtracts the
// prediction, removing steady tones. I and Q are the two lanes of each value.
class Canceller {
public:
    static constexpr int kTaps = 33;
    static constexpr int kLag = 19;
    static constexpr int kHistory = kLag + kTaps - 1;  // 51 samples back
    static constexpr double kMu = 0.00001;

    // As when switched on: the start weights, and cleared lines.
    void Restart();
    // Weights of channel 0 (I) or 1 (Q), in reference order (newest first).
    double Weight(int channel, int tap) const { return w_[tap][channel]; }

    // The canceller over one block. Its weights stay in registers two taps to
    // a vector, in the history's memory order: pair p holds taps 2p (low
    // half) and 2p - 1 (high half). Tap -1 of pair 0 is a dummy of weight 0
    // that the update leaves alone.
    class Run {
    public:
        explicit Run(Canceller& c)
            : c_(c)
            , history_(c.history_)
        {
            for (int p = 0; p < kPairs; ++p) {
                const simd::V2 lo = c.w_[2 * p];
                const simd::V2 hi = p > 0 ? c.w_[2 * p - 1] : simd::V2{0.0, 0.0};
                w_[p] = simd::V4{lo[0], lo[1], hi[0], hi[1]};
            }
        }

        // x: the IF output of sample m; returns x minus the prediction.
        [[gnu::always_inline]] simd::V2 Predict(simd::V2 x, int m)
        {
            history_[kHistory + m] = x;
            // Products in parallel, the sum in the written order: taps 0, 1, ... 32.
            simd::V4 prod[kPairs];
            simd::Unroll<kPairs>([&](auto p) { prod[p] = w_[p] * Reference(m, p); });
            simd::V2 y = {0.0, 0.0};
            y = y + simd::V2{prod[0][0], prod[0][1]};
            simd::Unroll<kPairs - 1>([&](auto q) {
                constexpr int p = q + 1;
                y = y + simd::V2{prod[p][2], prod[p][3]};
                y = y + simd::V2{prod[p][0], prod[p][1]};
            });
            return x - y;
        }
        // e: the error of sample m after the AGC.
        [[gnu::always_inline]] void Adapt(simd::V2 e, int m)
        {
            const simd::V4 e4 = {e[0], e[1], e[0], e[1]};
            const simd::V4 mu0 = {kMu, kMu, 0.0, 0.0};
            const simd::V4 mu = simd::Splat4(kMu);
            simd::Unroll<kPairs>(
                [&](auto p) { w_[p] = w_[p] + Reference(m, p) * (p ? mu : mu0) * e4; });
        }
        // Weights back, and the block's last samples to the front of the history.
        void Finish()
        {
            for (int p = 0; p < kPairs; ++p) {
                c_.w_[2 * p] = simd::V2{w_[p][0], w_[p][1]};
                if (p > 0)
                    c_.w_[2 * p - 1] = simd::V2{w_[p][2], w_[p][3]};
            }
            std::memmove(history_, history_ + kBlockFrames, kHistory * sizeof(simd::V2));
        }

    private:
        static constexpr int kPairs = (kTaps + 1) / 2;
        // Taps 2p and 2p - 1 of sample m: x[m - 19 - 2p] and x[m - 18 - 2p].
        [[gnu::always_inline]] simd::V4 Reference(int m, int p) const
        {
            return simd::Load4(
                reinterpret_cast<const double*>(history_ + kHistory + m - kLag - 2 * p));
        }

        Canceller& c_;
        simd::V2* const history_;
        simd::V4 w_[kPairs];
    };

private:
    simd::V2 w_[kTaps] = {};
    // The IF output, oldest first: the previous block's last samples, then this block's.
    simd::V2 history_[kHistory + kBlockFrames] = {};
};

}  // namespace dsp
