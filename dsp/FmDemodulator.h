#pragma once

#include "BiquadLanes.h"
#include "FastMath.h"
#include "Vector.h"

namespace dsp {

// FM: the phase difference between successive samples, folded into
// (-pi, pi], times the audio gain, then a de-emphasis low-pass (-3 dB at
// 2 kHz). The angles come eight at a time from the staged arctangent, one
// stage per iteration of the front end; the de-emphasis runs in a lane of the
// front end's section steps. The last angle and the de-emphasis state carry
// over from block to block and are never reset; the de-emphasis keeps its
// state while another mode is active.
class FmDemodulator {
public:
    static constexpr double kGain = 30.0;
    static constexpr int kBatch = 8;
    static constexpr int kStages = 5;
    static constexpr BiquadSection kDeemphasis{1.63299316, -0.69059892, 0.01440144, 0.02880288,
                                               0.01440144};

    void DeemphasisToLanes(BiquadLanes& lanes, BiquadLaneState& state, int lane) const
    {
        lanes.Set(lane, kDeemphasis);
        state.Set(lane, deemph_);
    }
    void DeemphasisFromLanes(const BiquadLaneState& state, int lane) { deemph_ = state.Get(lane); }
    // At a block's end: see FlushNegligible.
    void FlushNegligible() { dsp::FlushNegligible(deemph_); }

    // The angles and phase steps of one block: Stage(j, m0) for j = 0 .. 4
    // leaves the audio of samples m0 .. m0 + 7 before the de-emphasis in raw.
    class Run {
    public:
        Run(FmDemodulator& d, const double* i, const double* q, double* raw)
            : d_(d)
            , theta_(d.thetaPrev_)
            , i_(i)
            , q_(q)
            , raw_(raw)
        {}
        [[gnu::always_inline]] void Stage(int stage, int m0)
        {
            switch (stage) {
            case 0: atan_.Start(i_ + m0, q_ + m0); break;
            case 1: atan_.Reduce(); break;
            case 2: atan_.PolyInner(); break;
            case 3: atan_.PolyOuter(); break;
            default: Steps(m0, atan_.Finish()); break;
            }
        }
        void Finish() { d_.thetaPrev_ = theta_; }

    private:
        // The phase steps' wraps are selects: they come at random on a noisy
        // band, and a branch per sample would mispredict.
        [[gnu::always_inline]] void Steps(int m0, fastmath::Atan2x8::V t)
        {
            using V = fastmath::Atan2x8::V;
            const V d = simd::ShiftIn(t, theta_) - t;
            const V up = d + fastmath::kTwoPi, down = d - fastmath::kTwoPi;
            const V raw = kGain * (d < -fastmath::kPi ? up : (d > fastmath::kPi ? down : d));
            simd::Store(raw_ + m0, raw);
            theta_ = t[kBatch - 1];
        }

        FmDemodulator& d_;
        fastmath::Atan2x8 atan_;
        double theta_;
        const double* const i_;
        const double* const q_;
        double* const raw_;
    };

private:
    double thetaPrev_ = 0.0;
    BiquadState deemph_;
};

}  // namespace dsp
