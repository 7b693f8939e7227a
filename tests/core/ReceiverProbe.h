#pragma once

// What the tests reach behind the receiver's facade (the core's tests and
// the windows' tests that check what the running receiver does).

#include "audio/AudioEngine.h"
#include "audio/SoundPlayer.h"
#include "core/Receiver.h"
#include "dsp/SignalChain.h"

namespace core::test {

struct ReceiverProbe {
    static audio::AudioEngine& Audio(Receiver& rx) { return *rx.audio_; }
    static audio::SoundPlayer& Sounds(Receiver& rx) { return *rx.sounds_; }
    static const dsp::SignalChain& Chain(Receiver& rx) { return *rx.chain_; }
};

}  // namespace core::test
