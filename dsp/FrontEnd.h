#pragma once

#include "Constants.h"

namespace dsp {

struct ChainControls;
class AfFilter;
class Agc;
class Canceller;
class FmDemodulator;
class IfFilter;
class Oscillators;
class Squelch;

// The block's working data, handed from stage to stage.
struct ChainBuffers {
    alignas(64) double RawI[kBlockFrames];  // the converted input (also the spectrum's)
    alignas(64) double RawQ[kBlockFrames];
    alignas(64) double I[kBlockFrames];  // the mixer's output, then the AGC's
    alignas(64) double Q[kBlockFrames];
    alignas(64) double Audio[kBlockFrames];   // the demodulated audio
    alignas(64) double Gate[kBlockFrames];    // the squelch: 0.0 closed, 1.0 open
    alignas(64) double TuneAt[kBlockFrames];  // the tuning oscillator's phases
    alignas(64) double BfoAt[kBlockFrames];   // the BFO's phases
    alignas(64) double FmRaw[kBlockFrames];   // FM audio before the de-emphasis
};

// The stages the front end runs.
struct FrontEndStages {
    Oscillators& oscillators;
    IfFilter& ifFilter;
    Canceller& canceller;
    Agc& agc;
    FmDemodulator& fm;
    Squelch& squelch;
    AfFilter& af;
};

// What a front-end run covers: the whole chain, or one half of it for a
// pipeline across blocks. The front half (oscillators, mixer, IF filter,
// canceller, AGC) leaves the AGC's output in I and Q, its levels in the
// trace and the BFO's phases in BfoAt; the back half (demodulator, squelch
// and with throughAf the AF stages) goes on from there. The halves share no
// stage, so the front half of one block may run beside the back half of the
// block before, each on buffers of its own block.
enum class ChainPart { Whole, Front, Back };

struct FrontEndResult {
    bool busy = false;  // the squelch opened on some sample
    bool over = false;  // the volume stage overloaded (when it ran here)
};

// The chain from the converted input in RawI and RawQ to the demodulated
// audio and the squelch's gate: oscillators and mixer, IF filter, canceller
// (with DSPAN), AGC (its levels into agcTrace), demodulator and squelch, in
// one software-pipelined loop. With throughAf (nothing between the squelch
// and the audio high-pass, that is, the noise reduction off) it goes on
// through the gate, the high-pass, the volume and the AF filter into afOut.
FrontEndResult RunFrontEnd(const ChainControls& c, const FrontEndStages& s, ChainBuffers& b,
                           double* agcTrace, bool throughAf, double* afOut,
                           ChainPart part = ChainPart::Whole);

}  // namespace dsp
