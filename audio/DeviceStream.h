#pragma once

#include "audio/AudioApi.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace audio {

// The device calls this for every period with interleaved 16-bit frames: out
// to fill for playback, in to read for capture (the other is null). status is
// non-zero after an over- or underrun. The return value is ignored.
using StreamCallback = int (*)(void* out, void* in, unsigned frames, double time, unsigned status,
                               void* user);

// Every call of ours into the sound systems (RtAudio and libjack: device
// lists, opens, starts, closes, the JACK wiring) holds this lock, whichever
// thread makes it. Only the libraries' own device threads run beside it, and
// they run nothing but our callbacks, which take no lock and only copy, count
// and raise flags. Nothing the libraries start outlives a Close, so no thread
// of theirs can race our calls or hold up the process at exit.
std::unique_lock<std::recursive_mutex> LockSoundSystem();

// Stands between a device thread and the callback of a stream's owner, so
// that the owner can let a stream go without waiting on its sound system.
class CallbackGate {
public:
    CallbackGate(StreamCallback callback, void* user, unsigned channels)
        : callback_(callback)
        , user_(user)
        , channels_(channels)
    {}
    // The device thread calls this in place of the owner's callback.
    static int Call(void* out, void* in, unsigned frames, double time, unsigned status, void* self);
    // From now on the owner's callback is not called (playback gets
    // silence); a call under way has returned when this does. Waits for
    // nothing but that call, which only copies.
    void Shut();

private:
    const StreamCallback callback_;
    void* const user_;
    const unsigned channels_;
    std::atomic<bool> open_{true};
    std::atomic<bool> inside_{false};
};

// One open stream of one direction.
class DeviceStream {
public:
    virtual ~DeviceStream() = default;
    // The stream's callback no longer reaches its owner, at once and without
    // the sound system: the owner may reuse what the callback wrote to while
    // the stream, whose server may not answer, is closed elsewhere.
    void Detach()
    {
        if (gate_)
            gate_->Shut();
    }
    void SetGate(std::unique_ptr<CallbackGate> gate) { gate_ = std::move(gate); }
    // Starts the callbacks (with JACK: activates and connects to the device's
    // ports). False when the device refuses.
    virtual bool Start() = 0;
    // Stops the callbacks and releases the device; once it returns the
    // callback has returned for good. Closing twice does nothing.
    virtual void Close() = 0;
    // The sound server has told the stream that it went away (JACK). A lost
    // device of the other systems only shows by its silence.
    virtual bool ServerGone() const { return false; }

private:
    // Outlives the device's callbacks: Close has ended them before the
    // stream is destroyed.
    std::unique_ptr<CallbackGate> gate_;
};

struct StreamRequest {
    AudioApi api = AudioApi::Alsa;  // resolved: never Automatic
    bool input = false;
    // 0 is the system's default device, n >= 1 the n-th of DeviceNames().
    int32_t number = 0;
    unsigned channels = 2;
    unsigned rate = 48000;
    unsigned frames = 0;  // a request only: JACK imposes its own period
    const char* name = "";
    StreamCallback callback = nullptr;
    void* user = nullptr;
};

// Opens (does not start) the stream; null when the device is not there, has
// too few channels or will not take the format. A busy JACK server may turn
// a client away now and then: a device that really cannot open fails every
// attempt, and quickly.
std::unique_ptr<DeviceStream> OpenDeviceStream(const StreamRequest& request);

// The devices of one direction in the sound system's order, without this
// program's own streams: the settings dialog's lists, and what the numbers
// of OpenDeviceStream count in.
std::vector<std::string> DeviceNames(AudioApi api, bool input);

}  // namespace audio
