#pragma once

#include "Constants.h"

namespace dsp {

// The noise reduction "NR": an adaptive line enhancer on the demodulated
// audio. It predicts each sample, limited to +/-30000, from the samples 10 to
// 60 back with 51 weights (LMS, step 0.00001) and outputs the prediction,
// which keeps correlated sound and suppresses uncorrelated noise.
//
// On a strong steady input (an AM carrier's envelope) the fixed step is too
// large and the weights diverge within a few blocks. When a weight leaves
// +/-kWeightLimit after an update, the enhancer restarts as when switched on,
// from the next sample: its output stays finite, and nothing non-finite
// reaches the stages after it, whose states are never reset.
class NoiseReduction {
public:
    static constexpr int kTaps = 51;
    static constexpr int kLag = 10;
    static constexpr int kHistory = kLag + kTaps - 1;  // 60 samples back
    static constexpr double kMu = 0.00001;
    static constexpr double kInputLimit = 30000.0;
    // A working enhancer's weights stay near 1 (below 3 on every test band);
    // diverging ones pass this within a few milliseconds.
    static constexpr double kWeightLimit = 1000.0;

    // As when switched on: the start weights, and cleared lines.
    void Restart();
    // Weight j in reference order (j = 0 the newest reference sample).
    double Weight(int j) const { return w_[kTaps - 1 - j]; }

    // The block's audio in place: each sample becomes its prediction.
    void Process(double* audio);

private:
    static constexpr int kLead = 2;  // older samples kept for the look-ahead's lag products

    int PredictFrom(double* audio, int k0);
    void LoadStartWeights();

    // Weights oldest reference first, the history's memory order.
    alignas(64) double w_[kTaps] = {};
    // The limited input, oldest first: the previous block's last samples, then this block's.
    alignas(64) double history_[kLead + kHistory + kBlockFrames] = {};
};

}  // namespace dsp
