#pragma once

// Short notification sounds (the keypad's clicks): a WAV file played once,
// asynchronously, on the sound system's default output, beside the
// receiver's own streams. A missing or unreadable file plays nothing.

#include "audio/AudioApi.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class RtAudio;

namespace audio {

// The samples of a 16-bit PCM WAV file, interleaved.
struct WavSound {
    unsigned rate = 0;
    unsigned channels = 0;
    std::vector<int16_t> samples;
};

// Reads a RIFF/WAVE file of 16-bit PCM (mono or stereo, any rate). False for
// anything else, a file cut short or a missing file.
bool ReadWavSound(const std::string& path, WavSound& out);

class SoundPlayer {
public:
    explicit SoundPlayer(AudioApi api = AudioApi::Automatic);
    ~SoundPlayer();
    SoundPlayer(const SoundPlayer&) = delete;
    SoundPlayer& operator=(const SoundPlayer&) = delete;

    // Starts playing the file and returns at once; a sound still playing is
    // cut off. False when the file is missing or unplayable, or no output
    // device opens.
    bool Play(const std::string& path);
    // Ends any sound and releases the device.
    void Stop();
    bool Playing() const;

private:
    static int Callback(void* out, void* in, unsigned frames, double time, unsigned status,
                        void* self);

    AudioApi api_;
    std::unique_ptr<RtAudio> rt_;
    WavSound sound_;
    std::atomic<size_t> position_{0};
};

}  // namespace audio
