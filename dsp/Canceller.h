#pragma once

#include "Constants.h"
#include "Vector.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace dsp {

// The noise canceller "AN": on the IF signal before the AGC, it predicts each
// I and Q sample from the samples 19 to 51 back with 33 adaptive weights (LMS,
// step 0.00001, adapted with the error after the AGC) and subtracts the
// prediction, removing steady tones. I and Q are the two lanes of each value.
//
// When a weight leaves +/-kWeightLimit after an update, the canceller
// restarts as when switched on, from the next sample, so that nothing
// non-finite reaches the AGC, whose level is never reset.
class Canceller {
public:
    static constexpr int kTaps = 33;
    static constexpr int kLag = 19;
    static constexpr int kHistory = kLag + kTaps - 1;  // 51 samples back
    static constexpr double kMu = 0.00001;
    // The AGC's division keeps the updates small, and a working canceller's
    // weights stay far below this: at most a few thousand, with a full-scale
    // tone and the input gain at +40 dB.
    static constexpr double kWeightLimit = 1e6;

    // As when switched on: the start weights, and cleared lines.
    void Restart();
    // The weight a tap starts from, in reference order.
    static double StartWeight(int tap);
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
            for (int j = 0; j < kHistory; ++j)
                refMax_ = std::max({refMax_, std::fabs(history_[j][0]), std::fabs(history_[j][1])});
            reach_ = MaxAbs();
        }

        // x: the IF output of sample m; returns x minus the prediction.
        [[gnu::always_inline]] simd::V2 Predict(simd::V2 x, int m)
        {
            history_[kHistory + m] = x;
            refMax_ = std::max(refMax_, std::max(std::fabs(x[0]), std::fabs(x[1])));
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
            // No weight moved by more than |e| mu times the largest reference:
            // the weights are measured only when that sum could reach the bound.
            reach_ = simd::Fma(std::max(std::fabs(e[0]), std::fabs(e[1])), kMu * refMax_, reach_);
            if (reach_ > 0.5 * kWeightLimit) [[unlikely]]
                Check(m);
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
        // The largest |weight|; NaN when a weight is. (Constant indices only:
        // the weights must stay in registers.)
        [[gnu::always_inline]] double MaxAbs() const
        {
            double r = 0.0;
            simd::Unroll<kPairs>([&](auto p) {
                for (int lane = 0; lane < 4; ++lane) {
                    const double v = std::fabs(w_[p][lane]);
                    r = std::isnan(v) || v > r ? v : r;
                }
            });
            return r;
        }
        // After the update of sample m: restarts from sample m + 1 when a
        // weight has left the bound, the samples up to m leaving the lines.
        [[gnu::always_inline]] void Check(int m)
        {
            reach_ = MaxAbs();
            if (reach_ <= kWeightLimit)
                return;
            simd::Unroll<kPairs>([&](auto p) {
                const double lo = StartWeight(2 * p), hi = p > 0 ? StartWeight(2 * p - 1) : 0.0;
                w_[p] = simd::V4{lo, lo, hi, hi};
            });
            std::fill(history_ + m + 1, history_ + kHistory + m + 1, simd::V2{0.0, 0.0});
            reach_ = MaxAbs();
        }

        Canceller& c_;
        simd::V2* const history_;
        simd::V4 w_[kPairs];
        double refMax_ = 0.0;  // at least the largest |reference| so far
        double reach_ = 0.0;   // at least the largest |weight|
    };

private:
    simd::V2 w_[kTaps] = {};
    // The IF output, oldest first: the previous block's last samples, then this block's.
    simd::V2 history_[kHistory + kBlockFrames] = {};
};

}  // namespace dsp
