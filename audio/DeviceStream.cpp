#include "audio/DeviceStream.h"

#include "audio/JackClient.h"

#include <RtAudio.h>
#include <alsa/asoundlib.h>

#include <cstring>
#include <optional>
#include <thread>

namespace audio {

std::unique_lock<std::recursive_mutex> LockSoundSystem()
{
    static std::recursive_mutex mutex;
    return std::unique_lock<std::recursive_mutex>(mutex);
}

// The owner's callback runs only between the two stores of inside_, and only
// while open_ holds; Shut clears open_ and then waits for inside_ to fall.
// Both sides use sequentially consistent order, so either the call sees the
// gate shut or Shut sees the call inside.
int CallbackGate::Call(void* out, void* in, unsigned frames, double time, unsigned status,
                       void* self)
{
    auto& gate = *static_cast<CallbackGate*>(self);
    gate.inside_.store(true);
    int result = 0;
    if (gate.open_.load())
        result = gate.callback_(out, in, frames, time, status, gate.user_);
    else if (out)
        std::memset(out, 0, std::size_t(frames) * gate.channels_ * sizeof(int16_t));
    gate.inside_.store(false);
    return result;
}

void CallbackGate::Shut()
{
    open_.store(false);
    while (inside_.load())
        std::this_thread::yield();
}

namespace {

constexpr int kAttempts = 3;

void DropAlsaMessage(const char*, int, const char*, int, const char*, ...) {}

// PulseAudio and ALSA go through RtAudio; JACK never does (JackClient.h says
// why), so the api is always named here and never left to RtAudio's choice,
// which would take JACK first.
RtAudio::Api ToRtApi(AudioApi api)
{
    // ALSA's library writes each failed lookup to standard error, several
    // lines an attempt, and with no card or server an attempt fails every
    // few seconds for as long as the program runs; the failure itself is
    // told by the program, once.
    snd_lib_error_set_handler(&DropAlsaMessage);
    return api == AudioApi::Pulse ? RtAudio::LINUX_PULSE : RtAudio::LINUX_ALSA;
}

struct DeviceEntry {
    unsigned id;
    std::string name;
};

std::vector<DeviceEntry> ListDevices(RtAudio& rt, bool input)
{
    std::vector<DeviceEntry> list;
    const unsigned count = rt.getDeviceCount();
    for (unsigned id = 0; id < count; ++id) {
        RtAudio::DeviceInfo info{};
        try {
            info = rt.getDeviceInfo(id);
        } catch (const std::exception&) {
            continue;
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

class RtStream final : public DeviceStream {
public:
    explicit RtStream(std::unique_ptr<RtAudio> rt)
        : rt_(std::move(rt))
    {}
    ~RtStream() override { Close(); }

    bool Start() override
    {
        const auto lock = LockSoundSystem();
        try {
            rt_->startStream();
        } catch (const std::exception&) {
        }
        return rt_->isStreamRunning();
    }

    void Close() override
    {
        const auto lock = LockSoundSystem();
        if (!rt_)
            return;
        try {
            // Abort rather than stop: stopping a playback stream waits for
            // the device to drain, which a stalled device never does.
            if (rt_->isStreamRunning())
                rt_->abortStream();
        } catch (const std::exception&) {
        }
        try {
            if (rt_->isStreamOpen())
                rt_->closeStream();
        } catch (const std::exception&) {
        }
        rt_.reset();
    }

private:
    std::unique_ptr<RtAudio> rt_;
};

std::unique_ptr<DeviceStream> OpenRtStream(const StreamRequest& request)
{
    std::unique_ptr<RtAudio> rt;
    std::optional<unsigned> device;
    try {
        rt = std::make_unique<RtAudio>(ToRtApi(request.api));
        rt->showWarnings(false);
        device = FindDevice(*rt, request.input, request.number);
    } catch (const std::exception&) {
    }
    if (!rt || !device)
        return nullptr;
    RtAudio::StreamParameters params;
    params.deviceId = *device;
    params.nChannels = request.channels;
    params.firstChannel = 0;
    RtAudio::StreamOptions options;
    options.streamName = request.name;
    unsigned frames = request.frames;
    try {
        rt->openStream(request.input ? nullptr : &params, request.input ? &params : nullptr,
                       RTAUDIO_SINT16, request.rate, &frames, request.callback, request.user,
                       &options);
    } catch (const std::exception&) {
    }
    if (!rt->isStreamOpen())
        return nullptr;
    return std::make_unique<RtStream>(std::move(rt));
}

}  // namespace

std::unique_ptr<DeviceStream> OpenDeviceStream(const StreamRequest& request)
{
    const auto lock = LockSoundSystem();
    auto gate = std::make_unique<CallbackGate>(request.callback, request.user, request.channels);
    StreamRequest gated = request;
    gated.callback = &CallbackGate::Call;
    gated.user = gate.get();
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        std::unique_ptr<DeviceStream> stream =
            gated.api == AudioApi::Jack ? jack::OpenStream(gated) : OpenRtStream(gated);
        if (stream) {
            stream->SetGate(std::move(gate));
            return stream;
        }
    }
    return nullptr;
}

std::vector<std::string> DeviceNames(AudioApi api, bool input)
{
    const auto lock = LockSoundSystem();
    std::vector<std::string> names;
    if (api == AudioApi::Jack) {
        for (const jack::Device& device : jack::Devices())
            if ((input ? device.captureChannels : device.playbackChannels) > 0 &&
                !IsOwnStream(device.name))
                names.push_back(device.name);
        return names;
    }
    try {
        RtAudio rt(ToRtApi(api));
        rt.showWarnings(false);
        for (const DeviceEntry& entry : ListDevices(rt, input))
            names.push_back(entry.name);
    } catch (const std::exception&) {
    }
    return names;
}

}  // namespace audio
