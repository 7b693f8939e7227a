#pragma once

#include "core/model/IqBandMemory.h"
#include "dsp/Choices.h"
#include "dsp/Constants.h"
#include "dsp/SignalChain.h"

#include <cstdint>
#include <string>

namespace core {

// The button groups' choices are the chain's own (dsp/Choices.h); the core
// and the windows above it name them through here.
using dsp::AfChoice;
using dsp::AgcSpeed;
using dsp::Code;
using dsp::FixedIfWidth;
using dsp::FromCode;
using dsp::IfChoice;
using dsp::IfPresetOf;
using dsp::IsKnown;
using dsp::kAfCount;
using dsp::kAgcCount;
using dsp::kFixedIfWidths;
using dsp::kIfCount;
using dsp::kModeCount;
using dsp::KnownOrFirst;
using dsp::Mode;

// The IQ band is 48 kHz wide, centred on FreqCenter: FreqTune lies within
// -kHalfBand..kHalfBand.
inline constexpr int32_t kBandWidth = 48000;
inline constexpr int32_t kHalfBand = 24000;

// The windows whose place the settings file keeps.
enum class Window { Main, Spectrum, IfFilter, Keypad, MemoryList, AfFilter, WaveRecorder, Scan };

// A stored window place and size is kept within this many pixels from the
// origin: far beyond any desktop, and far enough from the int32 limits that a
// place plus a size, or the distance between two places, stays exact.
inline constexpr int32_t kWindowCoordinateLimit = 1 << 24;

// Where a window was, its outer rectangle (frame included), and whether it
// was showing when the main window closed. Only the spectrum and memory list
// windows keep their size and maximised state; the main window always shows.
struct StoredWindow {
    int32_t top = 0, left = 0;
    int32_t width = 0, height = 0;
    bool maximized = false;
    bool showing = false;
};

// The shared receiver state: one record, owned by the main window, touched on
// the main thread only. The signal chain's fields come from
// dsp::ChainControls and, like the other fields the chain, the radio and the
// settings dialog share, carry the names of their settings keys; the windows'
// places are named for their windows. core/ReceiverSettings binds each field
// to its key.
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

    // The windows' places ("Form" section).
    StoredWindow mainWindow;
    StoredWindow spectrumWindow{.width = 500, .height = 450};
    StoredWindow ifFilterWindow;
    StoredWindow keypadWindow;
    StoredWindow memoryListWindow{.width = 700, .height = 300};
    StoredWindow afFilterWindow;
    StoredWindow waveRecorderWindow;
    bool alwaysOnTop = false;  // the main window stays above all others

    StoredWindow& Place(Window window);
    const StoredWindow& Place(Window window) const
    {
        return const_cast<ReceiverState&>(*this).Place(window);
    }

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

    // Audio over UDP for decoders ("UDP" section, written only once set in
    // the dialog: UdpStored, as RemoteStored).
    bool UdpOn = false;
    std::string UdpHost = "127.0.0.1";
    int32_t UdpPort = 7355;
    bool UdpStored = false;

    // The "Scan" window's place and choices ("Scan" section, written only
    // once the operator has placed the window or changed a choice:
    // ScanStored, as RemoteStored). The hang time is kept in milliseconds, so
    // that the file holds whole numbers.
    StoredWindow scanWindow;
    bool ScanRecordHits = false;
    int32_t ScanThreshold = 10;  // dB above the noise floor
    int32_t ScanHangMs = 2000;
    bool ScanFmSquelch = false;
    bool ScanStored = false;

    // The input corrections (IQCorr, DCCorr and the manual balance's
    // IQCorrGain and IQCorrPhase are the chain's fields) are written to
    // "Wave" only once set, as the Hamlib radio's keys are; what the
    // automatic balance learned is kept per band ("IQBalance" section).
    bool InputCorrStored = false;
    IqBandMemory IqBands;
};

inline StoredWindow& ReceiverState::Place(Window window)
{
    switch (window) {
    case Window::Main: break;
    case Window::Spectrum: return spectrumWindow;
    case Window::IfFilter: return ifFilterWindow;
    case Window::Keypad: return keypadWindow;
    case Window::MemoryList: return memoryListWindow;
    case Window::AfFilter: return afFilterWindow;
    case Window::WaveRecorder: return waveRecorderWindow;
    case Window::Scan: return scanWindow;
    }
    return mainWindow;
}

}  // namespace core
