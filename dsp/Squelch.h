#pragma once

#include "BiquadLanes.h"
#include "Choices.h"

#include <cstdint>

namespace dsp {

// The hysteresis of the squelch decision: while closed, the noise measure
// must fall `offset` further before the squelch opens; the measure is then
// scaled to the knob's degrees.
struct SquelchHysteresis {
    double offset;
    double scale;
};

// The squelch: the noise above 12 kHz in the demodulated audio (an eighth-order
// Chebyshev high-pass, rectified, then smoothed by a 5 Hz low-pass), compared
// sample by sample with the SQL knob's threshold. The noise filters run on
// every sample whatever the knob, in lanes of the front end's section steps;
// they and the last decision carry over from block to block, never reset.
class Squelch {
public:
    static constexpr int kSections = 4;
    static constexpr BiquadSection kSmoother{1.9990744, -0.99907483, 1.1e-07, 2.1e-07, 1.1e-07};
    // The knob at its minimum keeps the squelch open; the threshold is the
    // knob's distance from its maximum.
    static constexpr int32_t kKnobMin = -150;
    static constexpr int32_t kKnobMax = 150;

    // By mode (FM or another) and IF choice ("6.0 k" or another, "User" included).
    static constexpr SquelchHysteresis kFmAt6k{0.003, 7800.0};
    static constexpr SquelchHysteresis kFm{0.005, 3200.0};
    static constexpr SquelchHysteresis kOtherAt6k{0.01, 3500.0};
    static constexpr SquelchHysteresis kOther{0.08, 680.0};
    static SquelchHysteresis HysteresisFor(Mode rxMode, IfChoice ifbw);

    // The noise high-pass at 12 kHz.
    void DesignNoiseFilter();
    const BiquadSection* NoiseSections() const { return noise_; }

    void NoiseToLanes(BiquadLanes* lanes, BiquadLaneState* states, int lane) const
    {
        for (int k = 0; k < kSections; ++k) {
            lanes[k].Set(lane, noise_[k]);
            states[k].Set(lane, noiseState_[k]);
        }
    }
    void NoiseFromLanes(const BiquadLaneState* states, int lane)
    {
        for (int k = 0; k < kSections; ++k)
            noiseState_[k] = states[k].Get(lane);
    }
    void SmootherToLanes(BiquadLanes& lanes, BiquadLaneState& state, int lane) const
    {
        lanes.Set(lane, kSmoother);
        state.Set(lane, smoother_);
    }
    void SmootherFromLanes(const BiquadLaneState& state, int lane) { smoother_ = state.Get(lane); }
    // At a block's end: see FlushNegligible.
    void FlushNegligible()
    {
        for (BiquadState& s : noiseState_)
            dsp::FlushNegligible(s);
        dsp::FlushNegligible(smoother_);
    }

    // The decisions of one block: Decide(noise, n) takes the smoothed noise
    // measure of sample n and leaves the gate, 0.0 or 1.0, in gate[n].
    class Run {
    public:
        Run(Squelch& s, Mode rxMode, IfChoice ifbw, int32_t sqlPos, bool monitor, double* gate)
            : s_(s)
            , hysteresis_(HysteresisFor(rxMode, ifbw))
            , forced_(sqlPos == kKnobMin || monitor)
            , threshold_(kKnobMax - sqlPos)
            , closed_(s.closed_)
            , gate_(gate)
        {}
        [[gnu::always_inline]] bool Decide(double noise, int n)
        {
            const double measure =
                (closed_ ? noise + hysteresis_.offset : noise) * hysteresis_.scale;
            const bool open = forced_ || threshold_ >= measure;
            closed_ = !open;
            gate_[n] = open ? 1.0 : 0.0;
            busy_ |= open;
            return open;
        }
        // The squelch opened on some sample of the block ("BUSY").
        bool Busy() const { return busy_; }
        void Finish() { s_.closed_ = closed_; }

    private:
        Squelch& s_;
        const SquelchHysteresis hysteresis_;
        const bool forced_;
        const double threshold_;
        bool closed_;
        bool busy_ = false;
        double* const gate_;
    };

private:
    BiquadSection noise_[kSections];
    BiquadState noiseState_[kSections];
    BiquadState smoother_;
    bool closed_ = false;
};

}  // namespace dsp
