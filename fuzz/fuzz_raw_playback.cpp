// Any bytes as a raw IQ recording: the player reads them as playback does and
// feeds the signal chain block by block, while the operator flips the
// switches between blocks. The first bytes choose the settings the receiver
// starts with (brought into range as start-up brings the settings file's).
#include "dsp/SignalChain.h"
#include "recording/RawIqFile.h"
#include "settings/Ranges.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

constexpr std::size_t kSettingBytes = 13;

dsp::ChainControls StartSettings(const uint8_t* b)
{
    dsp::ChainControls c;
    c.RxMode = dsp::FromCode<dsp::Mode>(b[0] % 6);  // 5: a mode no button has
    c.IFBW = dsp::FromCode<dsp::IfChoice>(b[1] % 6);
    c.AFLPF = dsp::FromCode<dsp::AfChoice>(b[2] % 4);
    c.AGC = dsp::FromCode<dsp::AgcSpeed>(b[3] % 4);
    c.GainPos = int8_t(b[4]) * 2;
    c.SqlPos = int8_t(b[5]) * 2;
    c.InGainPos = int8_t(b[6]) / 2;
    c.FreqTune = int16_t(b[7] | b[8] << 8);
    c.PosIFBW = b[9];
    c.PosAFFC1 = b[10] % 110;
    c.PosAFFC2 = b[11] % 110;
    const uint8_t flags = b[12];
    c.InvIQ = flags & 1;
    c.DSP3D = flags & 2;
    c.DSPNR = flags & 4;
    c.DSPAN = flags & 8;
    c.MonitorOn = flags & 16;
    c.Recording = flags & 32;
    c.SpectrumVisible = flags & 64;
    settings::BringChainControlsIntoRange(c);
    return c;
}

// The button after this one in its group, the first after the last.
template <class Choice>
Choice Next(Choice choice)
{
    return dsp::FromCode<Choice>((dsp::Code(choice) + 1) % dsp::kChoiceCount<Choice>);
}

// One operator action, as the main window's handlers perform it.
void FlipASwitch(uint8_t which, dsp::ChainControls& c, dsp::SignalChain& chain)
{
    switch (which % 10) {
    case 0: break;
    case 1: chain.SetCanceller(!c.DSPAN); break;
    case 2: chain.SetNoiseReduction(!c.DSPNR); break;
    case 3: c.DSP3D = !c.DSP3D; break;
    case 4:
        c.RxMode = Next(c.RxMode);
        c.SSBShift = c.RxMode == dsp::Mode::Lsb   ? -c.IFWidth / 2
                     : c.RxMode == dsp::Mode::Usb ? c.IFWidth / 2
                                                  : 0;
        chain.DesignIFFilter();
        break;
    case 5:
        c.IFBW = Next(c.IFBW);
        chain.DesignIFFilter();
        break;
    case 6:
        c.AFLPF = Next(c.AFLPF);
        chain.DesignAFFilter();
        break;
    case 7:
        c.AGC = Next(c.AGC);
        chain.SetAGCSpeed();
        break;
    case 8: c.InvIQ = !c.InvIQ; break;
    case 9:
        c.MonitorOn = !c.MonitorOn;
        c.Recording = !c.Recording;
        c.SpectrumVisible = !c.SpectrumVisible;
        break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size <= kSettingBytes)
        return 0;
    dsp::ChainControls controls = StartSettings(data);
    data += kSettingBytes;
    size -= kSettingBytes;

    std::FILE* file = ::fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!file)
        return 0;
    static auto player = std::make_unique<recording::RawPlayer>();
    if (player->Open(file, "fuzz").status != recording::RawHeaderStatus::Accepted)
        return 0;
    auto chain = std::make_unique<dsp::SignalChain>(controls);
    chain->Setup();
    for (;;) {
        const auto step = player->Pump();
        if (step == recording::RawPlayer::Step::Idle)
            break;
        chain->ProcessBlock(player->Frames());
        // Output samples are limited to +-32767; -32768 never leaves the chain.
        for (int16_t s : chain->Outputs().OutFrames)
            if (s == -32768)
                std::abort();
        if (step == recording::RawPlayer::Step::FinalBlock)
            break;
        FlipASwitch(static_cast<uint8_t>(player->Frames()[0]), controls, *chain);
    }
    return 0;
}
