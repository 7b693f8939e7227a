#pragma once

// The production chain as tesmar-demod runs it on two threads: the front half
// of each block on a worker thread while the caller's thread runs the back
// half of the block before. The chain tests run through it as well as through
// ProcessBlock, so that a stage shared by the halves (a race) or a state the
// split hands over wrongly shows as a difference from the model.

#include "dsp/SignalChain.h"

#include <memory>
#include <thread>

namespace dsptest {

class TwoThreadChain {
public:
    explicit TwoThreadChain(dsp::SignalChain& chain)
        : chain_(chain)
    {}

    // Starts the front half of `frames` beside the back half of the block
    // before. Returns whether `out` now holds that block, with *agcLevel the
    // AGC's level after it.
    bool Push(const int16_t* frames, dsp::BlockOutputs& out, double* agcLevel)
    {
        dsp::ChainHandOver& next = hand_[next_];
        std::thread front([&] { chain_.ProcessFront(frames, next); });
        const bool had = Drain(out, agcLevel);
        front.join();
        level_ = chain_.AGCLevel();
        pending_ = true;
        next_ = 1 - next_;
        return had;
    }

    // The back half of the block still held, if any.
    bool Drain(dsp::BlockOutputs& out, double* agcLevel)
    {
        if (!pending_)
            return false;
        chain_.ProcessBack(hand_[1 - next_], out);
        *agcLevel = level_;
        pending_ = false;
        return true;
    }

private:
    dsp::SignalChain& chain_;
    std::unique_ptr<dsp::ChainHandOver[]> hand_ = std::make_unique<dsp::ChainHandOver[]>(2);
    int next_ = 0;
    bool pending_ = false;
    double level_ = 0.0;
};

}  // namespace dsptest
