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
// once. Not split, the calling thread runs the whole chain (ProcessBlock)
// between reading and writing, on three threads. The outputs are those of
// ProcessBlock, block for block. Returns the blocks processed; false when
// the writer failed, with its error.
bool RunPipelined(dsp::SignalChain& chain, bool split, const BlockReader& read,
                  const BlockWriter& write, int64_t* blocks, std::string* error);

// Whether the chain pays for its split: the halves lose the whole loop's
// overlap (plain, 15 + 16 us a block against 22 us whole), which only the
// canceller's or the noise reduction's work outweighs (everything on, 70 and
// 50 us against 105); without them, reading and writing on threads of their
// own beside the whole chain is faster.
bool SplitPays(const dsp::ChainControls& c);

}  // namespace tools
