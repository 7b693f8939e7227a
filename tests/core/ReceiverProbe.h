#pragma once

// What the tests reach behind the receiver's facade (the core's tests and
// the windows' tests that check what the running receiver does): the state
// to set up a case with, the devices, the chain and the block path driven
// by hand.

#include "audio/AudioEngine.h"
#include "audio/SoundPlayer.h"
#include "core/Receiver.h"
#include "dsp/SignalChain.h"
#include "radio/RadioLink.h"

namespace core::test {

struct ReceiverProbe {
    static audio::AudioEngine& Audio(Receiver& rx) { return *rx.audio_; }
    static audio::SoundPlayer& Sounds(Receiver& rx) { return *rx.sounds_; }
    static const dsp::SignalChain& Chain(Receiver& rx) { return *rx.chain_; }
    static dsp::SignalChain& MutableChain(Receiver& rx) { return *rx.chain_; }
    // Written without what a control does after it (no redesign, no redraw).
    static ReceiverState& State(Receiver& rx) { return rx.state_; }

    static bool Started(const Receiver& rx) { return rx.started_; }
    static bool CaptureOpen(const Receiver& rx) { return rx.audio_->CaptureOpen(); }
    static bool PlaybackOpen(const Receiver& rx) { return rx.audio_->PlaybackOpen(); }
    // Capture open and delivering (it pauses while a raw file plays).
    static bool CaptureRunning(const Receiver& rx) { return rx.audio_->CaptureRunning(); }
    static bool PortOpen(const Receiver& rx) { return rx.link_->PortOpen(); }
    static bool RadioBusy(const Receiver& rx) { return rx.RadioBusy(); }
    static uint64_t ProcessedBlocks(const Receiver& rx) { return rx.processedBlocks_; }
    // The input of the block processed last (2400 stereo frames).
    static const int16_t* LastBlockInput(const Receiver& rx) { return rx.lastInput_; }
    static std::filesystem::path BeepFile(const Receiver& rx, Sound sound)
    {
        return rx.BeepFile(sound);
    }

    static void HandleBlock(Receiver& rx, const int16_t* frames) { rx.HandleBlock(frames); }
    static void PumpRawPlayback(Receiver& rx) { rx.PumpRawPlayback(); }
    static void SetKnobAngle(Receiver& rx, Knob knob, int32_t angle)
    {
        rx.SetKnobAngle(knob, angle);
    }
};

}  // namespace core::test
