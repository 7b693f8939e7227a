#include "audio/AudioEngine.h"

#include <RtAudio.h>

#include <optional>
#include <string>
#include <vector>

namespace audio {

namespace {

RtAudio::Api ToRtApi(AudioApi api)
{
    switch (api) {
    case AudioApi::Jack: return RtAudio::UNIX_JACK;
    case AudioApi::Pulse: return RtAudio::LINUX_PULSE;
    case AudioApi::Alsa: return RtAudio::LINUX_ALSA;
    case AudioApi::Automatic: break;
    }
    return RtAudio::UNSPECIFIED;
}

constexpr int kProbeAttempts = 3;

struct DeviceEntry {
    unsigned id;
    std::string name;
};

// The devices of one direction in the sound system's order. The lists the
// settings dialog shows and the numbers the opens resolve come from here
// alone, so the two stay in step.
std::vector<DeviceEntry> ListDevices(RtAudio& rt, bool input)
{
    std::vector<DeviceEntry> list;
    unsigned count = 0;
    for (int attempt = 0; attempt < kProbeAttempts && count == 0; ++attempt)
        count = rt.getDeviceCount();
    for (unsigned id = 0; id < count; ++id) {
        // JACK's back end opens a client of its own for every count and probe,
        // and on a busy system one may fail now and then; a device skipped
        // that way would shift the numbers of all that follow.
        RtAudio::DeviceInfo info{};
        for (int attempt = 0; attempt < kProbeAttempts && !info.probed; ++attempt) {
            try {
                info = rt.getDeviceInfo(id);
            } catch (const std::exception&) {
                break;
            }
        }
        const unsigned channels = input ? info.inputChannels : info.outputChannels;
        if (!info.probed || channels == 0 || IsOwnStream(info.name))
            continue;
        list.push_back({id, info.name});
    }
    return list;
}

// Device number 0 is the system's default, n the n-th listed device.
std::optional<unsigned> FindDevice(RtAudio& rt, bool input, int32_t number)
{
    const std::vector<DeviceEntry> list = ListDevices(rt, input);
    if (number < 0 || std::size_t(number) > list.size() || list.empty())
        return std::nullopt;
    if (number > 0)
        return list[std::size_t(number) - 1].id;
    const unsigned preferred = input ? rt.getDefaultInputDevice() : rt.getDefaultOutputDevice();
    for (const DeviceEntry& entry : list)
        if (entry.id == preferred)
            return preferred;
    // The system's choice is not usable (one of our own streams, or a device
    // without channels in this direction): take the first that is.
    return list.front().id;
}

QStringList DeviceNames(AudioApi api, bool input)
{
    QStringList names;
    try {
        RtAudio rt(ToRtApi(ResolveAudioApi(api)));
        for (const DeviceEntry& entry : ListDevices(rt, input))
            names << QString::fromStdString(entry.name);
    } catch (const std::exception&) {
    }
    return names;
}

}  // namespace

AudioEngine::AudioEngine(QObject* parent)
    : QObject(parent)
    , captureRing_(std::make_unique<CaptureRing<kCaptureBlocks>>())
    , playbackRing_(std::make_unique<PlaybackRing<kPlaybackBlocks>>())
    , inBlock_(std::make_unique<Block>())
{
    capture_.engine = this;
    playback_.engine = this;
    restartTimer_.setSingleShot(true);
    // A coarse timer may fire early; the notice must stay up the full pause.
    restartTimer_.setTimerType(Qt::PreciseTimer);
    connect(&restartTimer_, &QTimer::timeout, this, &AudioEngine::RestartOpenStep);
}

AudioEngine::~AudioEngine()
{
    restartTimer_.stop();
    CloseCapture();
    ClosePlayback();
}

QStringList AudioEngine::InputDeviceNames() const { return DeviceNames(api_, true); }

QStringList AudioEngine::OutputDeviceNames() const { return DeviceNames(api_, false); }

bool AudioEngine::OpenCapture(int32_t Input)
{
    CloseCapture();
    input_ = Input;
    captureRunning_ = OpenStream(capture_, true, Input);
    return captureRunning_;
}

bool AudioEngine::OpenPlayback(int32_t Output)
{
    ClosePlayback();
    output_ = Output;
    return OpenStream(playback_, false, Output);
}

bool AudioEngine::OpenStream(Stream& stream, bool input, int32_t number)
{
    const QString openError = QString::fromLatin1(input ? kCaptureOpenError : kPlaybackOpenError);
    const AudioApi api = ResolveAudioApi(api_);

    std::unique_ptr<RtAudio> rt;
    std::optional<unsigned> device;
    try {
        rt = std::make_unique<RtAudio>(ToRtApi(api));
        device = FindDevice(*rt, input, number);
    } catch (const std::exception&) {
    }
    if (!rt || !device) {
        emit DeviceError(openError);
        return false;
    }

    // The device thread starts with empty rings and a generation of its own.
    if (input)
        captureRing_->Reset();
    else
        playbackRing_->Reset();
    stream.generation.fetch_add(1, std::memory_order_relaxed);
    stream.flowing = false;
    stream.lastFrames.store(0, std::memory_order_relaxed);

    RtAudio::StreamParameters params;
    params.deviceId = *device;
    params.nChannels = kChannels;
    params.firstChannel = 0;
    RtAudio::StreamOptions options;
    options.streamName = input ? kCaptureStreamName : kPlaybackStreamName;
    // The frame count is a request only: JACK, for one, imposes its own
    // period, and the callbacks take whatever count arrives. A busy JACK
    // server may turn a new client away now and then; a device that really
    // cannot open fails every attempt, and quickly.
    for (int attempt = 0; attempt < kProbeAttempts && !rt->isStreamOpen(); ++attempt) {
        unsigned frames = kBlockFrames;
        try {
            rt->openStream(input ? nullptr : &params, input ? &params : nullptr, RTAUDIO_SINT16,
                           kSampleRate, &frames, input ? &CaptureCallback : &PlaybackCallback,
                           &stream, &options);
        } catch (const std::exception&) {
        }
    }
    if (!rt->isStreamOpen()) {
        rt.reset();
        emit DeviceError(openError);
        return false;
    }

    try {
        rt->startStream();
    } catch (const std::exception&) {
    }
    if (!rt->isStreamRunning()) {
        // Half open: give back what was acquired, so that the engine is
        // simply closed and a later close or restart finds nothing held.
        stream.rt = std::move(rt);
        ReleaseStream(stream);
        emit DeviceError(QString::fromLatin1(kBufferError));
        return false;
    }
    stream.rt = std::move(rt);
    activeApi_ = api;
    return true;
}

void AudioEngine::ReleaseStream(Stream& stream)
{
    if (!stream.rt)
        return;
    try {
        // Abort rather than stop: stopping a playback stream waits for the
        // device to drain, which a stalled device never does.
        if (stream.rt->isStreamRunning())
            stream.rt->abortStream();
    } catch (const std::exception&) {
    }
    try {
        if (stream.rt->isStreamOpen())
            stream.rt->closeStream();
    } catch (const std::exception&) {
    }
    stream.rt.reset();
    // Calls the stream posted before it went are now recognisably stale.
    stream.generation.fetch_add(1, std::memory_order_relaxed);
    if (!capture_.rt && !playback_.rt)
        activeApi_ = AudioApi::Automatic;
}

void AudioEngine::CloseCapture()
{
    if (!capture_.rt)
        return;
    ReleaseStream(capture_);
    captureRing_->Reset();
    captureRunning_ = false;
}

void AudioEngine::ClosePlayback()
{
    if (!playback_.rt)
        return;
    ReleaseStream(playback_);
    playbackRing_->Reset();
}

void AudioEngine::StopCapture()
{
    if (!capture_.rt || !captureRunning_)
        return;
    captureRunning_ = false;
    bool stopped = false;
    try {
        capture_.rt->abortStream();
        stopped = !capture_.rt->isStreamRunning();
    } catch (const std::exception&) {
    }
    if (!stopped) {
        // A stream that will not stop cannot be trusted to start again.
        CloseCapture();
        return;
    }
    capture_.generation.fetch_add(1, std::memory_order_relaxed);
    captureRing_->Reset();
}

void AudioEngine::RestartCapture()
{
    if (!capture_.rt || captureRunning_)
        return;
    captureRing_->Reset();
    capture_.generation.fetch_add(1, std::memory_order_relaxed);
    try {
        capture_.rt->startStream();
    } catch (const std::exception&) {
    }
    if (!capture_.rt->isStreamRunning()) {
        CloseCapture();
        emit DeviceError(QString::fromLatin1(kBufferError));
        return;
    }
    captureRunning_ = true;
}

bool AudioEngine::QueueOutputBlock(BlockView block)
{
    if (!playback_.rt)
        return false;
    if (!playbackRing_->Push(block)) {
        ++droppedOutputBlocks_;
        return false;
    }
    return true;
}

int AudioEngine::CaptureIndex() const { return captureRing_->ReadIndex(); }

int AudioEngine::PlaybackIndex() const { return playbackRing_->WriteIndex(); }

int AudioEngine::CaptureBlocksWaiting() const { return captureRing_->Waiting(); }

int AudioEngine::PlaybackBlocksWaiting() const { return playbackRing_->Waiting(); }

// Device thread: copy, count, post. Nothing here locks, allocates memory of
// ours or touches receiver state; the posted call is Qt's queued event.
int AudioEngine::CaptureCallback(void*, void* in, unsigned frames, double, unsigned status,
                                 void* user)
{
    Stream& stream = *static_cast<Stream*>(user);
    AudioEngine* engine = stream.engine;
    stream.lastFrames.store(frames, std::memory_order_relaxed);
    if (status != 0)
        stream.xruns.fetch_add(1, std::memory_order_relaxed);
    if (in == nullptr)
        return 0;
    const auto written = engine->captureRing_->Write(static_cast<const int16_t*>(in), frames);
    if (written.dropped != 0)
        stream.droppedFrames.fetch_add(written.dropped, std::memory_order_relaxed);
    const uint32_t generation = stream.generation.load(std::memory_order_relaxed);
    for (unsigned i = 0; i < written.completed; ++i)
        QMetaObject::invokeMethod(
            engine, [engine, generation] { engine->OnInputReady(generation); },
            Qt::QueuedConnection);
    return 0;
}

int AudioEngine::PlaybackCallback(void* out, void*, unsigned frames, double, unsigned status,
                                  void* user)
{
    Stream& stream = *static_cast<Stream*>(user);
    AudioEngine* engine = stream.engine;
    stream.lastFrames.store(frames, std::memory_order_relaxed);
    if (status != 0)
        stream.xruns.fetch_add(1, std::memory_order_relaxed);
    if (out == nullptr)
        return 0;
    const auto read = engine->playbackRing_->Read(static_cast<int16_t*>(out), frames);
    if (read.silent < frames)
        stream.flowing = true;
    if (read.silent != 0 && stream.flowing) {
        // The queue ran dry while playing: one underrun per gap.
        stream.underruns.fetch_add(1, std::memory_order_relaxed);
        stream.flowing = false;
    }
    const uint32_t generation = stream.generation.load(std::memory_order_relaxed);
    for (unsigned i = 0; i < read.finished; ++i)
        QMetaObject::invokeMethod(
            engine, [engine, generation] { engine->OnOutputDone(generation); },
            Qt::QueuedConnection);
    return 0;
}

void AudioEngine::OnInputReady(uint32_t generation)
{
    if (!capture_.rt || generation != capture_.generation.load(std::memory_order_relaxed) ||
        !captureRing_->HasBlock()) {
        ++staleNotifications_;
        return;
    }
    // The block leaves the ring before the handlers run: the ring slot goes
    // back to the device at once, and a handler that closes or stops the
    // capture device cannot pull the data from under the block processing.
    Block& block = *inBlock_;
    block = captureRing_->Front();
    const BlockView view(block);
    if (rawRecordHook_)
        rawRecordHook_(view);
    captureRing_->Pop();
    ++handledBlocks_;
    if (blockHandler_)
        blockHandler_(view);
}

void AudioEngine::OnOutputDone(uint32_t generation)
{
    if (!playback_.rt || generation != playback_.generation.load(std::memory_order_relaxed)) {
        ++staleNotifications_;
        return;
    }
    ++playedBlocks_;
    if (outputHandler_)
        outputHandler_();
}

void AudioEngine::RestartDevices(int32_t newInput, int32_t newOutput)
{
    restartInput_ = newInput;
    restartOutput_ = newOutput;
    if (restarting_)
        return;
    restarting_ = true;
    emit RestartStarted();
    // Closing waits for the event loop's next turn, so that the notice the
    // window shows on RestartStarted is drawn first.
    QTimer::singleShot(0, this, &AudioEngine::RestartCloseStep);
}

void AudioEngine::RestartCloseStep()
{
    CloseCapture();
    ClosePlayback();
    input_ = restartInput_;
    output_ = restartOutput_;
    restartTimer_.start(kRestartPauseMs);
}

void AudioEngine::RestartOpenStep()
{
    input_ = restartInput_;
    output_ = restartOutput_;
    OpenPlayback(output_);
    OpenCapture(input_);
    restarting_ = false;
    emit RestartFinished();
}

}  // namespace audio
