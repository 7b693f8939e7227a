#include "core/Receiver.h"

#include "audio/AudioEngine.h"
#include "dsp/SignalChain.h"
#include "radio/RadioControl.h"
#include "radio/RadioLink.h"
#include "radio/RadioTypes.h"
#include "recording/FileStamp.h"
#include "recording/RawIqFile.h"
#include "recording/WavFile.h"
#include "settings/ProfileFile.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsLocation.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <system_error>

namespace core {
namespace {

constexpr int32_t kModeAM = 0, kModeFM = 1, kModeCW = 2, kModeLSB = 3, kModeUSB = 4;

int32_t ClampKnob(int32_t angle) { return std::clamp(angle, kKnobMin, kKnobMax); }

bool FitsInt32(int64_t v)
{
    return v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max();
}

// The part of the IQ band the pass band takes below and above FreqTune.
struct PassBand {
    int32_t lo;
    int32_t hi;
};

PassBand PassBandOf(int32_t RxMode, int32_t IFWidth)
{
    switch (RxMode) {
    case kModeLSB: return {IFWidth, 0};
    case kModeUSB: return {0, IFWidth};
    default: return {IFWidth / 2, IFWidth / 2};
    }
}

}  // namespace

ReceiverPaths ReceiverPaths::ForApplication()
{
    ReceiverPaths p;
    p.settingsFile = settings::SettingsFilePath();
    p.dataDirectory = settings::DataDirectory();
    p.programDirectory =
        std::filesystem::path(QCoreApplication::applicationDirPath().toStdString());
    return p;
}

Receiver::Receiver(ReceiverPaths paths, QObject* parent)
    : QObject(parent)
    , paths_(std::move(paths))
{
    chain_ = std::make_unique<dsp::SignalChain>(state_);
    audio_ = std::make_unique<audio::AudioEngine>();
    link_ = std::make_unique<radio::RadioLink>();
    radioControl_ = std::make_unique<radio::RadioControl>(*link_, state_.FreqCenter,
                                                          state_.FreqTune, state_.RadioType);
    rawRecorder_ = std::make_unique<recording::RawRecorder>();
    rawPlayer_ = std::make_unique<recording::RawPlayer>();
    waveRecorder_ = std::make_unique<recording::WaveRecorder>();

    connect(audio_.get(), &audio::AudioEngine::DeviceError, this,
            [this](const QString& message) { emit ShowError(message, true); });
    connect(audio_.get(), &audio::AudioEngine::RestartStarted, this,
            &Receiver::DeviceRestartStarted);
    connect(audio_.get(), &audio::AudioEngine::RestartFinished, this,
            &Receiver::DeviceRestartFinished);
    connect(link_.get(), &radio::RadioLink::RadioLinkOkChanged, this,
            [this](bool on) { emit ComLampChanged(on); });

    audio_->SetRawRecordHook([this](audio::BlockView block) {
        if (rawRecorder_->IsOpen())
            rawRecorder_->AppendBlock(block.data());
    });
    audio_->SetBlockHandler([this](audio::BlockView block) { HandleBlock(block.data()); });
    audio_->SetOutputHandler([this] { PumpRawPlayback(); });
}

Receiver::~Receiver()
{
    if (!destroyed_)
        FormDestroy();
    // The hooks point back here; nothing may call them from now on.
    audio_->SetRawRecordHook({});
    audio_->SetBlockHandler({});
    audio_->SetOutputHandler({});
}

void Receiver::SetAudioApi(audio::AudioApi api) { audio_->SetApi(api); }

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
    settings::LoadSettings(paths_.settingsFile, state_);
    state_.StepNum = std::clamp(state_.StepNum, 0, kStepCount - 1);
    state_.TuneStep = kStepTable[static_cast<std::size_t>(state_.StepNum)];

    // Mode, IF, AF and AGC choices, volume, input gain and the squelch's
    // noise filter; AN and NR taken over as restored.
    chain_->Setup();
    state_.WaterGain = std::pow(10.0, state_.WaterGainPos * 0.0125);

    state_.RawFileName = (paths_.dataDirectory / "RawData.dat").string();
    state_.MemoryMode = !state_.MemName.empty();
    state_.MonitorOn = false;
    state_.Recording = false;
    state_.KnobHover = 0;
    state_.StepBusy = false;
    state_.PointEntered = false;

    recDown_ = false;
    recEnabled_ = true;
    openEnabled_ = true;
    playDown_ = false;
    playEnabled_ = false;
    started_ = true;
    destroyed_ = false;

    // The window sets its buttons, paints display and meter and draws the
    // knobs before the devices open.
    emit ButtonsChanged();
    emit RawButtonsChanged();
    emit DisplayChanged();
    emit KnobRedraw(Knob::Vol, false);
    emit KnobRedraw(Knob::Sql, false);

    audio_->OpenCapture(state_.Input);
    audio_->OpenPlayback(state_.Output);
}

bool Receiver::OpenRadio()
{
    if (state_.PortStr.empty())
        return false;
    if (!link_->OpenRadioPort(state_.PortStr, state_.RadioType))
        return false;
    radioControl_->StartRadio();
    return true;
}

bool Receiver::FormClose(const WindowsShowing& showing)
{
    state_.SpecShow = showing.SpecShow;
    state_.FiltShow = showing.FiltShow;
    state_.InpShow = showing.InpShow;
    state_.ListShow = showing.ListShow;
    state_.AudioShow = showing.AudioShow;
    state_.WaveShow = showing.WaveShow;

    if (rawPlayer_->IsOpen()) {
        // The radio is still tuned where it was before playback: keep that
        // centre, not the file's, for the next start.
        rawPlayer_->Close();
        state_.FreqCenter = state_.SavedCenter;
        playDown_ = false;
    }
    if (rawRecorder_->IsOpen())
        rawRecorder_->Abandon();
    if (waveRecorder_->IsOpen())
        waveRecorder_->Stop();
    state_.Recording = false;

    try {
        settings::SaveSettings(paths_.settingsFile, state_);
    } catch (const std::exception& e) {
        emit ShowError(QString::fromStdString(e.what()), false);
        return false;
    }
    return true;
}

WindowsShowing Receiver::WindowsToShow() const
{
    WindowsShowing w;
    w.SpecShow = state_.SpecShow;
    w.FiltShow = state_.FiltShow;
    w.InpShow = state_.InpShow;
    w.ListShow = state_.ListShow;
    w.AudioShow = state_.AudioShow;
    w.WaveShow = state_.WaveShow;
    return w;
}

void Receiver::FormDestroy()
{
    audio_->CloseCapture();
    audio_->ClosePlayback();
    destroyed_ = true;
}

// ---------------------------------------------------------------- buttons

void Receiver::ModeClick(int32_t RxMode)
{
    int32_t ifChoice = 0;
    int32_t afChoice = 0;
    switch (RxMode) {
    case kModeAM:
        state_.SSBShift = 0;
        ifChoice = 2;
        afChoice = 0;
        break;
    case kModeFM:
        state_.SSBShift = 0;
        ifChoice = 3;
        afChoice = 1;
        break;
    case kModeCW:
        state_.SSBShift = 0;
        ifChoice = 0;
        afChoice = 0;
        break;
    case kModeLSB:
        state_.SSBShift = -state_.IFWidth / 2;  // the width before the IF change
        ifChoice = 1;
        afChoice = 0;
        break;
    case kModeUSB:
        state_.SSBShift = state_.IFWidth / 2;
        ifChoice = 1;
        afChoice = 0;
        break;
    default: return;
    }
    state_.RxMode = RxMode;
    IFClick(ifChoice);
    AFClick(afChoice);
    emit IFWindowUpdate(false);
    state_.MemoryMode = false;
    emit ButtonsChanged();
    emit DisplayChanged();
}

void Receiver::AGCClick(int32_t AGC)
{
    if (AGC < 0 || AGC > 2)
        return;
    state_.AGC = AGC;
    chain_->SetAGCSpeed();
    emit ButtonsChanged();
}

void Receiver::IFClick(int32_t IFBW)
{
    if (IFBW < 0 || IFBW > 4)
        return;
    state_.IFBW = IFBW;
    chain_->DesignIFFilter();
    emit IFWindowUpdate(IFBW == 4);
    emit ButtonsChanged();
}

void Receiver::AFClick(int32_t AFLPF)
{
    if (AFLPF < 0 || AFLPF > 2)
        return;
    state_.AFLPF = AFLPF;
    chain_->DesignAFFilter();
    emit AFWindowUpdate(AFLPF == 2);
    emit ButtonsChanged();
}

void Receiver::UserIFWidthChanged()
{
    if (state_.IFBW == 4)
        chain_->DesignIFFilter();
}

void Receiver::UserAFBandChanged()
{
    if (state_.AFLPF == 2)
        chain_->DesignAFFilter();
}

void Receiver::DSP3DClick(bool down) { state_.DSP3D = down; }

void Receiver::NRClick(bool down) { chain_->SetNoiseReduction(down); }

void Receiver::ANClick(bool down) { chain_->SetCanceller(down); }

void Receiver::MonitorClick(bool down)
{
    state_.MonitorOn = down;
    if (down && recDown_) {
        // Only the button comes up; a recording under way goes on.
        recDown_ = false;
    }
    emit RawButtonsChanged();
}

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

void Receiver::KnobEnter(Knob knob, bool windowHasFocus)
{
    if (knob == Knob::None)
        return;
    state_.KnobHover = static_cast<int32_t>(knob);
    if (windowHasFocus)
        emit KnobRedraw(knob, true);
}

void Receiver::KnobLeave(Knob knob)
{
    if (knob == Knob::None)
        return;
    state_.KnobHover = 0;
    emit KnobRedraw(knob, false);
}

void Receiver::KnobRelease(Knob knob, int x, int y)
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
    state_.StepBusy = true;

    Snap();
    state_.MemoryMode = false;

    const PassBand band = PassBandOf(state_.RxMode, state_.IFWidth);
    const int32_t W = state_.IFWidth;
    const int32_t lowerEdge = band.lo - kHalfBand;
    const int32_t upperEdge = kHalfBand - band.hi;
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
    case Sound::Refused: break;
    }
    return paths_.programDirectory / "beep3.wav";
}

void Receiver::Play(Sound sound)
{
    const std::filesystem::path file = BeepFile(sound);
    std::error_code ec;
    if (std::filesystem::is_regular_file(file, ec))
        emit PlaySound(static_cast<int>(sound), QString::fromStdString(file.string()));
}

void Receiver::KeypadKey(int code)
{
    std::string& entry = state_.FreqEntry;
    if ((code == keys::Point || code == keys::PadPoint) && !state_.PointEntered) {
        state_.PointEntered = true;
        entry.push_back('.');
        state_.MemoryMode = false;
        Play(Sound::Click);
    } else if (code == keys::Escape) {
        state_.PointEntered = false;
        entry.clear();
        Play(Sound::Click);
    } else if (code == keys::Back) {
        if (!entry.empty() && entry.back() == '.')
            state_.PointEntered = false;
        if (!entry.empty())
            entry.pop_back();
        Play(Sound::Click);
    } else if (code == keys::Enter) {
        ConfirmEntry();
    } else {
        int c = code;
        if (c > 57)
            c -= 48;
        if (c >= 48 && c <= 57) {
            entry.push_back(static_cast<char>(c));
            state_.MemoryMode = false;
            Play(Sound::Click);
        }
    }
    emit DisplayChanged();
}

void Receiver::ConfirmEntry()
{
    std::string& entry = state_.FreqEntry;
    auto clear = [this, &entry] {
        state_.PointEntered = false;
        entry.clear();
    };
    if (entry.empty()) {
        clear();
        return;
    }

    // The entry holds digits and at most one ".": read it exactly, in whole
    // hertz plus whether any finer digit is set.
    const std::size_t point = entry.find('.');
    const std::string whole = entry.substr(0, point);
    const std::string fraction =
        point == std::string::npos ? std::string() : entry.substr(point + 1);
    if (whole.empty() && fraction.empty()) {
        // Nothing to read: say so and keep the entry for "BS" or "CE".
        emit ShowError(
            QStringLiteral("\"%1\" is not a frequency in MHz.").arg(QString::fromStdString(entry)),
            false);
        return;
    }
    const std::size_t firstDigit = whole.find_first_not_of('0');
    const std::string significant =
        firstDigit == std::string::npos ? std::string() : whole.substr(firstDigit);
    const bool fractionZero = fraction.find_first_not_of('0') == std::string::npos;
    if (significant.empty() && fractionZero) {
        clear();  // 0: no sound, no change
        return;
    }

    const radio::RadioTypeInfo& type = radio::RadioTypeOf(state_.RadioType);
    const int64_t minHz = std::llround(type.KeypadMinMHz * 1e6);
    const int64_t maxHz = std::llround(type.KeypadMaxMHz * 1e6);

    bool inRange = significant.size() <= 9;  // more whole digits than any limit has
    int64_t hz = 0;
    bool finer = false;
    if (inRange) {
        for (char ch : significant)
            hz = hz * 10 + (ch - '0');
        int64_t micro = 0;
        for (std::size_t i = 0; i < 6; ++i)
            micro = micro * 10 + (i < fraction.size() ? fraction[i] - '0' : 0);
        hz = hz * 1000000 + micro;
        finer = fraction.size() > 6 && fraction.find_first_not_of('0', 6) != std::string::npos;
        inRange = hz >= minHz && (hz < maxHz || (hz == maxHz && !finer));
    }

    // An entry whose centre frequency the radio cannot take changes nothing,
    // FreqCenter included.
    const int64_t center = hz - state_.FreqTune;
    if (inRange && (center < type.MinCenter || center > type.MaxCenter))
        inRange = false;

    if (!inRange) {
        Play(Sound::Refused);
    } else {
        Play(Sound::Accepted);
        state_.FreqCenter = static_cast<int32_t>(center);
        radioControl_->SetRadioFrequency(state_.FreqCenter);
    }
    clear();
}

// --------------------------------------------------------------- raw files

bool Receiver::RawRecording() const { return rawRecorder_->IsOpen(); }

bool Receiver::RawPlaying() const { return rawPlayer_->IsOpen(); }

QString Receiver::RawTimeText() const { return QString::fromLatin1(RawTime().data()); }

std::string_view Receiver::RawTime() const
{
    if (rawPlayer_->IsOpen())
        return rawPlayer_->TimeText();
    if (rawRecorder_->IsOpen())
        return rawRecorder_->TimeText();
    return {};
}

void Receiver::StopRawRecording()
{
    if (!rawRecorder_->IsOpen())
        return;
    rawRecorder_->Stop();
    state_.RawFileName = rawRecorder_->FileName().string();
    playEnabled_ = true;
    openEnabled_ = true;
}

void Receiver::RecClick(bool down)
{
    if (!down) {
        recDown_ = false;
        StopRawRecording();
        emit RawButtonsChanged();
        emit DisplayChanged();
        return;
    }
    if (rawPlayer_->IsOpen()) {
        // "Rec" is disabled while a file plays.
        emit RawButtonsChanged();
        return;
    }
    // "Rec" and "Monitor" form one group: pressing "Rec" releases "Monitor".
    state_.MonitorOn = false;
    // A recording left running when "Monitor" released "Rec" ends as a
    // normal stop does before the new one begins.
    StopRawRecording();

    const bool created =
        rawRecorder_->StartInFolder(paths_.dataDirectory, recording::LocalNow(), state_.FreqCenter);
    state_.RawFileName = rawRecorder_->FileName().string();
    if (created) {
        recDown_ = true;
        playEnabled_ = false;
        openEnabled_ = false;
    } else {
        // Nothing records: the button comes up again, so it never shows a
        // recording that is not there.
        recDown_ = false;
    }
    emit RawButtonsChanged();
    emit DisplayChanged();
}

void Receiver::PlayClick(bool down)
{
    if (!down) {
        playDown_ = false;
        if (rawPlayer_->IsOpen())
            EndPlayback(true);
        emit RawButtonsChanged();
        emit DisplayChanged();
        return;
    }
    if (rawPlayer_->IsOpen() || rawRecorder_->IsOpen()) {
        // Already playing, or "Play" is disabled while recording.
        playDown_ = rawPlayer_->IsOpen();
        emit RawButtonsChanged();
        return;
    }

    playDown_ = true;
    audio_->StopCapture();
    const recording::RawHeaderCheck check = rawPlayer_->Open(state_.RawFileName);
    if (check.status != recording::RawHeaderStatus::Accepted) {
        playDown_ = false;
        emit RawButtonsChanged();
        if (check.message)
            emit ShowError(QString::fromLatin1(check.message), true);
        audio_->RestartCapture();
        return;
    }

    state_.SavedCenter = state_.FreqCenter;
    // Five header bytes can hold more than a frequency field does.
    state_.FreqCenter = static_cast<int32_t>(
        std::clamp<int64_t>(check.freqCenter, 0, std::numeric_limits<int32_t>::max()));
    recEnabled_ = false;
    openEnabled_ = false;
    state_.MemoryMode = false;
    state_.DragTune = false;
    emit RawButtonsChanged();
    emit DisplayChanged();
    PumpRawPlayback();
}

void Receiver::EndPlayback(bool closeFile)
{
    if (closeFile)
        rawPlayer_->Close();
    playDown_ = false;
    state_.FreqCenter = state_.SavedCenter;
    recEnabled_ = true;
    openEnabled_ = true;
    audio_->RestartCapture();
}

void Receiver::OpenRawFile(const std::filesystem::path& file)
{
    if (rawPlayer_->IsOpen() || rawRecorder_->IsOpen())
        return;  // "Open" is disabled meanwhile
    state_.RawFileName = file.string();
    playEnabled_ = true;
    PlayClick(true);
}

void Receiver::PumpRawPlayback()
{
    if (!rawPlayer_->IsOpen())
        return;
    switch (rawPlayer_->Pump()) {
    case recording::RawPlayer::Step::Idle: return;
    case recording::RawPlayer::Step::Block: ProcessAndDeliver(rawPlayer_->Frames()); return;
    case recording::RawPlayer::Step::FinalBlock:
        // The player has closed the file; the zero-padded rest still goes
        // through the chain after live input has resumed.
        EndPlayback(false);
        emit RawButtonsChanged();
        ProcessAndDeliver(rawPlayer_->Frames());
        return;
    }
}

// -------------------------------------------------------------- WAV recorder

bool Receiver::WaveRecord(bool start)
{
    if (!start) {
        if (waveRecorder_->IsOpen())
            waveRecorder_->Stop();
        state_.Recording = false;
        emit WaveStateChanged();
        return true;
    }
    if (waveRecorder_->IsOpen())
        return true;
    const bool created = waveRecorder_->StartInFolder(paths_.dataDirectory, recording::LocalNow(),
                                                      state_.FreqTune, state_.FreqCenter);
    state_.Recording = created;
    emit WaveStateChanged();
    return created;
}

bool Receiver::WaveRecording() const { return waveRecorder_->IsOpen(); }

QString Receiver::WaveTimeText() const { return QString::fromLatin1(waveRecorder_->TimeText()); }

void Receiver::RestartDevices(int32_t input, int32_t output)
{
    state_.Input = input;
    state_.Output = output;
    audio_->RestartDevices(input, output);
}

void Receiver::SetSpectrumVisible(bool visible) { state_.SpectrumVisible = visible; }

// -------------------------------------------------------------- block path

const dsp::BlockOutputs& Receiver::Outputs() const { return chain_->Outputs(); }

bool Receiver::RadioLinkOk() const { return link_->RadioLinkOk(); }

void Receiver::HandleBlock(const int16_t* frames) { ProcessAndDeliver(frames); }

void Receiver::ProcessAndDeliver(const int16_t* frames)
{
    lastInput_ = frames;
    chain_->ProcessBlock(frames);
    const dsp::BlockOutputs& out = chain_->Outputs();
    audio_->QueueOutputBlock(audio::BlockView(out.OutFrames.data(), out.OutFrames.size()));
    if (out.RecFeedReady && waveRecorder_->IsOpen()) {
        waveRecorder_->RecordBlock(out.RecFeed.data());
        emit WaveStateChanged();
    }
    if (out.SpectrumUpdated)
        emit SpectrumReady();
    ++processedBlocks_;
    emit BlockProcessed();
    link_->PollRadioPort();
}

}  // namespace core
