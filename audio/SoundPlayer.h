#pragma once

// Short notification sounds (the keypad's clicks): a WAV file played once,
// asynchronously, on the sound system's default output, beside the
// receiver's own streams. A missing or unreadable file plays nothing.

#include "audio/AudioApi.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace audio {

class DeviceStream;

// The samples of a 16-bit PCM WAV file, interleaved.
struct WavSound {
    unsigned rate = 0;
    unsigned channels = 0;
    std::vector<int16_t> samples;
};

// Reads a RIFF/WAVE file of 16-bit PCM (mono or stereo, any rate). False for
// anything else, a file cut short or a missing file.
bool ReadWavSound(const std::string& path, WavSound& out);

// One output stream for all sounds, opened once by a worker thread of its
// own (and opened again there after a device change, or when its device
// stopped calling back); the main thread only hands a prepared sound over.
// A sound request therefore never waits on the sound system.
class SoundPlayer {
public:
    explicit SoundPlayer(AudioApi api = AudioApi::Automatic);
    // Closes the stream and ends the worker.
    ~SoundPlayer();
    SoundPlayer(const SoundPlayer&) = delete;
    SoundPlayer& operator=(const SoundPlayer&) = delete;

    // Has the stream opened in the background; returns at once.
    void Open();
    // The devices changed: the stream closes and opens again in the
    // background on the (new) default output; returns at once.
    void Reopen();

    // Starts playing the file and returns at once; a sound still playing is
    // cut off. False when the file is missing or unplayable, or the stream
    // is not open (yet): a sound is never played late.
    bool Play(const std::string& path);
    // Ends the sound playing; the stream stays open.
    void Stop();
    bool Playing() const;
    bool StreamOpen() const { return open_.load(std::memory_order_acquire); }
    // How many times the stream has been opened.
    uint64_t StreamOpens() const { return opens_.load(std::memory_order_acquire); }

    // The sound rate and channels of the stream: sounds are converted to it
    // when they are read.
    static constexpr unsigned kRate = 48000;
    static constexpr unsigned kChannels = 2;
    // How often the worker checks the stream for life and retries an open.
    static constexpr int kRetryMs = 2000;

private:
    struct Sound;

    static int Callback(void* out, void* in, unsigned frames, double time, unsigned status,
                        void* self);
    void Run();
    void OpenStream();
    void CloseStream(bool lost);

    AudioApi api_;

    // Main thread: every sound read so far, by file, kept until the end
    // (the device thread may hold any of them).
    std::vector<std::unique_ptr<Sound>> sounds_;
    std::unique_ptr<Sound> silence_;

    // Handed from the main thread to the device thread.
    std::atomic<const Sound*> pending_{nullptr};
    // Device thread only.
    const Sound* current_ = nullptr;
    size_t position_ = 0;
    // Device thread to everyone.
    std::atomic<bool> playing_{false};
    std::atomic<uint64_t> beats_{0};

    // Worker only.
    std::unique_ptr<DeviceStream> stream_;
    // The sound system a lost stream used: it is waited for, not traded for
    // another one every attempt. Automatic until a stream is lost.
    AudioApi lostApi_ = AudioApi::Automatic;
    AudioApi streamApi_ = AudioApi::Automatic;  // the open stream's
    bool failureTold_ = false;                  // once per spell without a stream
    // Worker to everyone.
    std::atomic<bool> open_{false};
    std::atomic<uint64_t> opens_{0};

    std::mutex mutex_;  // guards the requests below
    std::condition_variable wake_;
    bool started_ = false;
    bool quit_ = false;
    bool reopen_ = false;
    std::thread worker_;
};

}  // namespace audio
