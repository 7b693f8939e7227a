#include "core/Receiver.h"

#include "audio/AudioEngine.h"
#include "audio/SoundPlayer.h"
#include "core/HamlibRadio.h"
#include "core/RawTransport.h"
#include "core/ScanSession.h"
#include "core/SoundNotice.h"
#include "core/UdpAudio.h"
#include "core/WaveRecording.h"
#include "core/model/Palette.h"
#include "core/model/ReceiverSettings.h"
#include "dsp/SignalChain.h"
#include "memory/MemoryList.h"
#include "radio/RadioControl.h"
#include "radio/RadioLink.h"
#include "radio/RadioTypes.h"
#include "settings/Ranges.h"
#include "settings/SettingsLocation.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <system_error>
#include <utility>

namespace core {
namespace {

int32_t ClampKnob(int32_t angle) { return std::clamp(angle, kKnobMin, kKnobMax); }

bool FitsInt32(int64_t v)
{
    return v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max();
}

// The spectrum and memory list windows keep their size as well as their
// position.
bool KeepsSize(Window window) { return window == Window::Spectrum || window == Window::MemoryList; }

// The operator's newest raw recording ("Rec" writes them into "Raw"), or
// nothing.
std::filesystem::path NewestRecording(const std::filesystem::path& folder)
{
    std::filesystem::path newest;
    std::filesystem::file_time_type newestTime{};
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec)) {
        std::error_code fileEc;
        const auto time = e.last_write_time(fileEc);
        if (e.is_regular_file(fileEc) && e.path().extension() == ".dat" && !fileEc &&
            (newest.empty() || time > newestTime)) {
            newest = e.path();
            newestTime = time;
        }
    }
    return newest;
}

// "Play" plays the operator's own RawData.dat, else their newest recording;
// a new user of an installed program, who has neither yet, the demo band
// installed with it.
std::filesystem::path DefaultRawFile(const ReceiverPaths& paths)
{
    const std::filesystem::path own = paths.dataDirectory / "RawData.dat";
    const std::filesystem::path demo = paths.programDirectory / "RawData.dat";
    std::error_code ec;
    if (std::filesystem::exists(own, ec))
        return own;
    if (const std::filesystem::path recorded = NewestRecording(paths.dataDirectory / "Raw");
        !recorded.empty())
        return recorded;
    return std::filesystem::exists(demo, ec) ? demo : own;
}

}  // namespace

ReceiverPaths ReceiverPaths::ForApplication()
{
    ReceiverPaths p;
    p.settingsFile = settings::SettingsFilePath();
    p.dataDirectory = settings::DataDirectory();
    p.programDirectory = settings::ResourceDirectory();
    return p;
}

Receiver::Receiver(ReceiverPaths paths, QObject* parent)
    : QObject(parent)
    , paths_(std::move(paths))
    , exitNotice_(ExitNotice::ForSettingsFile(paths_.settingsFile))
{
    chain_ = std::make_unique<dsp::SignalChain>(state_);
    audio_ = std::make_unique<audio::AudioEngine>();
    sounds_ = std::make_unique<audio::SoundPlayer>();
    link_ = std::make_unique<radio::RadioLink>();
    radioControl_ = std::make_unique<radio::RadioControl>(*link_, state_.FreqCenter,
                                                          state_.FreqTune, state_.RadioType);
    hamlib_ = std::make_unique<HamlibRadio>(*this, *radioControl_);
    raw_ = std::make_unique<RawTransport>(
        state_, paths_.dataDirectory, *audio_,
        [this](const int16_t* frames) { ProcessAndDeliver(frames); });
    MakeMemoryChannels();
    wave_ = std::make_unique<core::WaveRecording>(state_, paths_.dataDirectory);
    udp_ = std::make_unique<UdpAudio>(state_);
    ConnectAudio();
    ConnectRadio();
    ConnectRecorders();
    MakeScanSession();

    audio_->SetRawRecordHook([this](audio::BlockView block) { raw_->RecordBlock(block.data()); });
    audio_->SetBlockHandler([this](audio::BlockView block) { HandleBlock(block.data()); });
    audio_->SetOutputHandler([this] { PumpRawPlayback(); });
}

void Receiver::MakeMemoryChannels()
{
    MemoryHooks memoryHooks;
    memoryHooks.fileBusy = [this] { return FileBusy(); };
    memoryHooks.setRadioFrequency = [this](int64_t center) {
        OperatorTunes();
        return FitsInt32(center) && radioControl_->SetRadioFrequency(static_cast<int32_t>(center));
    };
    memoryHooks.selectMode = [this](Mode mode) { SelectMode(mode); };
    memoryHooks.displayChanged = [this] { emit DisplayChanged(); };
    memory_ = std::make_unique<MemoryChannels>(
        state_, memory::MemoryListPath(paths_.dataDirectory), std::move(memoryHooks),
        paths_.programDirectory.empty() ? std::filesystem::path()
                                        : memory::MemoryListPath(paths_.programDirectory));
}

void Receiver::ConnectAudio()
{
    connect(audio_.get(), &audio::AudioEngine::DeviceError, this,
            [this](const QString& message) { emit ShowError(message, true); });
    connect(audio_.get(), &audio::AudioEngine::RestartStarted, this,
            &Receiver::DeviceRestartStarted);
    connect(audio_.get(), &audio::AudioEngine::RestartFinished, this, [this] {
        raw_->DevicesReopened();
        soundNotice_->DevicesReopened();
        sounds_->Reopen();
        emit DeviceRestartFinished();
    });
    // A lost device is told by a notice that never waits for the operator;
    // the engine reopens the device by itself, and the notice says so.
    soundNotice_ = std::make_unique<SoundNotice>();
    connect(soundNotice_.get(), &SoundNotice::Changed, this, &Receiver::SoundNoticeChanged);
    connect(audio_.get(), &audio::AudioEngine::DeviceLost, soundNotice_.get(),
            &SoundNotice::DeviceLost);
    connect(audio_.get(), &audio::AudioEngine::DevicesRecovered, this, [this] {
        raw_->DevicesReopened();
        soundNotice_->DevicesRecovered();
        emit SoundDevicesRecovered();
    });
    connect(audio_.get(), &audio::AudioEngine::InputLost, this,
            [this](unsigned blocks) { raw_->InputLost(blocks); });
}

void Receiver::ConnectRadio()
{
    connect(link_.get(), &radio::RadioLink::RadioLinkOkChanged, this,
            [this](bool on) { emit ComLampChanged(on); });
    connect(link_.get(), &radio::RadioLink::PortRefused, this,
            [this](const QString& message) { emit ShowError(message, true); });
    // The set-up ends by tuning the radio to FreqCenter, which moves the
    // grid remainder into FreqTune: the display must show it even when no
    // block arrives to repaint it.
    connect(radioControl_.get(), &radio::RadioControl::StartRadioFinished, this,
            &Receiver::DisplayChanged);
    connect(radioControl_.get(), &radio::RadioControl::StartRadioFinished, this,
            [this] { SendOwedRadioFrequency(); });
    connect(link_.get(), &radio::RadioLink::CommandFinished, this,
            [this] { SendOwedRadioFrequency(); });
    connect(radioControl_.get(), &radio::RadioControl::FrequencyAcknowledged, this,
            &Receiver::RadioSettled);
}

void Receiver::ConnectRecorders()
{
    const auto showError = [this](const QString& message) { emit ShowError(message, true); };
    connect(raw_.get(), &RawTransport::ButtonsChanged, this, &Receiver::RawButtonsChanged);
    connect(raw_.get(), &RawTransport::DisplayChanged, this, &Receiver::DisplayChanged);
    connect(raw_.get(), &RawTransport::Refused, this, showError);
    connect(raw_.get(), &RawTransport::RecordingFailed, this, showError);
    connect(raw_.get(), &RawTransport::RecordingIncomplete, this, showError);
    connect(wave_.get(), &core::WaveRecording::StateChanged, this, &Receiver::WaveStateChanged);
    connect(wave_.get(), &core::WaveRecording::Failed, this, showError);
}

void Receiver::MakeScanSession()
{
    // The Hamlib radio answers once its link is up; a serial one once its
    // port is open. A Hamlib radio still opening (the program's start, a scan
    // started with it) is waited for as a busy one is: the scan judges that
    // there is no radio only once it has answered or failed.
    const auto hamlibOpening = [this] {
        return state_.RadioType == radio::kHamlibRadioType && hamlib_->Opening();
    };
    ScanAccess scanAccess{
        state_,
        *wave_,
        [this] { return FileBusy(); },
        [this, hamlibOpening] { return RadioBusy() || hamlibOpening(); },
        [this, hamlibOpening] {
            return state_.RadioType == radio::kHamlibRadioType
                       ? hamlib_->LinkUp() || hamlibOpening()
                       : link_->PortOpen();
        },
        [this](int32_t center) { return radioControl_->SetRadioFrequency(center); }};
    scan_ = std::make_unique<ScanSession>(*this, std::move(scanAccess));
    connect(this, &Receiver::RadioSettled, scan_.get(), &ScanSession::RadioSettled);
}

Receiver::~Receiver()
{
    if (!destroyed_)
        CloseDevices();
    // The hooks point back here; nothing may call them from now on.
    audio_->SetRawRecordHook({});
    audio_->SetBlockHandler({});
    audio_->SetOutputHandler({});
}

void Receiver::SetAudioApi(audio::AudioApi api)
{
    audio_->SetApi(api);
    sounds_ = std::make_unique<audio::SoundPlayer>(api);
}

void Receiver::Start()
{
    // Defaults first, so that a second start (a test, say) begins afresh.
    state_ = ReceiverState{};
    state_.IFWidth = 3000;
    state_.ColorNum = 1;
    state_.FreqEntry.clear();
    state_.PortStr.clear();
    state_.MemName.clear();

    // Values no control could produce are brought into range while loading:
    // an unknown mode, IF, AF or AGC choice becomes 0, StepNum is clamped.
    LoadSettings(SettingsSource(), state_);
    noticeFromLastRun_ = exitNotice_.Take();
    state_.StepNum = std::clamp(state_.StepNum, 0, kStepCount - 1);
    state_.TuneStep = kStepTable[static_cast<std::size_t>(state_.StepNum)];

    // Mode, IF, AF and AGC choices, volume, input gain and the squelch's
    // noise filter; AN and NR taken over as restored.
    chain_->Setup();
    SetWaterfallGain(state_.WaterGainPos);

    state_.RawFileName = DefaultRawFile(paths_).string();
    state_.MemoryMode = !state_.MemName.empty();
    state_.MonitorOn = false;
    state_.Recording = false;
    state_.KnobHover = 0;
    state_.StepBusy = false;
    state_.PointEntered = false;

    raw_->Reset();
    udp_->ApplyStored();
    // Told once: "OK" refuses to change such a list for the whole run.
    if (const QString unread = memory_->Load(); !unread.isEmpty())
        emit ShowError(unread, true);
    if (const QString unread = scan_->Lockouts().Load(); !unread.isEmpty())
        emit ShowError(unread, true);
    started_ = true;
    destroyed_ = false;

    // The window sets its buttons, paints display and meter and draws the
    // knobs before the devices open.
    emit ButtonsChanged();
    emit RawButtonsChanged();
    emit DisplayChanged();
    emit KnobRedraw(Knob::Vol, false);
    emit KnobRedraw(Knob::Sql, false);

    // A device that cannot open now is told over the display and opened as
    // soon as it can be, as one lost later is: the server may be on its way
    // down or up, and no box may hold up the window that is yet to show.
    audio_->OpenOrAwait(state_.Input, state_.Output);
    // The keypad's sound stream opens in the background, once, but only when
    // the event loop runs: its worker holds the sound system while its
    // client opens, and the settings dialog, built before the first paint,
    // would wait for it to list the devices.
    QTimer::singleShot(0, this, [this] { sounds_->Open(); });
}

bool Receiver::OpenRadio()
{
    if (state_.RadioType == radio::kHamlibRadioType)
        return hamlib_->Open();
    if (state_.PortStr.empty())
        return false;
    if (!link_->OpenRadioPort(state_.PortStr, state_.RadioType))
        return false;
    radioControl_->StartRadio();
    return true;
}

void Receiver::AwaitRadioPort()
{
    // The Hamlib radio looks for its own port; the serial one stays closed.
    if (state_.RadioType != radio::kHamlibRadioType)
        link_->AwaitRadioPort();
}

bool Receiver::Shutdown(const WindowsShowing& showing)
{
    emit ShuttingDown();
    // A hit under way reaches the log, and its recording ends with it.
    scan_->Stop();
    state_.spectrumWindow.showing = showing.spectrum;
    state_.ifFilterWindow.showing = showing.ifFilter;
    state_.keypadWindow.showing = showing.keypad;
    state_.memoryListWindow.showing = showing.memoryList;
    state_.afFilterWindow.showing = showing.afFilter;
    state_.waveRecorderWindow.showing = showing.waveRecorder;

    raw_->CloseFiles();
    wave_->Stop();
    udp_->Stop();

    // A channel whose save failed earlier gets one more chance.
    QString memoryError;
    const bool memorySaved = memory_->SaveIfChanged(&memoryError);
    if (!memorySaved) {
        exitNotice_.Keep(memoryError);
        emit ShowError(memoryError, true);
    }

    KeepIqBand();
    try {
        SaveSettings(paths_.settingsFile, state_, SettingsSource());
    } catch (const std::exception& e) {
        const QString message = QString::fromStdString(e.what());
        exitNotice_.Keep(message);
        emit ShowError(message, false);
        return false;
    }
    return memorySaved;
}

QString Receiver::TakeNoticeFromLastRun() { return std::exchange(noticeFromLastRun_, {}); }

void Receiver::CloseErrorsSeen() { exitNotice_.Discard(); }

std::filesystem::path Receiver::SettingsSource() const
{
    return settings::SettingsFileToRead(paths_.settingsFile,
                                        paths_.programDirectory / paths_.settingsFile.filename());
}

WindowsShowing Receiver::WindowsToShow() const
{
    WindowsShowing w;
    w.spectrum = state_.spectrumWindow.showing;
    w.ifFilter = state_.ifFilterWindow.showing;
    w.keypad = state_.keypadWindow.showing;
    w.memoryList = state_.memoryListWindow.showing;
    w.afFilter = state_.afFilterWindow.showing;
    w.waveRecorder = state_.waveRecorderWindow.showing;
    return w;
}

void Receiver::CloseDevices()
{
    audio_->CloseCapture();
    audio_->ClosePlayback();
    destroyed_ = true;
}

// ---------------------------------------------------------------- buttons

void Receiver::SelectMode(Mode mode)
{
    AfChoice afChoice = AfChoice::Khz3;
    switch (mode) {
    case Mode::Am:
    case Mode::Cw: state_.SSBShift = 0; break;
    case Mode::Fm:
        state_.SSBShift = 0;
        afChoice = AfChoice::Khz6;
        break;
    case Mode::Lsb:
        state_.SSBShift = -state_.IFWidth / 2;  // the width before the IF change
        break;
    case Mode::Usb: state_.SSBShift = state_.IFWidth / 2; break;
    default: return;
    }
    state_.RxMode = mode;
    if (state_.RadioType == radio::kHamlibRadioType)
        hamlib_->ModeSelected(mode);
    SelectIfFilter(IfPresetOf(mode));
    SelectAfFilter(afChoice);
    emit IfWindowUpdate(false);
    state_.MemoryMode = false;
    emit ButtonsChanged();
    emit DisplayChanged();
}

void Receiver::SelectAgc(AgcSpeed speed)
{
    if (!IsKnown(speed))
        return;
    state_.AGC = speed;
    chain_->SetAGCSpeed();
    emit ButtonsChanged();
}

void Receiver::SelectIfFilter(IfChoice choice)
{
    if (!IsKnown(choice))
        return;
    state_.IFBW = choice;
    chain_->DesignIFFilter();
    emit IfWindowUpdate(choice == IfChoice::User);
    emit ButtonsChanged();
}

void Receiver::SelectAfFilter(AfChoice choice)
{
    if (!IsKnown(choice))
        return;
    state_.AFLPF = choice;
    chain_->DesignAFFilter();
    emit AfWindowUpdate(choice == AfChoice::User);
    emit ButtonsChanged();
}

// Codes outside a group (never there after the settings load) read as the
// group's first choice.
Mode Receiver::SelectedMode() const { return KnownOrFirst(state_.RxMode); }

AgcSpeed Receiver::SelectedAgc() const { return KnownOrFirst(state_.AGC); }

IfChoice Receiver::SelectedIfFilter() const { return KnownOrFirst(state_.IFBW); }

AfChoice Receiver::SelectedAfFilter() const { return KnownOrFirst(state_.AFLPF); }

void Receiver::DragUserIfWidth(int32_t PosIFBW)
{
    state_.PosIFBW = PosIFBW;
    // "User" goes down without its click action: the window that called is
    // showing already and redraws itself.
    state_.IFBW = IfChoice::User;
    chain_->DesignIFFilter();
    emit ButtonsChanged();
}

void Receiver::DragUserAfBand(int32_t PosAFFC1, int32_t PosAFFC2)
{
    state_.PosAFFC1 = PosAFFC1;
    state_.PosAFFC2 = PosAFFC2;
    state_.AFLPF = AfChoice::User;
    chain_->DesignAFFilter();
    emit ButtonsChanged();
}

void Receiver::Set3D(bool on) { state_.DSP3D = on; }

void Receiver::SetNoiseReduction(bool on) { chain_->SetNoiseReduction(on); }

void Receiver::SetCanceller(bool on) { chain_->SetCanceller(on); }

void Receiver::SetMonitor(bool on) { raw_->SetMonitor(on); }

// ------------------------------------------------------------------ knobs

int32_t Receiver::KnobAngle(Knob knob) const
{
    return knob == Knob::Vol ? state_.GainPos : state_.SqlPos;
}

void Receiver::SetKnobAngle(Knob knob, int32_t angle)
{
    if (knob == Knob::Vol) {
        state_.GainPos = ClampKnob(angle);
        chain_->SetVolume();
    } else if (knob == Knob::Sql) {
        state_.SqlPos = ClampKnob(angle);
    }
}

void Receiver::HoverKnob(Knob knob, bool windowHasFocus)
{
    if (knob == Knob::None)
        return;
    state_.KnobHover = static_cast<int32_t>(knob);
    if (windowHasFocus)
        emit KnobRedraw(knob, true);
}

void Receiver::LeaveKnob(Knob knob)
{
    if (knob == Knob::None)
        return;
    state_.KnobHover = 0;
    emit KnobRedraw(knob, false);
}

void Receiver::SetKnobFromPoint(Knob knob, int x, int y)
{
    if (knob == Knob::None)
        return;
    const KnobAnswer answer = KnobAngleFromPoint(x, y, KnobAngle(knob));
    if (!answer.changed)
        return;  // a click on the centre
    SetKnobAngle(knob, answer.angle);
    emit KnobRedraw(knob, true);
}

// ----------------------------------------------------------------- tuning

void Receiver::StepUp()
{
    state_.StepNum = std::min(state_.StepNum + 1, kStepCount - 1);
    state_.TuneStep = kStepTable[static_cast<std::size_t>(state_.StepNum)];
    emit DisplayChanged();
}

void Receiver::StepDown()
{
    state_.StepNum = std::max(state_.StepNum - 1, 0);
    state_.TuneStep = kStepTable[static_cast<std::size_t>(state_.StepNum)];
    emit DisplayChanged();
}

void Receiver::Snap()
{
    const int64_t step = state_.TuneStep > 0 ? state_.TuneStep : 1;
    const int64_t receive = int64_t(state_.FreqCenter) + state_.FreqTune;
    if (receive % step != 0)
        state_.FreqTune = static_cast<int32_t>(receive / step * step - state_.FreqCenter);
}

bool Receiver::FileBusy() const { return RawRecording() || RawPlaying(); }

void Receiver::StepTune(int d)
{
    if (state_.KnobHover == 1 || state_.KnobHover == 2) {
        const Knob knob = static_cast<Knob>(state_.KnobHover);
        SetKnobAngle(knob, KnobStep(KnobAngle(knob), d));
        emit KnobRedraw(knob, true);
        return;
    }
    if (state_.StepBusy)
        return;
    OperatorTunes();
    state_.StepBusy = true;
    // The load keeps FreqTune inside the band and every writer after it
    // does; should one not, the sums below still cannot overflow.
    state_.FreqTune = std::clamp(state_.FreqTune, -kHalfBand, kHalfBand);

    Snap();
    state_.MemoryMode = false;

    const dsp::PassBand band = dsp::PassBandOf(state_.RxMode, state_.IFWidth);
    const int32_t W = state_.IFWidth;
    const int32_t lowerEdge = band.below - kHalfBand;
    const int32_t upperEdge = kHalfBand - band.above;
    // A retune the radio refuses (the new centre lies outside its range)
    // leaves the receive frequency at the edge rather than across the band.
    auto retune = [this](int64_t f) {
        return FitsInt32(f) && radioControl_->SetRadioFrequency(static_cast<int32_t>(f));
    };

    if (d < 0) {
        state_.FreqTune -= state_.TuneStep;
        if (state_.FreqTune <= lowerEdge) {
            if (FileBusy()) {
                state_.FreqTune = lowerEdge;
            } else if (retune(int64_t(state_.FreqCenter) + W - kBandWidth)) {
                state_.FreqTune = upperEdge;
                Snap();
            } else {
                state_.FreqTune = lowerEdge;
            }
        }
    } else {
        state_.FreqTune += state_.TuneStep;
        if (state_.FreqTune >= upperEdge) {
            if (FileBusy()) {
                state_.FreqTune = upperEdge;
            } else if (retune(int64_t(state_.FreqCenter) + kBandWidth - W)) {
                state_.FreqTune = lowerEdge + state_.TuneStep;
                Snap();
            } else {
                state_.FreqTune = upperEdge;
            }
        }
    }

    state_.StepBusy = false;
    emit DisplayChanged();
}

std::filesystem::path Receiver::BeepFile(Sound sound) const
{
    switch (sound) {
    case Sound::Click: return paths_.programDirectory / "beep1.wav";
    case Sound::Accepted: return paths_.programDirectory / "beep2.wav";
    case Sound::None:
    case Sound::Refused: break;
    }
    return paths_.programDirectory / "beep3.wav";
}

void Receiver::RequestSound(Sound sound)
{
    if (sound == Sound::None)
        return;
    const std::filesystem::path file = BeepFile(sound);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec))
        return;
    sounds_->Play(file.string());
    emit SoundRequested(static_cast<int>(sound));
}

void Receiver::KeypadKey(int code)
{
    const EntryOutcome outcome = entry_.KeypadKey(code);
    RequestSound(outcome.sound);
    if (outcome.unreadable)
        emit ShowError(QString::fromStdString(entry_.UnreadableMessage()), false);
    if (outcome.center) {
        OperatorTunes();
        state_.FreqCenter = *outcome.center;
        radioControl_->SetRadioFrequency(state_.FreqCenter);
    }
    emit DisplayChanged();
}

// ---------------------------------------------------------- remote control

Receiver::TuneResult Receiver::TuneTo(int64_t hz)
{
    if (!entry_.InEntryLimits(hz))
        return TuneResult::OutOfRange;
    OperatorTunes();
    // The band's edges as the tuning steps have them: a pass band that
    // reaches one needs the radio.
    const dsp::PassBand band = dsp::PassBandOf(state_.RxMode, state_.IFWidth);
    const int64_t offset = hz - state_.FreqCenter;
    if (offset > band.below - kHalfBand && offset < kHalfBand - band.above) {
        state_.FreqTune = static_cast<int32_t>(offset);
    } else {
        if (FileBusy())
            return TuneResult::FileBusy;
        // The radio goes to hz - FreqTune, as for a typed frequency. Near an
        // end of its range that centre can lie beyond it; the centre then
        // stops at the end and FreqTune takes the rest, so that the whole
        // range a client is offered (\dump_state) is taken in every mode,
        // wherever FreqTune stood.
        const radio::RadioTypeInfo& type = radio::RadioTypeOf(state_.RadioType);
        int64_t center = std::clamp<int64_t>(hz - state_.FreqTune, type.MinCenter, type.MaxCenter);
        // Onto the radio's grid; rounded up where the remainder would carry
        // FreqTune past the band's edge.
        center = center / type.Grid * type.Grid;
        if (hz - center > kHalfBand)
            center += type.Grid;
        if (hz - center < -kHalfBand || hz - center > kHalfBand || center > type.MaxCenter)
            return TuneResult::OutOfRange;
        const bool busy = RadioBusy();
        state_.FreqTune = static_cast<int32_t>(hz - center);
        state_.FreqCenter = static_cast<int32_t>(center);
        radioControl_->SetRadioFrequency(state_.FreqCenter);
        radioOwed_ = radioOwed_ || (busy && link_->PortOpen());
    }
    state_.MemoryMode = false;
    emit DisplayChanged();
    return TuneResult::Tuned;
}

void Receiver::SendOwedRadioFrequency()
{
    if (!radioOwed_ || RadioBusy())
        return;
    radioOwed_ = false;
    // On the grid already: the receive frequency does not move.
    if (link_->PortOpen())
        radioControl_->SetRadioFrequency(state_.FreqCenter);
}

void Receiver::SetIfWidth(int32_t hz)
{
    for (IfChoice choice : {IfChoice::Khz0_5, IfChoice::Khz3, IfChoice::Khz6, IfChoice::Khz12}) {
        if (dsp::FixedIfWidth(choice) == hz) {
            SelectIfFilter(choice);
            return;
        }
    }
    SetUserIfWidth(static_cast<int32_t>(std::clamp<int64_t>((int64_t(hz) + 50) / 100, 1, 200)));
}

void Receiver::SetUserIfWidth(int32_t PosIFBW)
{
    DragUserIfWidth(std::clamp(PosIFBW, 1, 200));
    emit IfWindowUpdate(false);
}

void Receiver::TurnKnob(Knob knob, int32_t angle)
{
    if (knob == Knob::None)
        return;
    SetKnobAngle(knob, angle);
    emit KnobRedraw(knob, state_.KnobHover == static_cast<int32_t>(knob));
}

// --------------------------------------------------------------- raw files

void Receiver::Rec(bool down) { raw_->Rec(down); }

void Receiver::Play(bool down) { raw_->Play(down); }

void Receiver::OpenRawFile(const std::filesystem::path& file) { raw_->Open(file); }

void Receiver::PumpRawPlayback() { raw_->Pump(); }

bool Receiver::RecDown() const { return raw_->RecDown(); }

bool Receiver::RecEnabled() const { return raw_->RecEnabled(); }

bool Receiver::OpenEnabled() const { return raw_->OpenEnabled(); }

bool Receiver::PlayDown() const { return raw_->PlayDown(); }

bool Receiver::PlayEnabled() const { return raw_->PlayEnabled(); }

std::filesystem::path Receiver::OpenFolder() const { return raw_->OpenFolder(); }

bool Receiver::ListedAsRecording(const std::filesystem::path& file)
{
    return core::ListedAsRecording(file);
}

bool Receiver::RawRecording() const { return raw_->Recording(); }

bool Receiver::RawPlaying() const { return raw_->Playing(); }

QString Receiver::RawTimeText() const { return QString::fromLatin1(RawTime().data()); }

std::string_view Receiver::RawTime() const { return raw_->TimeText(); }

// -------------------------------------------------------------- WAV recorder

bool Receiver::WaveRecord(bool start)
{
    if (start)
        return wave_->Start();
    wave_->Stop();
    return true;
}

bool Receiver::WaveRecording() const { return wave_->Recording(); }

QString Receiver::WaveTimeText() const { return QString::fromLatin1(wave_->TimeText()); }

QString Receiver::SoundNoticeText() const { return soundNotice_->Text(); }

bool Receiver::SoundDeviceLost() const
{
    return soundNotice_->Current() == SoundNotice::State::Lost;
}

QStringList Receiver::RecoveredInputDeviceNames() const { return audio_->RecoveredInputNames(); }

QStringList Receiver::RecoveredOutputDeviceNames() const { return audio_->RecoveredOutputNames(); }

QStringList Receiver::InputDeviceNames() const { return audio_->InputDeviceNames(); }

QStringList Receiver::OutputDeviceNames() const { return audio_->OutputDeviceNames(); }

bool Receiver::RadioBusy() const
{
    return radioControl_->StartRadioRunning() || link_->CommandPending();
}

void Receiver::RestartDevices(int32_t input, int32_t output)
{
    state_.Input = input;
    state_.Output = output;
    audio_->RestartDevices(input, output);
}

void Receiver::SetInputGain(int32_t InGainPos)
{
    state_.InGainPos = std::clamp(InGainPos, -40, 40);
    chain_->SetInputGain();
}

void Receiver::SetWaterfallGain(int32_t WaterGainPos)
{
    state_.WaterGainPos = std::clamp(WaterGainPos, -40, 40);
    state_.WaterGain = std::pow(10.0, state_.WaterGainPos * 0.0125);
}

void Receiver::SetInvertIq(bool on) { state_.InvIQ = on; }

bool Receiver::ReopenRadio(int32_t PortNum, const std::string& PortStr, int32_t RadioType)
{
    link_->CloseRadioPort();
    hamlib_->Close();
    state_.PortNum = PortNum;
    state_.PortStr = PortStr;
    state_.RadioType = RadioType;
    if (RadioType == radio::kHamlibRadioType) {
        emit ComLampChanged(false);
        return hamlib_->Open();
    }
    const bool open = link_->OpenRadioPort(state_.PortStr, state_.RadioType);
    // The lamp showed the Hamlib link until now; the serial link tells only
    // of changes.
    emit ComLampChanged(link_->RadioLinkOk());
    radioControl_->StartRadio();
    return open;
}

Receiver::HamlibSettings Receiver::HamlibInEffect() const
{
    const ReceiverState& s = state_;
    return {s.HamlibModel, s.HamlibPort, s.HamlibSpeed, s.HamlibIqOffset,
            s.HamlibTransverterOffset};
}

void Receiver::SetInputCorrections(int32_t iqCorr, bool dcCorr, int32_t gain, int32_t phase)
{
    ReceiverState& s = state_;
    s.IQCorr = iqCorr;
    s.DCCorr = dcCorr;
    s.IQCorrGain = gain;
    s.IQCorrPhase = phase;
    settings::BringChainControlsIntoRange(s);
    s.InputCorrStored = true;
}

double Receiver::ImageRejectionDb() const { return chain_->ImageRejectionDb(); }

namespace {
// Evidence a band's learning needs before it is kept: 2000 frames, some 20 s
// of stations and band noise, so that a short visit leaves nothing behind.
constexpr double kEvidenceToKeep = 2000.0;
}  // namespace

void Receiver::KeepIqBand()
{
    if (iqBand_ && state_.IQCorr == 1 && chain_->IqBalanceEvidence() > kEvidenceToKeep)
        state_.IqBands.Keep(*iqBand_, chain_->IqBalanceModel());
}

void Receiver::FollowIqBand()
{
    const int32_t band = IqBandMemory::BandOf(state_.FreqCenter);
    if (iqBand_ == band)
        return;
    KeepIqBand();
    // An unknown band goes on from what the card showed elsewhere.
    if (const auto model = state_.IqBands.Find(band))
        chain_->LoadIqBalance(*model);
    iqBand_ = band;
}

void Receiver::ChooseHamlib(const HamlibSettings& settings)
{
    const HamlibSettings before = HamlibInEffect();
    ReceiverState& s = state_;
    s.HamlibModel = settings.Model;
    s.HamlibPort = settings.Port;
    s.HamlibSpeed = std::clamp(settings.Speed, 0, 4000000);
    s.HamlibIqOffset = std::clamp(settings.IqOffset, -kMaxIqOffset, kMaxIqOffset);
    s.HamlibTransverterOffset =
        std::clamp(settings.TransverterOffset, -kMaxTransverterOffset, kMaxTransverterOffset);
    s.HamlibStored = true;
    if (s.RadioType != radio::kHamlibRadioType)
        return;
    if (before.Model != s.HamlibModel || before.Port != s.HamlibPort ||
        before.Speed != s.HamlibSpeed)
        hamlib_->Open();
    else if (before.IqOffset != s.HamlibIqOffset ||
             before.TransverterOffset != s.HamlibTransverterOffset)
        hamlib_->OffsetsChanged();
}

void Receiver::StorePortChoice(int32_t PortNum, const std::string& PortStr)
{
    state_.PortNum = PortNum;
    state_.PortStr = PortStr;
}

void Receiver::SetAlwaysOnTop(bool on) { state_.alwaysOnTop = on; }

void Receiver::StoreRemoteChoice(bool RemoteOn, int32_t RemotePort, const std::string& RemoteAllow)
{
    state_.RemoteOn = RemoteOn;
    state_.RemotePort = RemotePort;
    state_.RemoteAllow = RemoteAllow;
    state_.RemoteStored = true;
}

void Receiver::SetSpectrumVisible(bool visible) { state_.SpectrumVisible = visible; }

void Receiver::OperatorTunes() { scan_->OperatorTuned(); }

void Receiver::SelectPalette(int32_t ColorNum)
{
    state_.ColorNum = ColorNum >= 0 && ColorNum < kPaletteCount ? ColorNum : 0;
}

void Receiver::StoreWindowPlace(Window window, const QRect& frame)
{
    StoredWindow& place = state_.Place(window);
    place.left = frame.x();
    place.top = frame.y();
    // The scan window's section is written from its first place on.
    if (window == Window::Scan)
        state_.ScanStored = true;
    if (KeepsSize(window)) {
        place.width = frame.width();
        place.height = frame.height();
    }
}

void Receiver::StoreClosingWindowPlace(Window window, const QRect& frame, bool maximized)
{
    if (KeepsSize(window))
        StoreGeometry(state_.Place(window), maximized,
                      {frame.y(), frame.x(), frame.width(), frame.height()});
    else
        StoreWindowPlace(window, frame);
}

QRect Receiver::WindowPlace(Window window) const
{
    const StoredWindow& place = state_.Place(window);
    if (!KeepsSize(window))
        return {place.left, place.top, 0, 0};
    return {place.left, place.top, place.width, place.height};
}

bool Receiver::MoveBand(int d)
{
    // While a raw file plays the band shown is the file's, and while one
    // records its header holds the centre it began at: retuning the radio
    // then would leave radio, display and file out of step (the tuning
    // steps stop at the band's edge for the same reason). A recording wider
    // than the band moves its slice instead.
    if (RawPlaying())
        return raw_->MoveSlice(d);
    if (FileBusy())
        return false;
    OperatorTunes();
    const int64_t center = int64_t(state_.FreqCenter) + (d < 0 ? -kBandWidth : kBandWidth);
    if (!FitsInt32(center) || !radioControl_->SetRadioFrequency(static_cast<int32_t>(center)))
        return false;
    emit DisplayChanged();
    return true;
}

void Receiver::SpectrumPressed(PointerButton button, int32_t offset)
{
    state_.MemoryMode = false;
    if (button == PointerButton::Left) {
        OperatorTunes();
        state_.FreqTune = offset;
    } else if (button == PointerButton::Right)
        state_.DragTune = !state_.DragTune;
    emit DisplayChanged();
}

void Receiver::SpectrumMoved(int32_t offset)
{
    if (!state_.DragTune)
        return;
    OperatorTunes();
    state_.FreqTune = offset;
    state_.MemoryMode = false;
    emit DisplayChanged();
}

// -------------------------------------------------------------- block path

const dsp::BlockOutputs& Receiver::Outputs() const { return chain_->Outputs(); }

bool Receiver::RadioLinkOk() const
{
    return state_.RadioType == radio::kHamlibRadioType ? hamlib_->LinkUp() : link_->RadioLinkOk();
}

QString Receiver::RadioNoticeText() const { return hamlib_->Notice().Text(); }

void Receiver::HandleBlock(const int16_t* frames) { ProcessAndDeliver(frames); }

void Receiver::ProcessAndDeliver(const int16_t* frames)
{
    lastInput_ = frames;
    FollowIqBand();
    chain_->ProcessBlock(frames);
    const dsp::BlockOutputs& out = chain_->Outputs();
    needle_.Step(out.AGCTrace.data());
    audio_->QueueOutputBlock(audio::BlockView(out.OutFrames.data(), out.OutFrames.size()));
    udp_->SendBlock(out);
    if (out.RecFeedReady)
        wave_->RecordBlock(out.RecFeed.data());
    // The chain analyses for a scan too; the window redraws only while it shows.
    if (out.SpectrumUpdated && state_.SpectrumVisible)
        emit SpectrumReady();
    scan_->OnBlock();
    ++processedBlocks_;
    emit BlockProcessed();
    link_->PollRadioPort();
}

}  // namespace core
