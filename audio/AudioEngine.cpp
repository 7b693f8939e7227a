#include "audio/AudioEngine.h"

#include "audio/DeviceStream.h"
#include "audio/JackClient.h"

#include <QLoggingCategory>

#include <algorithm>

#include <chrono>
#include <string>
#include <vector>

namespace audio {

Q_LOGGING_CATEGORY(lcAudio, "tesmar.audio")

namespace {

QStringList ListNames(AudioApi api, bool input)
{
    QStringList names;
    for (const std::string& name : audio::DeviceNames(ResolveAudioApi(api), input))
        names << QString::fromStdString(name);
    return names;
}

// The playback queue's clock: a steady clock's nanoseconds, never 0.
int64_t Now()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
               .count() |
           1;
}

}  // namespace

AudioEngine::AudioEngine(QObject* parent)
    : QObject(parent)
    , captureRing_(std::make_unique<CaptureRing<kCaptureBlocks>>())
    , playbackRing_(std::make_unique<PlaybackRing<kPlaybackBlocks>>(kPlaybackLagBlocks, 1))
    , inBlock_(std::make_unique<Block>())
{
    capture_.engine = this;
    playback_.engine = this;
    restartTimer_.setSingleShot(true);
    // A coarse timer may fire early; the notice must stay up the full pause.
    restartTimer_.setTimerType(Qt::PreciseTimer);
    connect(&restartTimer_, &QTimer::timeout, this, &AudioEngine::RestartOpenStep);
    connect(&watchTimer_, &QTimer::timeout, this, &AudioEngine::Watch);
    watchTimer_.start(kRecoveryIntervalMs);
}

AudioEngine::~AudioEngine()
{
    restartTimer_.stop();
    watchTimer_.stop();
    if (probe_.joinable())
        probe_.join();
    CloseCapture();
    ClosePlayback();
}

QStringList AudioEngine::InputDeviceNames() const { return ListNames(api_, true); }

QStringList AudioEngine::OutputDeviceNames() const { return ListNames(api_, false); }

bool AudioEngine::OpenCapture(int32_t Input)
{
    CloseCapture();
    lostCapture_ = false;
    input_ = Input;
    return OpenStream(capture_, true, Input);
}

bool AudioEngine::OpenPlayback(int32_t Output)
{
    ClosePlayback();
    lostPlayback_ = false;
    output_ = Output;
    return OpenStream(playback_, false, Output);
}

bool AudioEngine::OpenStream(Stream& stream, bool input, int32_t number)
{
    if (const char* error = TryOpen(stream, input, number, ResolveAudioApi(api_))) {
        emit DeviceError(QString::fromLatin1(error));
        return false;
    }
    return true;
}

const char* AudioEngine::TryOpen(Stream& stream, bool input, int32_t number, AudioApi api)
{
    Prepared prepared = PrepareStream(stream, api, input, number);
    if (!prepared.device)
        return input ? kCaptureOpenError : kPlaybackOpenError;
    return StartPrepared(stream, input, std::move(prepared)) ? nullptr : kBufferError;
}

void AudioEngine::OpenOrAwait(int32_t input, int32_t output)
{
    CloseCapture();
    ClosePlayback();
    input_ = input;
    output_ = output;
    const AudioApi api = ResolveAudioApi(api_);
    const char* captureError = TryOpen(capture_, true, input, api);
    const char* playbackError = TryOpen(playback_, false, output, api);
    lostCapture_ = captureError != nullptr;
    lostPlayback_ = playbackError != nullptr;
    if (!DeviceLostNow())
        return;
    // A JACK server seen at the start is waited for (it went on its way);
    // otherwise each attempt takes whichever sound system then runs.
    lostApi_ = activeApi_ != AudioApi::Automatic ? activeApi_
               : api == AudioApi::Jack           ? api
                                                 : AudioApi::Automatic;
    QString message;
    for (const char* error : {captureError, playbackError})
        if (error)
            message += QString::fromLatin1(error) + QStringLiteral(". ");
    emit DeviceLost(message + QString::fromLatin1(kDeviceAwaitedMessage));
}

// Touches nothing of the engine but the stream's address (the callbacks'
// argument): it also runs on the recovery worker while the main thread goes on.
AudioEngine::Prepared AudioEngine::PrepareStream(Stream& stream, AudioApi api, bool input,
                                                 int32_t number)
{
    StreamRequest request;
    request.api = api;
    request.input = input;
    request.number = number;
    request.channels = kChannels;
    request.rate = kSampleRate;
    // A request only: JACK, for one, imposes its own period, and the
    // callbacks take whatever count arrives.
    request.frames = kBlockFrames;
    request.name = input ? kCaptureStreamName : kPlaybackStreamName;
    request.callback = input ? &CaptureCallback : &PlaybackCallback;
    request.user = &stream;
    Prepared prepared;
    prepared.device = OpenDeviceStream(request);
    prepared.api = api;
    return prepared;
}

bool AudioEngine::StartPrepared(Stream& stream, bool input, Prepared prepared)
{
    // The device thread starts with empty rings and a generation of its own.
    if (input) {
        captureRing_->Reset();
        capturePaused_.store(false, std::memory_order_release);
        droppedFramesSeen_ = stream.droppedFrames.load(std::memory_order_relaxed);
    } else {
        playbackRing_->Reset();
    }
    stream.generation.fetch_add(1, std::memory_order_relaxed);
    stream.flowing = false;
    stream.lastFrames.store(0, std::memory_order_relaxed);
    stream.watched = false;

    stream.device = std::move(prepared.device);
    if (!stream.device->Start()) {
        // Half open: give back what was acquired, so that the engine is
        // simply closed and a later close or restart finds nothing held.
        ReleaseStream(stream);
        return false;
    }
    activeApi_ = prepared.api;
    if (input)
        captureRunning_ = true;
    return true;
}

void AudioEngine::ReleaseStream(Stream& stream)
{
    if (!stream.device)
        return;
    stream.device->Close();
    stream.device.reset();
    // Calls the stream posted before it went are now recognisably stale.
    stream.generation.fetch_add(1, std::memory_order_relaxed);
    if (!capture_.device && !playback_.device)
        activeApi_ = AudioApi::Automatic;
}

// The device may belong to a server that no longer answers, whose close
// would wait as long as it stays stopped: the stream is cut off from the
// engine at once and handed to the recovery worker to close.
void AudioEngine::Abandon(Stream& stream)
{
    if (!stream.device)
        return;
    stream.device->Detach();
    abandoned_.push_back(std::move(stream.device));
    stream.generation.fetch_add(1, std::memory_order_relaxed);
    if (!capture_.device && !playback_.device)
        activeApi_ = AudioApi::Automatic;
}

void AudioEngine::CloseCapture()
{
    if (!capture_.device)
        return;
    ReleaseStream(capture_);
    captureRing_->Reset();
    captureRunning_ = false;
}

void AudioEngine::ClosePlayback()
{
    if (!playback_.device)
        return;
    ReleaseStream(playback_);
    playbackRing_->Reset();
}

void AudioEngine::StopCapture()
{
    if (!capture_.device || !captureRunning_)
        return;
    // Stopping the stream would take its ports off the JACK graph and lose
    // the connections the operator made to them; it only discards instead.
    captureRunning_ = false;
    capturePaused_.store(true, std::memory_order_release);
    capture_.generation.fetch_add(1, std::memory_order_relaxed);
    captureRing_->Drain();
}

void AudioEngine::RestartCapture()
{
    if (!capture_.device || captureRunning_)
        return;
    // Whatever the device published before it saw the pause goes unread.
    captureRing_->Drain();
    capture_.generation.fetch_add(1, std::memory_order_relaxed);
    droppedFramesSeen_ = capture_.droppedFrames.load(std::memory_order_relaxed);
    capturePaused_.store(false, std::memory_order_release);
    captureRunning_ = true;
}

bool AudioEngine::QueueOutputBlock(BlockView block)
{
    if (!playback_.device)
        return false;
    if (!playbackRing_->Push(block, Now(), keepQueued_)) {
        ++droppedOutputBlocks_;
        return false;
    }
    return true;
}

int AudioEngine::CaptureIndex() const { return captureRing_->ReadIndex(); }

int AudioEngine::PlaybackIndex() const { return playbackRing_->WriteIndex(); }

int AudioEngine::CaptureBlocksWaiting() const { return captureRing_->Waiting(); }

int AudioEngine::PlaybackBlocksWaiting() const { return playbackRing_->Waiting(); }

int AudioEngine::PlaybackLagBlocks() const { return playbackRing_->Lag(); }

int AudioEngine::PlaybackBlocksWanted() const
{
    if (!playback_.device)
        return 1;
    return std::max(0, PlaybackLagBlocks() + 1 - PlaybackBlocksWaiting());
}

// Device thread: copy, count, post. Nothing here locks, allocates memory of
// ours or touches receiver state; the posted call is Qt's queued event.
int AudioEngine::CaptureCallback(void*, void* in, unsigned frames, double, unsigned status,
                                 void* user)
{
    Stream& stream = *static_cast<Stream*>(user);
    AudioEngine* engine = stream.engine;
    const Heartbeat beat(stream.periods);
    stream.lastFrames.store(frames, std::memory_order_relaxed);
    if (status != 0)
        stream.xruns.fetch_add(1, std::memory_order_relaxed);
    if (in == nullptr)
        return 0;
    if (engine->capturePaused_.load(std::memory_order_acquire)) {
        engine->captureRing_->DropPartial();
        return 0;
    }
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
    const Heartbeat beat(stream.periods);
    stream.lastFrames.store(frames, std::memory_order_relaxed);
    if (status != 0)
        stream.xruns.fetch_add(1, std::memory_order_relaxed);
    if (out == nullptr)
        return 0;
    const auto read = engine->playbackRing_->Read(static_cast<int16_t*>(out), frames, Now());
    if (read.skipped != 0)
        stream.skipped.fetch_add(read.skipped, std::memory_order_relaxed);
    if (read.silent < frames)
        stream.flowing = true;
    if (read.silent != 0 && stream.flowing) {
        // The queue ran dry while playing: one underrun per gap.
        stream.underruns.fetch_add(1, std::memory_order_relaxed);
        stream.flowing = false;
    }
    // A skipped block counts as done too: a paced source learns from these
    // calls that the queue has room.
    const uint32_t generation = stream.generation.load(std::memory_order_relaxed);
    for (unsigned i = 0; i < read.finished + read.skipped; ++i)
        QMetaObject::invokeMethod(
            engine, [engine, generation] { engine->OnOutputDone(generation); },
            Qt::QueuedConnection);
    return 0;
}

void AudioEngine::OnInputReady(uint32_t generation)
{
    // A block the device published just as the capture paused carries the
    // new generation but belongs to no one: captureRunning_ turns it away.
    if (!capture_.device || !captureRunning_ ||
        generation != capture_.generation.load(std::memory_order_relaxed) ||
        !captureRing_->HasBlock()) {
        ++staleNotifications_;
        return;
    }
    const uint64_t dropped = capture_.droppedFrames.load(std::memory_order_relaxed);
    if (dropped != droppedFramesSeen_) {
        const uint64_t frames = dropped - droppedFramesSeen_;
        droppedFramesSeen_ = dropped;
        const auto blocks = unsigned((frames + kBlockFrames - 1) / kBlockFrames);
        lostInputBlocks_ += blocks;
        emit InputLost(blocks);
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
    if (!playback_.device || generation != playback_.generation.load(std::memory_order_relaxed)) {
        ++staleNotifications_;
        return;
    }
    ++playedBlocks_;
    const int lag = PlaybackLagMs();
    if (lag != loggedLagMs_) {
        loggedLagMs_ = lag;
        qCInfo(lcAudio) << "capture-to-playback lag" << lag << "ms";
    }
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
    if (activeApi_ == AudioApi::Jack) {
        captureWiring_ = capture_.device ? jack::SaveWiring(kCaptureStreamName) : Wiring{};
        playbackWiring_ = playback_.device ? jack::SaveWiring(kPlaybackStreamName) : Wiring{};
    } else {
        captureWiring_.clear();
        playbackWiring_.clear();
    }
    wiredInput_ = input_;
    wiredOutput_ = output_;
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
    // The same device again gets the connections its stream had: the
    // operator may have wired it by hand to ports other than the device's.
    if (OpenPlayback(output_) && output_ == wiredOutput_ && activeApi_ == AudioApi::Jack)
        jack::RestoreWiring(playbackWiring_);
    if (OpenCapture(input_) && input_ == wiredInput_ && activeApi_ == AudioApi::Jack)
        jack::RestoreWiring(captureWiring_);
    captureWiring_.clear();
    playbackWiring_.clear();
    restarting_ = false;
    emit RestartFinished();
}

// ------------------------------------------------------------ loss, recovery

void AudioEngine::Watch()
{
    if (restarting_)
        return;
    // A stream is alive while its device calls back; one that has stayed
    // silent a whole interval has lost its device or its server.
    auto lost = [](Stream& stream) {
        if (!stream.device)
            return false;
        const uint64_t periods = stream.periods.load(std::memory_order_acquire);
        const bool silent = stream.watched && periods == stream.periodsSeen;
        stream.periodsSeen = periods;
        stream.watched = true;
        return silent || stream.device->ServerGone();
    };
    const bool captureGone = lost(capture_);
    const bool playbackGone = lost(playback_);
    if (captureGone || playbackGone) {
        const bool first = !DeviceLostNow();
        if (first)
            lostApi_ = activeApi_;
        if (captureGone) {
            Abandon(capture_);
            captureRing_->Reset();
            captureRunning_ = false;
            lostCapture_ = true;
        }
        if (playbackGone) {
            Abandon(playback_);
            playbackRing_->Reset();
            lostPlayback_ = true;
        }
        if (first)
            emit DeviceLost(QString::fromLatin1(kDeviceLostMessage));
    }
    if (DeviceLostNow() && !probing_)
        StartProbe();
}

void AudioEngine::StartProbe()
{
    if (probe_.joinable())
        probe_.join();
    probing_ = true;
    const bool capture = lostCapture_;
    const bool playback = lostPlayback_;
    const int32_t input = input_;
    const int32_t output = output_;
    const AudioApi api = lostApi_ == AudioApi::Automatic ? api_ : lostApi_;
    // Closing the lost streams and finding and opening a device ask the sound
    // system (with JACK, a client per device probed): seconds on a busy or
    // absent server, as long as it likes on a stopped one, so none of it
    // runs on the main thread. The closes come first: jack2 purges every
    // client of a dead server at the next open.
    probe_ = std::thread([this, capture, playback, input, output, api,
                          lost = std::move(abandoned_)]() mutable {
        for (auto& stream : lost)
            stream->Close();
        lost.clear();
        const AudioApi resolved = ResolveAudioApi(api);
        Prepared out = playback ? PrepareStream(playback_, resolved, false, output) : Prepared{};
        Prepared in = capture ? PrepareStream(capture_, resolved, true, input) : Prepared{};
        // The settings dialog's lists, made while the server was away, are
        // stale; with a stream open, JACK lists through its client.
        if ((out.device || !playback) && (in.device || !capture)) {
            out.names = ListNames(resolved, false);
            in.names = ListNames(resolved, true);
        }
        {
            std::lock_guard<std::mutex> lock(probeMutex_);
            probedPlayback_ = std::move(out);
            probedCapture_ = std::move(in);
        }
        QMetaObject::invokeMethod(
            this, [this] { OnProbeDone(); }, Qt::QueuedConnection);
    });
    abandoned_.clear();
}

void AudioEngine::OnProbeDone()
{
    if (probe_.joinable())
        probe_.join();
    probing_ = false;
    Prepared in, out;
    {
        std::lock_guard<std::mutex> lock(probeMutex_);
        in = std::move(probedCapture_);
        out = std::move(probedPlayback_);
    }
    QStringList inNames = std::move(in.names), outNames = std::move(out.names);
    // A device opened or closed by hand meanwhile is no longer lost; what
    // the worker prepared for it is dropped.
    bool reopened = false;
    if (lostPlayback_ && out.device && !playback_.device &&
        StartPrepared(playback_, false, std::move(out))) {
        lostPlayback_ = false;
        reopened = true;
    }
    if (lostCapture_ && in.device && !capture_.device &&
        StartPrepared(capture_, true, std::move(in))) {
        lostCapture_ = false;
        reopened = true;
    }
    if (reopened && !DeviceLostNow()) {
        recoveredInputNames_ = std::move(inNames);
        recoveredOutputNames_ = std::move(outNames);
        ++recoveries_;
        emit DevicesRecovered();
    }
}

}  // namespace audio
