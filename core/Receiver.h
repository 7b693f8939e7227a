#pragma once

#include "audio/AudioApi.h"
#include "core/ExitNotice.h"
#include "core/MemoryChannels.h"
#include "core/model/Format.h"
#include "core/model/FrequencyEntry.h"
#include "core/model/MeterNeedle.h"
#include "core/model/ReceiverState.h"

#include <QObject>
#include <QRect>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>

namespace dsp {
class SignalChain;
struct BlockOutputs;
}  // namespace dsp
namespace audio {
class AudioEngine;
class SoundPlayer;
}  // namespace audio
namespace radio {
class RadioLink;
class RadioControl;
}  // namespace radio
namespace core {

class HamlibRadio;
class RawTransport;
class ScanSession;
class SoundNotice;
class WaveRecording;
class UdpAudio;

namespace test {
struct ReceiverProbe;
}

// The tuning step table, indexed by StepNum.
inline constexpr int kStepCount = 17;
inline constexpr std::array<int32_t, kStepCount> kStepTable = {
    1, 2, 5, 10, 20, 50, 100, 200, 500, 1000, 2000, 5000, 6250, 9000, 10000, 12500, 20000};

// One wheel event or key press turns a knob by this many degrees (limits
// kKnobMin, kKnobMax in core/model/Format.h).
inline constexpr int32_t kKnobStep = 4;

enum class Knob { None = 0, Vol = 1, Sql = 2 };

// A mouse button, as the spectrum window's views tell them apart.
enum class PointerButton { Left, Right, Other };

// Where the receiver's files live. Defaults are those of the running program.
struct ReceiverPaths {
    // The settings file; saves go here. Read at start when it exists,
    // otherwise the one of the same name in programDirectory gives the
    // starting values (a read-only install's settings for a new user).
    std::filesystem::path settingsFile;
    std::filesystem::path dataDirectory;  // recordings ("Raw", "Wav") and "RawData.dat"
    // Read-only: "beep1.wav".."beep3.wav", "Meter.bmp", icons, the demo band
    std::filesystem::path programDirectory;
    // The running program's: settings::SettingsFilePath(), settings::DataDirectory()
    // and settings::ResourceDirectory(). Needs the application object.
    static ReceiverPaths ForApplication();
};

// Which secondary windows were showing when the main window closed.
struct WindowsShowing {
    bool spectrum = false, ifFilter = false, keypad = false, memoryList = false, afFilter = false,
         waveRecorder = false;
};

// The receiver without its windows: the shared state, the signal chain, the
// sound card, the radio, the recorders and the logic behind the main window's
// controls. The main window owns one, calls its handlers and redraws when its
// signals say so. Everything runs on the main thread; nothing here waits.
//
// Life: construct -> Start() (settings, filters, devices) -> the window shows
// itself from State() -> blocks run -> Shutdown() (files closed, settings
// saved) -> CloseDevices() (capture closed, then playback) -> destruct.
class Receiver : public QObject {
    Q_OBJECT

public:
    explicit Receiver(ReceiverPaths paths = ReceiverPaths::ForApplication(),
                      QObject* parent = nullptr);
    ~Receiver() override;

    // Before Start(): the sound system to use (automatic by default).
    void SetAudioApi(audio::AudioApi api);

    // The main window's construction after its layout: defaults, settings,
    // step, button choices brought into range, filters, gains, paths, memory
    // mode, then the capture device and the playback device. Device failures
    // arrive as ShowError; the receiver carries on without the device.
    void Start();

    // What the settings dialog does while being created: opens PortStr with
    // RadioType and, when it opens, runs the radio's set-up sequence. False
    // when no port is configured or it did not open. With the Hamlib type
    // (RadioType 2): opens HamlibModel on HamlibPort on its own thread, which
    // tunes the radio to FreqCenter and sets the mode once it answers; false
    // only without a port.
    bool OpenRadio();
    // The port asked for last is not there: it is tried every 2 s, as a lost
    // one is, and the radio set up when it opens; until then nothing is sent
    // anywhere. Ends when a port is opened or closed.
    void AwaitRadioPort();

    // The main window's close after its secondary windows have been closed
    // (they store their places as they close): stores the
    // flags, closes the raw and WAV files (a raw recording gets no end
    // marker), saves the memory list when a change has not reached its file,
    // saves the settings. A failed save is written to the log, kept for the
    // next start (ExitNotice) and reported through ShowError with the message
    // naming the file; returns false then.
    bool Shutdown(const WindowsShowing& showing);
    // The failed saves of the last run's close, one per line ("" when there
    // were none or they were taken); Start() collects them.
    QString TakeNoticeFromLastRun();
    // The operator has seen the errors of this close: not shown at the next start.
    void CloseErrorsSeen();
    // The windows to show again when the main window is shown (the flags
    // the last close stored).
    WindowsShowing WindowsToShow() const;
    // The main window's destruction: closes the capture device, then the
    // playback device. Also done by the destructor when not called.
    void CloseDevices();

    // --- Mode, AGC, IF, AF and DSP buttons (act also when chosen while down)
    // A mode presses its IF and AF buttons: AM "6.0 k" and "3.0 k", FM
    // "12.0 k" and "6.0 k", CW "0.5 k" and "3.0 k", LSB and USB "3.0 k" and
    // "3.0 k". Leaves a memory channel.
    void SelectMode(Mode mode);
    void SelectAgc(AgcSpeed speed);
    // "User" also shows the filter's window.
    void SelectIfFilter(IfChoice choice);
    void SelectAfFilter(AfChoice choice);
    // The choices in effect, for the buttons.
    Mode SelectedMode() const;
    AgcSpeed SelectedAgc() const;
    IfChoice SelectedIfFilter() const;
    AfChoice SelectedAfFilter() const;
    // The IF filter window dragged the user width to PosIFBW (1..200), the
    // AF filter window the user band to PosAFFC1..PosAFFC2 (1 <= PosAFFC1 <
    // PosAFFC2 <= 100): "User" goes down without its click action (the
    // window is not shown again) and the filter is redesigned for the new
    // width or band.
    void DragUserIfWidth(int32_t PosIFBW);
    void DragUserAfBand(int32_t PosAFFC1, int32_t PosAFFC2);
    // "3D", "NR" and "AN" down or up.
    void Set3D(bool on);
    void SetNoiseReduction(bool on);
    void SetCanceller(bool on);
    // "Monitor" shares its exclusive group with "Rec": pressing it releases
    // "Rec" on screen while a raw recording goes on.
    void SetMonitor(bool on);

    // --- VOL and SQL knobs
    // The pointer enters or leaves a knob's image.
    void HoverKnob(Knob knob, bool windowHasFocus);
    void LeaveKnob(Knob knob);
    // Left-button release at (x, y) in the knob's image.
    void SetKnobFromPoint(Knob knob, int x, int y);
    int32_t KnobAngle(Knob knob) const;

    // --- Tuning and entry
    void StepUp();    // "Up": next larger step
    void StepDown();  // "Down": next smaller step
    // Direction d: up for d >= 0, down for d < 0. Turns the hovered knob
    // instead while the pointer rests on one.
    void StepTune(int d);
    void KeypadKey(int code);

    // --- Remote control (core/RemoteRig): what a network client does goes
    // through these, as the controls' own actions.
    enum class TuneResult { Tuned, OutOfRange, FileBusy };
    // Tunes to `hz` without the keypad: inside the IQ band (the pass band
    // clear of its edges) by FreqTune alone, with no radio command,
    // otherwise the radio to hz - FreqTune as a typed frequency does, or to
    // the end of its range when that lies beyond it (FreqTune takes the
    // rest). Every frequency within the radio type's entry limits is taken,
    // in every mode; outside them nothing changes, and neither does the
    // radio retune while a raw file plays or records. Leaves a memory
    // channel. A retune that finds the radio busy with an earlier command
    // is sent when the radio has answered (the latest one only), so that a
    // client tuning fast never leaves the radio behind the display.
    TuneResult TuneTo(int64_t hz);
    // A width in Hz: a fixed IF button's width presses that button, any
    // other becomes the user width (100 Hz steps, 100..20000 Hz) with "User"
    // down and its window, when showing, redrawn but not shown.
    void SetIfWidth(int32_t hz);
    // "User" down with the user width PosIFBW (1..200) x 100 Hz, as SetIfWidth.
    void SetUserIfWidth(int32_t PosIFBW);
    // Turns a knob as the mouse does (redrawn).
    void TurnKnob(Knob knob, int32_t angle);
    // The signal meter's reading in dB relative to S9 (the needle's smoothed
    // angle on the meter face's scale).
    double SignalDbOverS9() const { return MeterDbOverS9(needle_.Angle()); }

    // --- Raw IQ file buttons (core/RawTransport). The window reflects the
    // states below after RawButtonsChanged.
    // "Rec" and "Play" pressed down or released.
    void Rec(bool down);
    void Play(bool down);
    // "Open" after the file dialog returned `file` (not called on cancel).
    void OpenRawFile(const std::filesystem::path& file);
    bool RecDown() const;
    bool RecEnabled() const;
    bool OpenEnabled() const;
    bool PlayDown() const;
    bool PlayEnabled() const;
    // The folder "Open" starts in (RawTransport::OpenFolder).
    std::filesystem::path OpenFolder() const;
    // Whether "Open" lists the file (core::ListedAsRecording).
    static bool ListedAsRecording(const std::filesystem::path& file);
    bool MonitorDown() const { return state_.MonitorOn; }
    bool RawRecording() const;
    bool RawPlaying() const;
    // "hh:mm:ss" of the file playing or recording (empty when neither).
    QString RawTimeText() const;
    // The same without a copy, for the display's paint after every block.
    std::string_view RawTime() const;

    // --- WAV recorder window (core/WaveRecording)
    // Starts (true) or stops (false) recording the received audio. False when
    // the file could not be created: the window releases its REC button. A
    // write that fails later stops the recording (WaveStateChanged) and is
    // reported through ShowError.
    bool WaveRecord(bool start);
    bool WaveRecording() const;
    QString WaveTimeText() const;

    // --- Devices and ports, for the settings dialog (core/SettingsChoices)
    // The entries of its device lists (number n >= 1 is entry n - 1; 0 is the
    // system's default device).
    QStringList InputDeviceNames() const;
    QStringList OutputDeviceNames() const;
    // The settings dialog picked other devices: both close and reopen with
    // the new numbers (kept in Input and Output). Asynchronous: show the
    // notice on DeviceRestartStarted, close it on DeviceRestartFinished.
    void RestartDevices(int32_t input, int32_t output);
    // What the window tells of a lost sound device (core/SoundNotice), or
    // an empty text; SoundNoticeChanged says when it changes.
    QString SoundNoticeText() const;
    bool SoundDeviceLost() const;
    // The settings dialog's device lists as found when the lost devices came
    // back, without asking the sound system again.
    QStringList RecoveredInputDeviceNames() const;
    QStringList RecoveredOutputDeviceNames() const;

    // The settings dialog's controls that act at once: the input gain in dB
    // (-40..40) and the waterfall gain in quarter dB, from the next block on;
    // I and Q exchanged.
    void SetInputGain(int32_t InGainPos);
    void SetWaterfallGain(int32_t WaterGainPos);
    void SetInvertIq(bool on);
    // "OK" with another port or radio type: closes the port, takes the new
    // PortNum, PortStr and RadioType, opens the port again and runs the
    // set-up sequence whether or not it opened (which also brings FreqCenter
    // onto the new type's grid). Returns whether the port opened.
    bool ReopenRadio(int32_t PortNum, const std::string& PortStr, int32_t RadioType);
    // The settings dialog found the stored port in the system's list (see
    // core::ListPorts): PortNum follows the named port, or PortStr the entry
    // at PortNum. The port stays as it is.
    void StorePortChoice(int32_t PortNum, const std::string& PortStr);
    // "Always on top" confirmed; the main window applies it (ApplyMostTop).
    void SetAlwaysOnTop(bool on);
    // The operator chose remote control in the settings dialog (on or off,
    // the port, the addresses besides this computer): kept for the settings
    // file, which writes it from then on (the receiver itself serves no network).
    void StoreRemoteChoice(bool RemoteOn, int32_t RemotePort, const std::string& RemoteAllow);
    // "OK" with other Hamlib settings: kept for the settings file from now on
    // (HamlibStored). Another model, port or speed reopens the radio when
    // RadioType is 2; other offsets keep the radio where it is and move
    // FreqCenter to what its dial now stands for.
    struct HamlibSettings {
        int32_t Model = 0;
        std::string Port;
        int32_t Speed = 0;
        int32_t IqOffset = 0;
        int32_t TransverterOffset = 0;
        bool operator==(const HamlibSettings&) const = default;
    };
    HamlibSettings HamlibInEffect() const;
    void ChooseHamlib(const HamlibSettings& settings);

    // The input corrections as the settings dialog sets them: IQ balance off
    // (0), automatic (1) or manual (2) with its gain (0.01 dB) and phase
    // (0.01 degree), and the DC removal. Kept in the settings file from then
    // on. The image rejection the automatic balance measures on the band's
    // stations, in dB, NaN while it has none to measure.
    void SetInputCorrections(int32_t iqCorr, bool dcCorr, int32_t gain, int32_t phase);
    double ImageRejectionDb() const;

    // The spectrum window shows or hides: the chain analyses only while shown.
    void SetSpectrumVisible(bool visible);
    // A palette button pressed: the next waterfall row takes the palette
    // (rows already drawn keep theirs). A number that no button chooses
    // becomes "Mono".
    void SelectPalette(int32_t ColorNum);

    // --- Window places, kept for the settings file (outer rectangles, frame
    // included). The place a window has now in its normal state: the
    // position of every window, the size too of the spectrum and memory list
    // windows. The scan window's first place also starts its section of the
    // settings file (ScanStored).
    void StoreWindowPlace(Window window, const QRect& frame);
    // A window closing while it shows: as StoreWindowPlace, but a maximised
    // spectrum or memory list window keeps the normal place it stored last
    // (the next start restores to it) and is stored as maximised.
    void StoreClosingWindowPlace(Window window, const QRect& frame, bool maximized);
    // The stored place (width and height 0 for a window whose size is not kept).
    QRect WindowPlace(Window window) const;

    // --- Spectrum window
    // The band buttons: the radio's centre 48 kHz lower (d < 0) or higher,
    // through SetRadioFrequency; the receive frequency moves with the band.
    // False, and nothing changes, when the radio cannot tune there or while
    // a raw file records. While a file plays, the 48 kHz slice that plays
    // moves within a wider recording instead (the radio stays), and the
    // display shows the slice's centre; false at the recording's edge.
    bool MoveBand(int d);
    // A mouse button pressed on the strip or the waterfall over `offset` Hz
    // from FreqCenter: leaves a memory channel; the left button tunes there,
    // the right one toggles DragTune. The offset is taken as it is (neither
    // snapped nor kept inside the band) and the radio is not retuned.
    void SpectrumPressed(PointerButton button, int32_t offset);
    // The pointer moved over them: tunes there while DragTune is on.
    void SpectrumMoved(int32_t offset);

    // --- Memory channels (core/MemoryChannels): "MemoryList.txt" in the
    // data folder, loaded by Start(), saved after every change and, when a
    // change has not reached the file, by Shutdown(). The memory list window
    // and its edit dialog work on it; a recall retunes through
    // SetRadioFrequency and presses the channel's mode.
    MemoryChannels& Memory() { return *memory_; }
    const MemoryChannels& Memory() const { return *memory_; }

    // --- Audio over UDP (core/UdpAudio): the settings file's choice applied
    // by Start(), stopped by Shutdown(); the settings dialog and --udp change
    // it there. Every processed block, live or from a played file, goes out
    // through it while it is on.
    UdpAudio& Udp() { return *udp_; }
    const UdpAudio& Udp() const { return *udp_; }

    // --- Scanner (core/ScanSession): the "Scan" window, --scan and the
    // remote control's scan command start and stop it there.
    ScanSession& Scan() { return *scan_; }
    const ScanSession& Scan() const { return *scan_; }

    // --- State for the windows, to read: they change it through the
    // methods above, which also do what follows a change.
    const ReceiverState& State() const { return state_; }
    const dsp::BlockOutputs& Outputs() const;
    // The "COM" lamp.
    bool RadioLinkOk() const;
    // What the window tells of a Hamlib radio that does not answer
    // (core/RadioNotice), or an empty text; RadioNoticeChanged says when.
    QString RadioNoticeText() const;
    const ReceiverPaths& Paths() const { return paths_; }

signals:
    // Beep and a modal error box with one OK button (device errors, raw
    // file refusals), or without the beep (a failed settings save, a typed
    // frequency that cannot be read).
    void ShowError(const QString& message, bool beep);
    // A keypad sound whose file is present is being played (asynchronously).
    void SoundRequested(int sound);
    // A block has been processed: repaint the display and the meter.
    void BlockProcessed();
    // The block's SpectrumDb is fresh (only while the spectrum is visible).
    void SpectrumReady();
    // Something the display shows changed outside the block path (frequency,
    // entry, step, memory mode): repaint it.
    void DisplayChanged();
    // Mode, IF, AF, AGC or DSP button states changed: set the buttons from State().
    void ButtonsChanged();
    // Rec, Open, Play (and Monitor) states changed.
    void RawButtonsChanged();
    // Redraw the IF filter window if it is showing; show it too when `show`.
    void IfWindowUpdate(bool show);
    void AfWindowUpdate(bool show);
    void KnobRedraw(core::Knob knob, bool highlighted);
    void ComLampChanged(bool on);
    // The radio's outage notice changed: show RadioNoticeText().
    void RadioNoticeChanged();
    // The radio has taken a frequency command: its centre is freqCenter.
    void RadioSettled(int32_t freqCenter);
    // The WAV recorder stopped or its time text changed.
    void WaveStateChanged();
    void DeviceRestartStarted();
    void DeviceRestartFinished();
    // The lost-device notice changed: show SoundNoticeText() (none when
    // empty), without waiting for the operator.
    void SoundNoticeChanged();
    // Every lost sound device runs again; the devices are listed anew
    // (RecoveredDeviceNames).
    void SoundDevicesRecovered();
    // Shutdown() has begun and is about to save the settings: whatever could
    // still change the state (a network client) stops now.
    void ShuttingDown();

private:
    // The tests look behind the facade.
    friend struct test::ReceiverProbe;
    // The Hamlib radio type's glue works on the state as the facade's own.
    friend class HamlibRadio;

    // The construction's parts: the subsystems' hooks and signals.
    void MakeMemoryChannels();
    void ConnectAudio();
    void ConnectRadio();
    void ConnectRecorders();
    void MakeScanSession();
    // Turns the knob to angle (kept inside its travel); VOL sets the volume.
    void SetKnobAngle(Knob knob, int32_t angle);
    // The radio's set-up sequence runs, or a command waits for its reply.
    bool RadioBusy() const;
    // The keypad sound file n (1..3), whether present or not.
    std::filesystem::path BeepFile(Sound sound) const;
    // One block through the receiver as the capture path hands it over
    // (after the raw-record hook): ProcessBlock, output, WAV recorder,
    // spectrum, display, serial poll.
    void HandleBlock(const int16_t* frames);
    // The output-done path: one block of raw playback, when a file plays.
    void PumpRawPlayback();
    void ProcessAndDeliver(const int16_t* frames);
    // The IQ balance follows the radio's band: what it learned goes into the
    // band's memory, a known band's comes back.
    void FollowIqBand();
    void KeepIqBand();
    void RequestSound(Sound sound);
    bool FileBusy() const;
    void Snap();
    void SendOwedRadioFrequency();
    // The operator (or a remote client) tunes: a scan ends.
    void OperatorTunes();
    // The settings file to read (at start) or to carry the other lines over
    // from (at close): see ReceiverPaths.
    std::filesystem::path SettingsSource() const;

    ReceiverPaths paths_;
    ReceiverState state_;
    std::unique_ptr<dsp::SignalChain> chain_;
    std::unique_ptr<audio::AudioEngine> audio_;
    std::unique_ptr<audio::SoundPlayer> sounds_;
    std::unique_ptr<radio::RadioLink> link_;
    std::unique_ptr<radio::RadioControl> radioControl_;
    std::unique_ptr<HamlibRadio> hamlib_;
    std::unique_ptr<RawTransport> raw_;
    FrequencyEntry entry_{state_};
    std::unique_ptr<MemoryChannels> memory_;
    std::unique_ptr<core::WaveRecording> wave_;
    std::unique_ptr<UdpAudio> udp_;
    MeterNeedle needle_;
    std::unique_ptr<SoundNotice> soundNotice_;
    // After the recorder and the radio it uses.
    std::unique_ptr<ScanSession> scan_;

    ExitNotice exitNotice_;
    QString noticeFromLastRun_;
    bool started_ = false;
    bool destroyed_ = false;
    const int16_t* lastInput_ = nullptr;  // the block processed last (2400 stereo frames)
    uint64_t processedBlocks_ = 0;
    std::optional<int32_t> iqBand_;  // the band the IQ balance is learning
    bool radioOwed_ = false;         // FreqCenter is still to be sent to the radio
};

}  // namespace core

Q_DECLARE_METATYPE(core::Knob)
