#pragma once

#include "dsp/SignalChain.h"

#include <cstdint>
#include <functional>
#include <string>

namespace tools {

// Reads the next block's frames into `frames` (dsp::kBlockSamples values).
// Returns false when the input holds no further block; sets *last when this
// block is the input's last.
using BlockReader = std::function<bool(int16_t* frames, bool* last)>;
// Writes one block's outputs; false with one line in *error stops the run.
using BlockWriter = std::function<bool(const dsp::BlockOutputs& out, std::string* error)>;

// Runs every block of the input through the chain on four threads: reading
// ahead, the chain's front half (ProcessFront), its back half (ProcessBack,
// on the calling thread) and writing behind, each a block or more ahead of
// the next, handed over through fixed rings of whole blocks allocated here
// once. The outputs are those of ProcessBlock, block for block. Returns the
// blocks processed; false when the writer failed, with its error.
bool RunPipelined(dsp::SignalChain& chain, const BlockReader& read, const BlockWriter& write,
                  int64_t* blocks, std::string* error);

}  // namespace tools
