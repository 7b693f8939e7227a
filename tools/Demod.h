#pragma once

#include "tools/DemodOptions.h"

#include <cstdint>
#include <functional>
#include <string>

namespace tools {

struct DemodSummary {
    int64_t blocks = 0;          // blocks processed: those that hold data of the input
    int64_t recordedBlocks = 0;  // blocks the WAV recorder took
    bool endMarker = false;      // the input ended at its end marker
};

// The chain's controls for a run: the options' settings brought into the
// ranges the application's controls have, as its start-up does with the
// settings file, and the recorder and spectrum on when their outputs are
// asked for.
dsp::ChainControls ChainControlsFor(const DemodOptions& options);

// The threads the chain runs on: 1, or 2 for the pipeline of RunPipelined.
int ThreadsFor(const DemodOptions& options);

// Plays options.input through a signal chain set up as the application's
// start-up sets it up, writing the outputs the options ask for. All outputs
// appear only if the whole run succeeds. Returns false with one line in
// *error otherwise. `progress`, when given, hears the seconds of the
// recording done after each block.
bool RunDemod(const DemodOptions& options, DemodSummary* summary, std::string* error,
              const std::function<void(double)>& progress = {});

}  // namespace tools
