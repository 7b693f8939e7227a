#include "SignalChain.h"

#include "AfFilter.h"
#include "Agc.h"
#include "Canceller.h"
#include "DcRemoval.h"
#include "DecoderFeed.h"
#include "Enhancer3D.h"
#include "FmDemodulator.h"
#include "FrontEnd.h"
#include "IfFilter.h"
#include "Input.h"
#include "Mixer.h"
#include "NoiseReduction.h"
#include "RecorderFeed.h"
#include "Squelch.h"

#include <cmath>
#include <span>

namespace dsp {

struct ChainStages {
    ChainBuffers buffers;
    DcRemoval dc;
    IqBalance iq;
    bool iqRan = false;  // the automatic balance ran on the block before
    Oscillators oscillators;
    IfFilter ifFilter;
    Canceller canceller;
    Agc agc;
    FmDemodulator fm;
    Squelch squelch;
    NoiseReduction noiseReduction;
    AfFilter af;
    Enhancer3D output;
    RecorderFeed recorder;
    DecoderFeed decoder;
    bool decoderRan = false;  // the decoder feed ran on the block before
    SpectrumAnalyzer spectrum;

    FrontEndStages FrontEnd() { return {oscillators, ifFilter, canceller, agc, fm, squelch, af}; }
};

SignalChain::SignalChain(ChainControls& controls)
    : c_(controls)
    , s_(std::make_unique<ChainStages>())
{}

SignalChain::~SignalChain() = default;

double SignalChain::AGCLevel() const { return s_->agc.Level(); }
const BiquadSection* SignalChain::IFSections() const { return s_->ifFilter.Sections(); }
const BiquadSection* SignalChain::NoiseSections() const { return s_->squelch.NoiseSections(); }
const double* SignalChain::AFTaps() const { return s_->af.Taps(); }

void SignalChain::Setup()
{
    c_.RxMode = KnownOrFirst(c_.RxMode);
    DesignIFFilter();
    DesignAFFilter();
    SetAGCSpeed();
    SetVolume();
    SetInputGain();
    s_->squelch.DesignNoiseFilter();
    // Processors restored as on start from zero weights; only switching them
    // on loads the start tables.
}

void SignalChain::DesignIFFilter()
{
    c_.IFBW = KnownOrFirst(c_.IFBW);
    if (c_.IFBW == IfChoice::User) {
        if (c_.PosIFBW < 1 || c_.PosIFBW > 200)
            c_.PosIFBW = 30;
        c_.IFWidth = c_.PosIFBW * 100;
    } else {
        c_.IFWidth = FixedIfWidth(c_.IFBW);
    }
    DesignIFFilterForWidth();
}

void SignalChain::DesignIFFilterForWidth()
{
    if (c_.IFWidth < 100 || c_.IFWidth > 20000)
        c_.IFWidth = 3000;
    s_->ifFilter.Design(c_.IFWidth);
    if (c_.RxMode == Mode::Lsb)
        c_.SSBShift = -(c_.IFWidth / 2);
    else if (c_.RxMode == Mode::Usb)
        c_.SSBShift = c_.IFWidth / 2;
}

void SignalChain::DesignAFFilter()
{
    c_.AFLPF = KnownOrFirst(c_.AFLPF);
    switch (c_.AFLPF) {
    case AfChoice::Khz3:
        c_.AFLow = 0.3;
        c_.AFHigh = 3.0;
        break;
    case AfChoice::Khz6:
        c_.AFLow = 0.3;
        c_.AFHigh = 6.0;
        break;
    case AfChoice::User:
        if (!(c_.PosAFFC1 >= 1 && c_.PosAFFC1 < c_.PosAFFC2 && c_.PosAFFC2 <= 100)) {
            c_.PosAFFC1 = 3;
            c_.PosAFFC2 = 60;
        }
        c_.AFLow = c_.PosAFFC1 * 0.1;
        c_.AFHigh = c_.PosAFFC2 * 0.1;
        break;
    }
    s_->af.Design(c_.AFLow, c_.AFHigh);
    s_->decoder.Design(c_.AFLow, c_.AFHigh);
}

void SignalChain::SetAGCSpeed() { c_.AGCDecay = Agc::DecayFor(c_.AGC); }

void SignalChain::SetVolume() { c_.VolGain = (c_.GainPos + 150) * 5.0; }

void SignalChain::SetInputGain() { c_.InGain = std::pow(10.0, c_.InGainPos / 20.0); }

void SignalChain::SetCanceller(bool on)
{
    if (on)
        s_->canceller.Restart();
    else
        s_->ifFilter.Reset();
    c_.DSPAN = on;
}

void SignalChain::SetNoiseReduction(bool on)
{
    if (on)
        s_->noiseReduction.Restart();
    c_.DSPNR = on;
}

void SignalChain::ProcessBlock(const int16_t* frames) { ProcessBlock(frames, out_); }

void SignalChain::ProcessBlock(const int16_t* frames, BlockOutputs& out)
{
    ChainStages& s = *s_;
    ChainBuffers& b = s.buffers;
    const ChainControls& c = c_;
    double* audioOut = s.output.Block();

    ConvertInput(frames, c.InGain, c.InvIQ, b.RawI, b.RawQ);
    CorrectInput(b);
    // Mixer, IF filter, canceller, AGC, demodulator and squelch; without the
    // noise reduction nothing comes between the squelch and the audio
    // high-pass, and the same loop runs on through the AF filter.
    const FrontEndResult front =
        RunFrontEnd(c, s.FrontEnd(), b, out.AGCTrace.data(), !c.DSPNR, audioOut);
    s.ifFilter.FlushNegligible();
    FinishBlock(b, front, audioOut, out);
}

void SignalChain::ProcessFront(const int16_t* frames, ChainHandOver& h)
{
    ChainStages& s = *s_;
    ChainBuffers& b = h.buffers;
    ConvertInput(frames, c_.InGain, c_.InvIQ, b.RawI, b.RawQ);
    CorrectInput(b);
    RunFrontEnd(c_, s.FrontEnd(), b, h.AGCTrace.data(), false, nullptr, ChainPart::Front);
    s.ifFilter.FlushNegligible();
}

void SignalChain::CorrectInput(ChainBuffers& b)
{
    ChainStages& s = *s_;
    const std::span<double> i(b.RawI, kBlockFrames);
    const std::span<double> q(b.RawQ, kBlockFrames);
    if (c_.DCCorr)
        s.dc.Process(i, q);
    const bool automatic = c_.IQCorr == 1;
    if (automatic) {
        // Resumed, the frames queued from before the pause would play again.
        if (!s.iqRan)
            s.iq.Restart();
        s.iq.Process(i, q);
    } else if (c_.IQCorr == 2) {
        BalanceManually(i, q, c_.IQCorrGain / 100.0, c_.IQCorrPhase / 100.0);
    }
    s.iqRan = automatic;
}

IqModel SignalChain::IqBalanceModel() const { return s_->iq.Model(); }
double SignalChain::IqBalanceEvidence() const { return s_->iq.Evidence(); }
void SignalChain::LoadIqBalance(const IqModel& model) { s_->iq.Load(model); }
void SignalChain::ResetIqBalance() { s_->iq.Reset(); }
double SignalChain::ImageRejectionDb() const { return s_->iq.ImageRejectionDb(); }

void SignalChain::ProcessBack(ChainHandOver& h, BlockOutputs& out)
{
    ChainStages& s = *s_;
    double* audioOut = s.output.Block();
    const FrontEndResult front =
        RunFrontEnd(c_, s.FrontEnd(), h.buffers, nullptr, !c_.DSPNR, audioOut, ChainPart::Back);
    out.AGCTrace = h.AGCTrace;
    FinishBlock(h.buffers, front, audioOut, out);
}

void SignalChain::FinishBlock(ChainBuffers& b, const FrontEndResult& front, double* audioOut,
                              BlockOutputs& out)
{
    ChainStages& s = *s_;
    const ChainControls& c = c_;
    out.SqlBusy = front.busy;
    if (c.DSPNR) {
        s.noiseReduction.Process(b.Audio);
        out.AudioOver = s.af.Process(b.Audio, b.Gate, c.VolGain, audioOut);
    } else {
        out.AudioOver = front.over;
    }
    s.output.Output(c.DSP3D, out.OutFrames.data());

    // The recorder's low-pass runs only on blocks that reach the file.
    out.RecFeedReady = c.Recording && out.SqlBusy;
    if (out.RecFeedReady)
        s.recorder.Process(audioOut, out.RecFeed.data());

    // The decoders' audio is taken before the volume, from the squelch's
    // output (after the noise reduction when on), so VOL and 3D never reach
    // it; a feed switched on again starts from silence.
    out.DecoderAudioReady = c.DecoderFeed;
    if (c.DecoderFeed) {
        if (!s.decoderRan)
            s.decoder.Clear();
        s.decoder.Process(b.Audio, b.Gate, out.DecoderAudio.data());
        s.decoder.FlushNegligible();
    }
    s.decoderRan = c.DecoderFeed;

    out.SpectrumUpdated = c.SpectrumVisible || c.ScanRunning;
    if (out.SpectrumUpdated)
        s.spectrum.Analyze(b.RawI, b.RawQ, out.SpectrumDb.data());
    s.output.EndBlock();
    s.fm.FlushNegligible();
    s.squelch.FlushNegligible();
    s.af.FlushNegligible();
    s.recorder.FlushNegligible();
}

}  // namespace dsp
