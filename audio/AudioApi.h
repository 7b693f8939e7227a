#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace audio {

// Which sound system the engine talks to. Automatic picks JACK when a JACK
// server runs, else PulseAudio when a sound server answers, else ALSA.
enum class AudioApi { Automatic, Jack, Pulse, Alsa };

// A JACK server accepts clients (the one JACK_DEFAULT_SERVER names, if set).
// Never starts a server.
bool JackServerRunning();
// A PulseAudio-compatible server (PulseAudio itself or PipeWire's) is
// reachable: PULSE_SERVER names one, or the per-user socket accepts.
bool SoundServerRunning();
// Resolves Automatic by probing; any other value is returned unchanged.
AudioApi ResolveAudioApi(AudioApi api);
std::string AudioApiName(AudioApi api);

// The names our own streams take in the sound system. JACK shows every stream
// as a client and every client with ports is a device: ours are kept out of
// the device lists, or opening one would renumber the devices after it.
inline constexpr const char* kCaptureStreamName = "tesmar-capture";
inline constexpr const char* kPlaybackStreamName = "tesmar-playback";
inline constexpr const char* kSoundsStreamName = "tesmar-sounds";  // the keypad's sounds

// A device of that name is one of our own streams.
bool IsOwnStream(const std::string& deviceName);

// Counts a device callback as it returns: a stream whose count stays still
// has lost its device. The release hands everything the callback touched to
// the thread that reads the count with acquire.
class Heartbeat {
public:
    explicit Heartbeat(std::atomic<uint64_t>& count)
        : count_(count)
    {}
    ~Heartbeat() { count_.fetch_add(1, std::memory_order_release); }
    Heartbeat(const Heartbeat&) = delete;
    Heartbeat& operator=(const Heartbeat&) = delete;

private:
    std::atomic<uint64_t>& count_;
};

}  // namespace audio
