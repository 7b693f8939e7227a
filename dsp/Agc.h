#pragma once

#include "Choices.h"
#include "Vector.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace dsp {

// The AGC: I and Q divided by level^4, with instant attack and a linear decay
// at one of three speeds. In a steady state the output level equals the level
// and the input level its fifth power: a 10 dB change at the input gives 2 dB
// at the output. The level is also what the meter shows.
//
// It rounds exactly as written, and so does everything before it: on each
// instant-attack step the new level is input / level^4, so a relative error in
// the level comes back four times larger with the opposite sign, and one
// different last bit becomes hundreds of LSB of audio within a few blocks.
class Agc {
public:
    // The level never sinks below this: after exact digital silence the
    // divisor would otherwise reach zero and the receiver stay deaf.
    static constexpr double kFloor = 0.1;
    // The level at program start.
    static constexpr double kStartLevel = 1.0;

    // The decay per sample of an AGC speed; a code no button gives becomes
    // "Fast".
    static double DecayFor(AgcSpeed& choice);

    double Level() const { return level_; }

    // The AGC over one block, its level in a register: Step(x, m) takes the
    // canceller's output of sample m and leaves the level in trace[m].
    class Run {
    public:
        Run(Agc& agc, double decay, double* trace)
            : agc_(agc)
            , level_(agc.level_)
            , decay_(decay)
            , trace_(trace)
        {}
        [[gnu::always_inline]] simd::V2 Step(simd::V2 x, int m)
        {
            // Decided: the level sits on the floor only after exact digital
            // silence, and there the first sound restarts the AGC at its start
            // level. Divided by the floor's fourth power, that sound would
            // lift the level ten thousand times too high, and its linear decay
            // would keep the receiver deaf for up to hours.
            if (level_ == kFloor && (x[0] != 0.0 || x[1] != 0.0)) [[unlikely]]
                level_ = kStartLevel;
            const double g = level_ * level_ * level_ * level_;
            const simd::V2 y = x / simd::V2{g, g};
            const double k = (std::fabs(y[0]) + std::fabs(y[1])) / 2.0;
            // A branch, not a select: the decay path is the usual one, and
            // predicting it keeps the division off the level's chain.
            if (k > level_)
                level_ = k;
            else
                level_ = std::max(level_ - decay_, kFloor);
            trace_[m] = level_;
            return y;
        }
        void Finish() { agc_.level_ = level_; }

    private:
        Agc& agc_;
        double level_;
        const double decay_;
        double* const trace_;
    };

private:
    double level_ = kStartLevel;
};

}  // namespace dsp
