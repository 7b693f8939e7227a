#pragma once

#include "BiquadLanes.h"
#include "Constants.h"
#include "Vector.h"

#include <algorithm>
#include <cmath>

namespace dsp {

// The audio stage after the squelch: a 100 Hz high-pass, the volume with its
// overload flag and limiter, and the AF filter, a 51-tap linear-phase
// band-pass (Kaiser window, 60 dB). These stages fuse and vectorise freely:
// a last-bit difference here stays a last-bit difference.
class AfFilter {
public:
    static constexpr int kTaps = kAFTaps;
    static constexpr BiquadSection kHighPass{1.98148851, -0.98165828, 0.9907867, -1.9815734,
                                             0.9907867};
    // Output and audio samples stay within +/-32767, never -32768.
    static constexpr double kLimit = 32767.0;

    // Designs the band-pass for edges in kHz and empties its delay line.
    void Design(double lowKHz, double highKHz);
    const double* Taps() const { return taps_; }

    void HighPassToLanes(BiquadLanes& lanes, BiquadLaneState& state, int lane) const
    {
        lanes.Set(lane, kHighPass);
        state.Set(lane, highPass_);
    }
    void HighPassFromLanes(const BiquadLaneState& state, int lane) { highPass_ = state.Get(lane); }
    // At a block's end: see FlushNegligible.
    void FlushNegligible() { dsp::FlushNegligible(highPass_); }

    // The whole stage over a block: audio times gate, high-pass, volume, AF
    // filter into out. Returns whether the volume stage overloaded.
    bool Process(const double* audio, const double* gate, double vol, double* out);

    // The stage inside the front-end loop, after the high-pass there: the
    // volume and limiter sample by sample, the filter a quarter of four
    // outputs at a time.
    class Run {
    public:
        Run(AfFilter& f, double vol, double* out)
            : f_(f)
            , in_(f.history_ + kHistory)
            , out_(out)
            , vol_(vol)
        {}
        // The high-pass output of sample n. The overload flag is some
        // |x| >= 32767 (a NaN never counts, as in the two comparisons it
        // stands for).
        [[gnu::always_inline]] void Volume(double highPassed, int n)
        {
            const double x = highPassed * vol_;
            peak_ = std::max(peak_, std::fabs(x));
            in_[n] = std::min(std::max(x, -kLimit), kLimit);
        }
        // Part J (0..3) of the four outputs from 4q: its share of the folded
        // taps, and with the last part the middle tap, the limiter and the
        // store. The sums run in the order of Process, so the outputs are the
        // same.
        template <int J>
        [[gnu::always_inline]] void FirPart(int q)
        {
            const int n0 = 4 * q;
            if constexpr (J == 0)
                acc_ = simd::V4{};
            for (int k = kFirSplit[J]; k < kFirSplit[J + 1]; ++k)
                acc_ = simd::Fma(simd::Splat4(f_.taps_[k]),
                                 simd::Load4(in_ + n0 - k) + simd::Load4(in_ + n0 - kHistory + k),
                                 acc_);
            if constexpr (J == 3)
                simd::Store4(out_ + n0, Limit(simd::Fma(simd::Splat4(f_.taps_[kMid]),
                                                        simd::Load4(in_ + n0 - kMid), acc_)));
        }
        // Step i of the filter's quads, for i = 0, 1, ...: part i % 4 of
        // quad i / 4, while the quad is one of the first `quads`.
        [[gnu::always_inline]] void FirStep(int i, int quads)
        {
            const int q = i >> 2;
            if (i < 0 || q >= quads)
                return;
            switch (i & 3) {
            case 0: FirPart<0>(q); break;
            case 1: FirPart<1>(q); break;
            case 2: FirPart<2>(q); break;
            default: FirPart<3>(q); break;
            }
        }
        // The outputs from quad `from` on, whose inputs came too late for
        // the loop; returns the overload flag.
        bool Finish(int from)
        {
            for (int q = from; q < kBlockFrames / 4; ++q) {
                FirPart<0>(q);
                FirPart<1>(q);
                FirPart<2>(q);
                FirPart<3>(q);
            }
            f_.EndBlock();
            return peak_ >= kLimit;
        }

    private:
        AfFilter& f_;
        double* const in_;
        double* const out_;
        const double vol_;
        double peak_ = 0.0;
        simd::V4 acc_{};
    };

private:
    static constexpr int kHistory = kTaps - 1;  // 50 samples before the block
    static constexpr int kMid = kHistory / 2;
    // The folded taps each part of a quad takes.
    static constexpr int kFirSplit[5] = {0, 7, 13, 19, kMid};

    [[gnu::always_inline]] static simd::V4 Limit(simd::V4 v)
    {
        const simd::V4 hi = simd::Splat4(kLimit), lo = -hi;
        return v > hi ? hi : (v < lo ? lo : v);
    }
    void EndBlock();

    alignas(64) double taps_[kTaps] = {};
    // The volume stage's output, the previous block's last samples first.
    alignas(64) double history_[kHistory + kBlockFrames] = {};
    BiquadState highPass_;
};

}  // namespace dsp
