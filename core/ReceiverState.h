#pragma once

#include "dsp/Constants.h"
#include "dsp/SignalChain.h"

#include <cstdint>
#include <string>

namespace core {

// The IQ band is 48 kHz wide, centred on FreqCenter: FreqTune lies within
// -kHalfBand..kHalfBand.
inline constexpr int32_t kBandWidth = 48000;
inline constexpr int32_t kHalfBand = 24000;

// The shared receiver state: one record, owned by the main window, touched on
// the main thread only. Fields keep the names of their settings keys. The
// signal chain's fields come from dsp::ChainControls.
struct ReceiverState : dsp::ChainControls {
    int32_t FreqCenter = 5012000;  // Hz, the radio's frequency
    int32_t StepNum = 0;
    int32_t TuneStep = 1;
    int32_t ColorNum = 1;
    int32_t WaterGainPos = 0;
    double WaterGain = 1.0;
    int32_t Input = 0;  // 0 = default device, n = device n - 1
    int32_t Output = 0;
    int32_t PortNum = 0;
    std::string PortStr;
    int32_t RadioType = 0;  // 0 "DX-R8", 1 "DJ-X11", 2 "Hamlib"
    std::string MemName;
    bool MemoryMode = false;
    bool DragTune = false;
    std::string FreqEntry;
    bool PointEntered = false;  // FreqEntry already holds a "."
    int32_t KnobHover = 0;      // knob under the pointer: 0 none, 1 VOL, 2 SQL
    bool StepBusy = false;      // a tuning step is under way; further steps are ignored
    int32_t SavedCenter = 0;    // FreqCenter from before raw playback began
    std::string RawFileName;    // the file "Play" opens

    // Window layout ("Form" section).
    int32_t MainTop = 0, MainLeft = 0;
    int32_t SpecTop = 0, SpecLeft = 0, SpecWidth = 500, SpecHeight = 450;
    bool SpecMaximized = false;
    int32_t FiltTop = 0, FiltLeft = 0;
    int32_t InpTop = 0, InpLeft = 0;
    int32_t ListTop = 0, ListLeft = 0, ListWidth = 700, ListHeight = 300;
    bool ListMaximized = false;
    int32_t AudioTop = 0, AudioLeft = 0;
    int32_t WaveTop = 0, WaveLeft = 0;
    bool SpecShow = false, FiltShow = false, InpShow = false, ListShow = false, AudioShow = false,
         WaveShow = false;
    bool MostTop = false;

    // Remote control over the network ("Remote" section). The section is
    // written only once the operator has set it (RemoteStored), so that the
    // file of an operator who never uses it keeps its 52 keys.
    bool RemoteOn = false;
    int32_t RemotePort = 4532;
    std::string RemoteAllow;  // addresses and subnets besides the local host
    bool RemoteStored = false;

    // A radio through Hamlib, RadioType 2 ("Hamlib" section, written only
    // once set in the dialog: HamlibStored, as RemoteStored). The port is a
    // device path or host:port; an empty one opens nothing. The offsets (Hz)
    // lie between the radio's dial and FreqCenter (radio::RadioControl).
    int32_t HamlibModel = 2;  // NET rigctl: a rigctld shared with other programs
    std::string HamlibPort;
    int32_t HamlibSpeed = 0;  // baud; 0 the model's default
    int32_t HamlibIqOffset = 0;
    int32_t HamlibTransverterOffset = 0;
    bool HamlibStored = false;
};

}  // namespace core
