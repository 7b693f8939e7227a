#pragma once

#include "audio/AudioApi.h"
#include "audio/BlockRing.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace audio {

class DeviceStream;

// The messages an open failure reports; the window shows them with a beep.
inline constexpr const char* kCaptureOpenError = "Can not open the recoding device";
inline constexpr const char* kBufferError = "Can not get the buffer";
inline constexpr const char* kPlaybackOpenError = "Can not open the play device";
// Told once when a running device or the sound server goes away.
inline constexpr const char* kDeviceLostMessage =
    "The sound device has gone away. The receiver goes on and reconnects by itself when the "
    "device or the sound server returns.";
// Follows the open's own message when a device cannot open at start-up.
inline constexpr const char* kDeviceAwaitedMessage =
    "The receiver goes on and connects by itself when the device or the sound server is there.";

// The sound card: one capture stream and one playback stream of 48000 Hz,
// stereo, 16-bit frames, moved in 2400-frame blocks through a capture ring of
// 32 blocks and a playback ring of 16.
//
// Lives on the main thread. The device threads only copy frames into or out of
// the rings and post a queued call; everything else (the block handlers, the
// ring indexes the owner sees, opening and closing) runs on the main thread.
// Each posted call carries the generation of the stream that posted it, and a
// stream gets a new generation whenever it is closed or stopped, so a call
// that arrives after its stream went away is ignored instead of being taken
// for a block of the next stream.
//
// Device numbers follow the settings: 0 is the sound system's default device,
// n >= 1 the n-th entry of InputDeviceNames() or OutputDeviceNames().
//
// A stream whose device stops calling back (the device unplugged, the sound
// server gone or stopped) or whose JACK server says it is going is detached
// here and reported once (DeviceLost); a worker thread closes it (a server
// that does not answer holds the close, never the main thread) and then
// tries every kRecoveryIntervalMs to open it again. The main thread only
// starts what the worker has opened.
class AudioEngine : public QObject {
    Q_OBJECT

public:
    using BlockHandler = std::function<void(BlockView)>;
    using OutputHandler = std::function<void()>;

    // The notice during a device restart stays up at least this long.
    static constexpr int kRestartPauseMs = 500;
    // How often the streams are checked for life, and a lost one retried.
    static constexpr int kRecoveryIntervalMs = 2000;

    explicit AudioEngine(QObject* parent = nullptr);
    // Closes the capture device, then the playback device.
    ~AudioEngine() override;

    // Automatic by default. Takes effect at the next open or device list.
    void SetApi(AudioApi api) { api_ = api; }
    AudioApi Api() const { return api_; }
    // The sound system the open streams use (Automatic while none is open).
    AudioApi ActiveApi() const { return activeApi_; }

    // The entries of the settings dialog's lists, without the default device
    // (number 0) and without this program's own streams.
    QStringList InputDeviceNames() const;
    QStringList OutputDeviceNames() const;
    // The lists as the recovery worker found them when it last brought every
    // lost stream back (empty before): the main thread asks no sound system
    // for them.
    const QStringList& RecoveredInputNames() const { return recoveredInputNames_; }
    const QStringList& RecoveredOutputNames() const { return recoveredOutputNames_; }

    // Both report their failures through DeviceError and return false,
    // holding nothing. Opening an open device reopens it.
    bool OpenCapture(int32_t Input);
    bool OpenPlayback(int32_t Output);
    // The start: opens capture, then playback, but a device that cannot open
    // is taken for one lost (the sound server may have gone a moment before
    // or be on its way): told once through DeviceLost, with the open's own
    // message, and opened by the recovery worker once it can be.
    void OpenOrAwait(int32_t input, int32_t output);
    // Do nothing when the device is not open.
    void CloseCapture();
    void ClosePlayback();
    bool CaptureOpen() const { return capture_.device != nullptr; }
    bool PlaybackOpen() const { return playback_.device != nullptr; }
    // The device numbers of the last open (or of the restart under way).
    int32_t Input() const { return input_; }
    int32_t Output() const { return output_; }

    // Raw playback pauses live input. Blocks captured but not yet handled
    // are dropped with the stop, so that only the file feeds the chain. The
    // stream itself keeps running (it only discards what it captures), so
    // the connections the operator made to it in the sound system stay.
    void StopCapture();
    // Resumes after StopCapture.
    void RestartCapture();
    bool CaptureRunning() const { return captureRunning_; }

    // The block path, main thread: for each captured block the raw-recording
    // hook, then the block handler (the owner processes the block and calls
    // QueueOutputBlock); for each played block the output handler.
    void SetRawRecordHook(BlockHandler hook) { rawRecordHook_ = std::move(hook); }
    void SetBlockHandler(BlockHandler handler) { blockHandler_ = std::move(handler); }
    void SetOutputHandler(OutputHandler handler) { outputHandler_ = std::move(handler); }

    // Queues one block of output. When all 16 blocks are still waiting to be
    // played the new block is dropped and counted (DroppedOutputBlocks): the
    // main thread never waits on the device, and a block is never overwritten
    // before it has been played. False when dropped or no device is open.
    // The device plays at most PlaybackLagBlocks() queued blocks: it drops
    // the oldest beyond them unplayed (SkippedOutputBlocks), so that a
    // backlog never becomes a lasting delay. That allowance is one block
    // while the main thread keeps up; it grows when a block comes close to
    // late or late, up to kPlaybackLagBlocks, and comes down again by one
    // after kQuietBlocks blocks without either (see PlaybackRing).
    bool QueueOutputBlock(BlockView block);
    // While on, the blocks queued are never dropped to catch up: a source
    // the device paces (a file played) queues only PlaybackBlocksWanted()
    // blocks at each output call, and every one of them must be heard.
    void KeepQueuedBlocks(bool on) { keepQueued_ = on; }
    // What a paced source queues now: the allowance and the block playing,
    // less what is queued (one when no playback device is open to pace it).
    int PlaybackBlocksWanted() const;

    // Closes both devices and reopens them with the new numbers, playback
    // first, after a pause of kRestartPauseMs. A device reopened under the
    // same number gets back the JACK connections its stream had.
    // Asynchronous: RestartStarted comes at once (show the notice), the
    // devices close once pending events have been handled, and
    // RestartFinished comes after the reopening. A call during a restart
    // only changes the numbers the restart will open.
    void RestartDevices(int32_t newInput, int32_t newOutput);
    bool Restarting() const { return restarting_; }

    // The capture block expected next (0..31) and the playback block to be
    // filled next (0..15).
    int CaptureIndex() const;
    int PlaybackIndex() const;
    // Blocks captured and not yet handled; output blocks not yet played.
    int CaptureBlocksWaiting() const;
    int PlaybackBlocksWaiting() const;
    // The queued blocks the playback device allows now (1..kPlaybackLagBlocks),
    // and the lag from capture to playback that makes: one block being
    // captured and the queue being played. Logged (tesmar.audio) at the
    // first block played and whenever it changes.
    int PlaybackLagBlocks() const;
    int PlaybackLagMs() const
    {
        return (PlaybackLagBlocks() + 1) * kBlockFrames * 1000 / kSampleRate;
    }
    // The frame count the devices asked for in their last period.
    unsigned CaptureDeviceFrames() const
    {
        return capture_.lastFrames.load(std::memory_order_relaxed);
    }
    unsigned PlaybackDeviceFrames() const
    {
        return playback_.lastFrames.load(std::memory_order_relaxed);
    }

    uint32_t CaptureGeneration() const
    {
        return capture_.generation.load(std::memory_order_relaxed);
    }
    uint32_t PlaybackGeneration() const
    {
        return playback_.generation.load(std::memory_order_relaxed);
    }

    // Counters since construction.
    uint64_t HandledBlocks() const { return handledBlocks_; }
    uint64_t PlayedBlocks() const { return playedBlocks_; }
    uint64_t DroppedOutputBlocks() const { return droppedOutputBlocks_; }
    // Queued output blocks dropped unplayed to catch up with a backlog.
    uint64_t SkippedOutputBlocks() const
    {
        return playback_.skipped.load(std::memory_order_relaxed);
    }
    // Blocks of input lost because the capture ring was full (each loss
    // rounded up to whole blocks), as counted by the main thread.
    uint64_t LostInputBlocks() const { return lostInputBlocks_; }
    // A stream was lost and has not come back yet.
    bool DeviceLostNow() const { return lostCapture_ || lostPlayback_; }
    // Streams reopened after a loss.
    uint64_t Recoveries() const { return recoveries_; }
    uint64_t StaleNotifications() const { return staleNotifications_; }
    // Device periods that found no block ready after playback had begun.
    uint64_t Underruns() const { return playback_.underruns.load(std::memory_order_relaxed); }
    // Input frames lost because the main thread left all 32 blocks unhandled.
    uint64_t DroppedInputFrames() const
    {
        return capture_.droppedFrames.load(std::memory_order_relaxed);
    }
    // Periods the sound system itself flagged as over- or underrun.
    uint64_t DeviceXruns() const
    {
        return capture_.xruns.load(std::memory_order_relaxed) +
               playback_.xruns.load(std::memory_order_relaxed);
    }

signals:
    // An open failed; message is one of the three texts above.
    void DeviceError(const QString& message);
    void RestartStarted();
    void RestartFinished();
    // Input was lost: the main thread left every capture block unhandled
    // for a while. Comes before the first block after the gap is handled.
    void InputLost(unsigned blocks);
    // A running stream's device went away (once per loss, kDeviceLostMessage),
    // or one could not open at the start (OpenOrAwait).
    void DeviceLost(const QString& message);
    // Every lost stream runs again.
    void DevicesRecovered();

private:
    struct Stream {
        std::unique_ptr<DeviceStream> device;
        std::atomic<uint32_t> generation{0};
        std::atomic<unsigned> lastFrames{0};
        std::atomic<uint64_t> xruns{0};
        std::atomic<uint64_t> underruns{0};
        std::atomic<uint64_t> droppedFrames{0};
        std::atomic<uint64_t> skipped{0};
        std::atomic<uint64_t> periods{0};  // callbacks: the device's heartbeat
        bool flowing = false;              // device thread only: a block has been played
        AudioEngine* engine = nullptr;
        // Main thread: the heartbeat at the last check, and whether the
        // stream has lived through a whole check interval yet.
        uint64_t periodsSeen = 0;
        bool watched = false;
    };

    // A stream opened (not started) away from the main thread.
    struct Prepared {
        std::unique_ptr<DeviceStream> device;
        AudioApi api = AudioApi::Automatic;
        QStringList names;  // the direction's devices, listed once it opened
    };
    // The JACK connections of one of our streams' ports, by port name.
    using Wiring = std::vector<std::pair<std::string, std::vector<std::string>>>;

    static int CaptureCallback(void* out, void* in, unsigned frames, double time, unsigned status,
                               void* user);
    static int PlaybackCallback(void* out, void* in, unsigned frames, double time, unsigned status,
                                void* user);

    bool OpenStream(Stream& stream, bool input, int32_t number);
    // Null when the stream runs, else the failure's message.
    const char* TryOpen(Stream& stream, bool input, int32_t number, AudioApi api);
    static Prepared PrepareStream(Stream& stream, AudioApi api, bool input, int32_t number);
    bool StartPrepared(Stream& stream, bool input, Prepared prepared);
    void ReleaseStream(Stream& stream);
    void Abandon(Stream& stream);
    void Watch();
    void StartProbe();
    void OnProbeDone();
    void OnInputReady(uint32_t generation);
    void OnOutputDone(uint32_t generation);
    void RestartCloseStep();
    void RestartOpenStep();

    AudioApi api_ = AudioApi::Automatic;
    AudioApi activeApi_ = AudioApi::Automatic;
    int32_t input_ = 0;
    int32_t output_ = 0;

    Stream capture_;
    Stream playback_;
    std::unique_ptr<CaptureRing<kCaptureBlocks>> captureRing_;
    std::unique_ptr<PlaybackRing<kPlaybackBlocks>> playbackRing_;
    std::unique_ptr<Block> inBlock_;  // the block being handled, off the ring
    bool keepQueued_ = false;
    bool captureRunning_ = false;
    // The capture stream discards what it captures (raw playback).
    std::atomic<bool> capturePaused_{false};
    uint64_t droppedFramesSeen_ = 0;
    uint64_t lostInputBlocks_ = 0;

    BlockHandler rawRecordHook_;
    BlockHandler blockHandler_;
    OutputHandler outputHandler_;

    bool restarting_ = false;
    int32_t restartInput_ = 0;
    int32_t restartOutput_ = 0;
    QTimer restartTimer_;
    Wiring captureWiring_;
    Wiring playbackWiring_;
    int32_t wiredInput_ = -1;
    int32_t wiredOutput_ = -1;

    // Loss and recovery.
    QTimer watchTimer_;
    bool lostCapture_ = false;
    bool lostPlayback_ = false;
    AudioApi lostApi_ = AudioApi::Automatic;
    uint64_t recoveries_ = 0;
    QStringList recoveredInputNames_;
    QStringList recoveredOutputNames_;
    std::thread probe_;
    bool probing_ = false;
    std::mutex probeMutex_;  // guards the two below between worker and main
    Prepared probedCapture_;
    Prepared probedPlayback_;
    // Lost streams, detached, for the worker to close.
    std::vector<std::unique_ptr<DeviceStream>> abandoned_;

    uint64_t handledBlocks_ = 0;
    uint64_t playedBlocks_ = 0;
    uint64_t droppedOutputBlocks_ = 0;
    uint64_t staleNotifications_ = 0;
    int loggedLagMs_ = 0;
};

}  // namespace audio
