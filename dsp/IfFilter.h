#pragma once

#include "BiquadLanes.h"

namespace dsp {

// The IF filter: an eighth-order Chebyshev low-pass (1 dB ripple) at half the
// IF width, four sections with the same coefficients on I and on Q. The front
// end runs it in two lanes of its section steps, so the filter lends its
// coefficients and states to those lanes for a block and takes them back.
class IfFilter {
public:
    static constexpr int kSections = 4;

    // Designs the cascade for a pass band of +/- widthHz / 2 and clears it.
    void Design(int widthHz);
    // Clears both channels' states (a new filter, or the canceller switched off).
    void Reset();
    // At a block's end: see FlushNegligible.
    void FlushNegligible()
    {
        for (auto& channel : state_)
            for (BiquadState& s : channel)
                dsp::FlushNegligible(s);
    }

    const BiquadSection* Sections() const { return sections_; }

    // Section k's coefficients and states into lanes laneI and laneI + 1 of
    // lanes[k] and states[k], and back.
    void ToLanes(BiquadLanes* lanes, BiquadLaneState* states, int laneI) const
    {
        for (int k = 0; k < kSections; ++k)
            for (int ch = 0; ch < 2; ++ch) {
                lanes[k].Set(laneI + ch, sections_[k]);
                states[k].Set(laneI + ch, state_[ch][k]);
            }
    }
    void FromLanes(const BiquadLaneState* states, int laneI)
    {
        for (int k = 0; k < kSections; ++k)
            for (int ch = 0; ch < 2; ++ch)
                state_[ch][k] = states[k].Get(laneI + ch);
    }

private:
    BiquadSection sections_[kSections];
    BiquadState state_[2][kSections];  // I, Q
};

}  // namespace dsp
