#pragma once

#include "Biquad.h"
#include "Choices.h"
#include "Constants.h"
#include "FrontEnd.h"
#include "IqBalance.h"
#include "Spectrum.h"

#include <array>
#include <cstdint>
#include <memory>

namespace dsp {

// The receiver fields the signal chain reads, and the derived values it keeps
// in step with them. The application's receiver state extends this record, so
// the names are the settings keys' names. Defaults are those of a first run.
struct ChainControls {
    int32_t FreqTune = -12000;  // Hz from the centre frequency
    Mode RxMode = Mode::Am;
    IfChoice IFBW = IfChoice::Khz6;
    int32_t PosIFBW = 30;    // user IF width, 100 Hz units
    int32_t IFWidth = 3000;  // Hz, derived from IFBW
    int32_t SSBShift = 0;    // Hz, derived from RxMode and IFWidth
    AfChoice AFLPF = AfChoice::Khz3;
    int32_t PosAFFC1 = 3;  // user AF edges, 0.1 kHz units
    int32_t PosAFFC2 = 60;
    double AFLow = 0.3;  // kHz, derived from AFLPF
    double AFHigh = 3.0;
    AgcSpeed AGC = AgcSpeed::Middle;
    double AGCDecay = 0.00003;  // derived from AGC
    int32_t GainPos = -150;     // VOL knob, degrees
    double VolGain = 0.0;       // derived from GainPos
    int32_t SqlPos = -150;      // SQL knob, degrees
    int32_t InGainPos = 0;      // dB
    double InGain = 1.0;        // derived from InGainPos
    bool InvIQ = false;
    int32_t IQCorr = 0;       // IQ balance: 0 off, 1 automatic, 2 manual
    bool DCCorr = true;       // DC removal
    int32_t IQCorrGain = 0;   // manual: the I channel's gain over Q, 0.01 dB
    int32_t IQCorrPhase = 0;  // manual: the I channel's phase error, 0.01 degree
    bool DSP3D = false;
    bool DSPNR = false;
    bool DSPAN = false;
    bool MonitorOn = false;        // "Monitor" down: squelch forced open
    bool Recording = false;        // the WAV recorder is recording
    bool DecoderFeed = false;      // the audio goes to decoders over the network
    bool SpectrumVisible = false;  // the spectrum window is showing
    bool ScanRunning = false;      // the scanner reads the spectrum too
};

// What one block leaves behind for the display, meter, spectrum and recorder.
struct BlockOutputs {
    alignas(64) std::array<int16_t, kBlockSamples> OutFrames{};  // interleaved stereo
    alignas(64) std::array<double, kBlockFrames> AGCTrace{};
    alignas(64) std::array<double, kSpectrumSize> SpectrumDb{};
    alignas(64) std::array<int16_t, kRecSamples> RecFeed{};  // 8000 Hz samples
    // 48 kHz mono at a fixed level, the squelch applied (dsp/DecoderFeed.h).
    alignas(64) std::array<int16_t, kBlockFrames> DecoderAudio{};
    bool SqlBusy = false;
    bool AudioOver = false;
    bool SpectrumUpdated = false;    // SpectrumDb holds this block's analysis (window or scan)
    bool RecFeedReady = false;       // RecFeed holds this block's 400 samples to append
    bool DecoderAudioReady = false;  // DecoderAudio holds this block's samples to send
};

// One block between the chain's halves (ProcessFront, ProcessBack): the
// front half's results and the back half's working data.
struct ChainHandOver {
    ChainBuffers buffers;
    alignas(64) std::array<double, kBlockFrames> AGCTrace;
};

struct ChainStages;

// The receiver's block pipeline: IQ frames in, audio frames out. Each stage
// is a type of its own (dsp/Mixer.h, IfFilter.h, Canceller.h, Agc.h, the
// demodulators, Squelch.h, NoiseReduction.h, AfFilter.h, Enhancer3D.h,
// RecorderFeed.h, DecoderFeed.h, Spectrum.h); the chain owns them and all working data,
// allocated once, and ProcessBlock allocates nothing. The device, window and
// serial call-outs belong to whoever owns the chain: it reads Outputs() after
// each block.
class SignalChain {
public:
    explicit SignalChain(ChainControls& controls);
    ~SignalChain();
    SignalChain(const SignalChain&) = delete;
    SignalChain& operator=(const SignalChain&) = delete;

    // Start-up: brings the choices into range, designs every filter, derives
    // the gains and takes DSPAN / DSPNR as restored (weights start at zero).
    void Setup();

    // IF choice -> IFWidth, filter design, cleared IF states, SSBShift.
    void DesignIFFilter();
    // The IF filter window's path: IFWidth set by the caller, then design,
    // clear and SSBShift as DesignIFFilter does.
    void DesignIFFilterForWidth();
    void DesignAFFilter();
    void SetAGCSpeed();
    void SetVolume();     // VolGain from GainPos
    void SetInputGain();  // InGain from InGainPos

    // The noise canceller "AN" on or off: on, it restarts from its start
    // weights; off, the IF filter's states are cleared.
    void SetCanceller(bool on);
    // The noise reduction "NR" on or off: on, it restarts from its start
    // weights.
    void SetNoiseReduction(bool on);

    // One block of 2400 frames of two int16 samples (host order, little-endian).
    void ProcessBlock(const int16_t* frames);
    // The same with the outputs into out instead of Outputs().
    void ProcessBlock(const int16_t* frames, BlockOutputs& out);

    // ProcessBlock in two halves, for a pipeline across blocks on two
    // threads: the front half (conversion, oscillators, mixer, IF filter,
    // canceller, AGC) of a block into a hand-over, then the rest from it into
    // out, with the same outputs bit for bit. Each half takes the blocks in
    // order; the front half of a block may run beside the back half of the
    // block before, on another hand-over, since the halves share no state.
    // Settings may change only while neither half runs, between the back
    // half of one block and the front half of the next.
    void ProcessFront(const int16_t* frames, ChainHandOver& h);
    void ProcessBack(ChainHandOver& h, BlockOutputs& out);

    // The automatic IQ balance: what it learned as a band's model (with the
    // evidence behind it), a band's model to start from, a fresh start, and
    // the image rejection it measures on the band's stations (NaN: none).
    IqModel IqBalanceModel() const;
    double IqBalanceEvidence() const;
    void LoadIqBalance(const IqModel& model);
    void ResetIqBalance();
    double ImageRejectionDb() const;

    const BlockOutputs& Outputs() const { return out_; }
    double AGCLevel() const;
    const ChainControls& Controls() const { return c_; }

    // Filter views for the filter windows and tests.
    const BiquadSection* IFSections() const;     // 4 sections
    const BiquadSection* NoiseSections() const;  // 4 sections
    const double* AFTaps() const;                // 51 taps

private:
    // The DC removal and IQ balance over the converted input, as chosen.
    void CorrectInput(ChainBuffers& b);
    // What follows the front-end loop: the noise reduction and AF filter
    // when not in the loop, output frames, recorder, spectrum, flushes.
    void FinishBlock(ChainBuffers& b, const FrontEndResult& front, double* audioOut,
                     BlockOutputs& out);

    ChainControls& c_;
    BlockOutputs out_;
    std::unique_ptr<ChainStages> s_;
};

}  // namespace dsp
