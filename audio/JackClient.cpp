#include "audio/JackClient.h"

#include <jack/jack.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>

namespace audio::jack {

namespace {

// jack2 has a trap for a process whose server died: the next client open
// (any client of the process, even one that fails) closes and deletes every
// client still allocated, and the pointers their owners hold dangle. That
// was the crash: a device list opened a client while a stream of the dead
// server was still being closed. Its only public sign is the error message
// it passes to the error function; every such purge is counted, and a stream
// opened before the latest purge no longer touches its client.
std::atomic<unsigned> gPurges{0};

void OnError(const char* message)
{
    if (std::strstr(message, "clients are still allocated"))
        gPurges.fetch_add(1, std::memory_order_acq_rel);
}

void Silent(const char*) {}

class JackStream;
// The streams whose clients are open, under the sound system's lock.
std::vector<JackStream*>& LiveStreams()
{
    static std::vector<JackStream*> streams;
    return streams;
}

void CloseStreamsOfGoneServers();

// Runs under the sound system's lock. libjack writes every failed
// connection to stderr, and with no server running every probe fails.
jack_client_t* OpenClient(const char* name)
{
    // Streams whose server said it went are closed before anything else
    // opens, so that the purge above finds nothing of ours.
    CloseStreamsOfGoneServers();
    jack_set_error_function(&OnError);
    jack_set_info_function(&Silent);
    jack_status_t status{};
    return jack_client_open(name, JackNoStartServer, &status);
}

std::string ClientOf(const char* port)
{
    const char* colon = std::strchr(port, ':');
    return colon ? std::string(port, colon) : std::string();
}

std::vector<Device> DevicesOf(jack_client_t* client)
{
    std::vector<Device> devices;
    const char** ports = jack_get_ports(client, nullptr, JACK_DEFAULT_AUDIO_TYPE, 0);
    if (!ports)
        return devices;
    for (const char** port = ports; *port; ++port) {
        const std::string name = ClientOf(*port);
        if (name.empty())
            continue;
        auto device = std::find_if(devices.begin(), devices.end(),
                                   [&](const Device& d) { return d.name == name; });
        if (device == devices.end())
            device = devices.insert(devices.end(), Device{name, 0, 0});
        const int flags = jack_port_flags(jack_port_by_name(client, *port));
        if (flags & JackPortIsOutput)
            ++device->captureChannels;
        else if (flags & JackPortIsInput)
            ++device->playbackChannels;
    }
    jack_free(ports);
    return devices;
}

// The device's ports of the kind our stream connects to, in the server's order.
std::vector<std::string> PortsOf(jack_client_t* client, const std::string& device, bool input)
{
    std::vector<std::string> names;
    const unsigned long flags = input ? JackPortIsOutput : JackPortIsInput;
    if (const char** ports = jack_get_ports(client, nullptr, JACK_DEFAULT_AUDIO_TYPE, flags)) {
        for (const char** port = ports; *port; ++port)
            if (ClientOf(*port) == device)
                names.emplace_back(*port);
        jack_free(ports);
    }
    return names;
}

// JACK hands a port buffer from one client's thread to the next through the
// server's semaphores, which ThreadSanitizer cannot see: the copies in and out
// of those buffers stay unwatched, as they were inside RtAudio. Watched, every
// sample was a suppressed report, and the reports made the device thread too
// slow for the server's periods.
__attribute__((no_sanitize("thread"))) void FromPort(const float* in, int16_t* out,
                                                     std::size_t stride, unsigned frames)
{
    for (unsigned i = 0; i < frames; ++i) {
        const float v = in[i] * 32768.0f;
        out[i * stride] = int16_t(std::lrint(v < -32768.0f  ? -32768.0f
                                             : v > 32767.0f ? 32767.0f
                                                            : v));
    }
}

__attribute__((no_sanitize("thread"))) void ToPort(const int16_t* in, std::size_t stride,
                                                   float* out, unsigned frames)
{
    for (unsigned i = 0; i < frames; ++i)
        out[i] = float(in[i * stride]) / 32768.0f;
}

// The largest period any JACK server runs with; a longer one is played as
// silence rather than allocated for on the device thread.
constexpr unsigned kMaxPeriod = 8192;

class JackStream final : public DeviceStream {
public:
    JackStream(jack_client_t* client, const StreamRequest& request, std::string device)
        : client_(client)
        , input_(request.input)
        , device_(std::move(device))
        , callback_(request.callback)
        , user_(request.user)
        , frames_(std::max(kMaxPeriod, unsigned(jack_get_buffer_size(client))) * request.channels)
        , purges_(gPurges.load(std::memory_order_acquire))
    {
        LiveStreams().push_back(this);
    }
    ~JackStream() override
    {
        const auto lock = LockSoundSystem();
        Close();
        auto& live = LiveStreams();
        live.erase(std::find(live.begin(), live.end(), this));
    }

    bool Register(unsigned channels)
    {
        for (unsigned i = 0; i < channels; ++i) {
            // RtAudio's port names: connections an operator's patchbay keeps
            // by name still find our ports.
            const std::string label = (input_ ? "inport " : "outport ") + std::to_string(i);
            jack_port_t* port = jack_port_register(client_, label.c_str(), JACK_DEFAULT_AUDIO_TYPE,
                                                   input_ ? JackPortIsInput : JackPortIsOutput, 0);
            if (!port)
                return false;
            ports_.push_back(port);
        }
        return jack_set_process_callback(client_, &JackStream::Process, this) == 0 &&
               jack_set_xrun_callback(client_, &JackStream::Xrun, this) == 0;
    }

    bool Start() override
    {
        const auto lock = LockSoundSystem();
        if (Purged() || !client_ || jack_activate(client_) != 0)
            return false;
        active_ = true;
        const std::vector<std::string> peers = PortsOf(client_, device_, input_);
        for (std::size_t i = 0; i < ports_.size(); ++i) {
            const char* ours = jack_port_name(ports_[i]);
            const int failed = i >= peers.size() ? 1
                               : input_          ? jack_connect(client_, peers[i].c_str(), ours)
                                                 : jack_connect(client_, ours, peers[i].c_str());
            if (failed != 0 && failed != EEXIST) {
                jack_deactivate(client_);
                active_ = false;
                return false;
            }
        }
        return true;
    }

    void Close() override
    {
        const auto lock = LockSoundSystem();
        if (Purged())
            client_ = nullptr;  // libjack has closed and freed it
        if (!client_)
            return;
        if (active_)
            jack_deactivate(client_);
        // Also after the server went: the client's thread has ended then, and
        // this frees what libjack still holds for it.
        jack_client_close(client_);
        client_ = nullptr;
        active_ = false;
    }

    bool ServerGone() const override { return gone_.load(std::memory_order_acquire); }

    // The open client, while its server is there and libjack has not purged
    // it: what the device lists may ask instead of opening a client of their
    // own. Under the sound system's lock.
    jack_client_t* UsableClient() const { return Purged() || ServerGone() ? nullptr : client_; }

    // Under the sound system's lock.
    void CloseIfServerGone()
    {
        if (ServerGone())
            Close();
    }

    // Registered before the client is activated, as libjack asks.
    void WatchServer() { jack_on_info_shutdown(client_, &JackStream::Shutdown, this); }

private:
    bool Purged() const { return purges_ != gPurges.load(std::memory_order_acquire); }

    // libjack's own thread: a flag, nothing more. Closing here is what
    // libjack forbids and what RtAudio got round with a detached thread.
    static void Shutdown(jack_status_t, const char*, void* self)
    {
        static_cast<JackStream*>(self)->gone_.store(true, std::memory_order_release);
    }

    static int Xrun(void* self)
    {
        static_cast<JackStream*>(self)->xrun_.store(true, std::memory_order_relaxed);
        return 0;
    }

    // Device thread: converts between JACK's floats and 16-bit frames (v /
    // 32768 and back, as RtAudio did, so a sample survives the round trip).
    static int Process(jack_nframes_t frames, void* self)
    {
        auto& s = *static_cast<JackStream*>(self);
        const std::size_t channels = s.ports_.size();
        const unsigned status = s.xrun_.exchange(false, std::memory_order_relaxed) ? 1u : 0u;
        if (std::size_t(frames) * channels > s.frames_.size()) {
            if (!s.input_)
                for (jack_port_t* port : s.ports_)
                    std::memset(jack_port_get_buffer(port, frames), 0, frames * sizeof(float));
            return 0;
        }
        int16_t* buffer = s.frames_.data();
        if (s.input_) {
            for (std::size_t c = 0; c < channels; ++c)
                FromPort(static_cast<const float*>(jack_port_get_buffer(s.ports_[c], frames)),
                         buffer + c, channels, frames);
            s.callback_(nullptr, buffer, frames, 0.0, status, s.user_);
        } else {
            s.callback_(buffer, nullptr, frames, 0.0, status, s.user_);
            for (std::size_t c = 0; c < channels; ++c)
                ToPort(buffer + c, channels,
                       static_cast<float*>(jack_port_get_buffer(s.ports_[c], frames)), frames);
        }
        return 0;
    }

    jack_client_t* client_;
    const bool input_;
    const std::string device_;
    const StreamCallback callback_;
    void* const user_;
    std::vector<jack_port_t*> ports_;
    std::vector<int16_t> frames_;  // one period, interleaved
    bool active_ = false;
    std::atomic<bool> gone_{false};
    std::atomic<bool> xrun_{false};
    const unsigned purges_;  // the purges before the client opened
};

void CloseStreamsOfGoneServers()
{
    for (JackStream* stream : LiveStreams())
        stream->CloseIfServerGone();
}

// Opening and closing a client takes the server several of its periods (a
// tenth of a second and more on a server with long periods, and the start
// made eight of them on the main thread). One of our streams' clients answers
// whether the server runs and what devices it has at no such cost.
jack_client_t* AnyStreamClient()
{
    for (const JackStream* stream : LiveStreams())
        if (jack_client_t* client = stream->UsableClient())
            return client;
    return nullptr;
}

// The device a stream numbers: 0 the first listed (JACK has no default of
// its own; RtAudio took the first too), n the n-th.
const Device* FindDevice(const std::vector<Device>& all, bool input, int32_t number)
{
    int32_t n = 0;
    for (const Device& device : all) {
        if ((input ? device.captureChannels : device.playbackChannels) == 0 ||
            IsOwnStream(device.name))
            continue;
        if (++n >= number)
            return &device;
    }
    return nullptr;
}

}  // namespace

bool ServerRunning()
{
    const auto lock = LockSoundSystem();
    if (AnyStreamClient())
        return true;
    // A busy server may turn one client away; ask again before settling for
    // another sound system.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (jack_client_t* client = OpenClient("tesmar-probe")) {
            jack_client_close(client);
            return true;
        }
    }
    return false;
}

std::vector<Device> Devices()
{
    const auto lock = LockSoundSystem();
    if (jack_client_t* client = AnyStreamClient())
        return DevicesOf(client);
    jack_client_t* client = nullptr;
    for (int attempt = 0; attempt < 3 && !client; ++attempt)
        client = OpenClient("tesmar-probe");
    if (!client)
        return {};
    std::vector<Device> devices = DevicesOf(client);
    jack_client_close(client);
    return devices;
}

std::unique_ptr<DeviceStream> OpenStream(const StreamRequest& request)
{
    const auto lock = LockSoundSystem();
    if (request.number < 0)
        return nullptr;
    jack_client_t* client = OpenClient(request.name);
    if (!client)
        return nullptr;
    // Listed by the stream's own client, before it has ports of its own.
    const Device* device = nullptr;
    const std::vector<Device> devices = DevicesOf(client);
    if (jack_get_sample_rate(client) == request.rate)
        device = FindDevice(devices, request.input, request.number);
    const unsigned channels =
        device ? (request.input ? device->captureChannels : device->playbackChannels) : 0;
    if (!device || channels < request.channels) {
        jack_client_close(client);
        return nullptr;
    }
    auto stream = std::make_unique<JackStream>(client, request, device->name);
    stream->WatchServer();
    if (!stream->Register(request.channels))
        return nullptr;  // the stream's destructor closes the client
    return stream;
}

Wiring SaveWiring(const char* clientName)
{
    const auto lock = LockSoundSystem();
    Wiring wiring;
    // A client without ports of its own: it is never listed as a device.
    jack_client_t* client = OpenClient("tesmar-wiring");
    if (!client)
        return wiring;
    std::string pattern = "^";
    pattern += clientName;
    pattern += ':';
    if (const char** ports = jack_get_ports(client, pattern.c_str(), nullptr, 0)) {
        for (const char** port = ports; *port; ++port) {
            std::vector<std::string> peers;
            if (const char** list =
                    jack_port_get_all_connections(client, jack_port_by_name(client, *port))) {
                for (const char** peer = list; *peer; ++peer)
                    peers.emplace_back(*peer);
                jack_free(list);
            }
            wiring.emplace_back(*port, std::move(peers));
        }
        jack_free(ports);
    }
    jack_client_close(client);
    return wiring;
}

void RestoreWiring(const Wiring& wiring)
{
    if (wiring.empty())
        return;
    const auto lock = LockSoundSystem();
    jack_client_t* client = OpenClient("tesmar-wiring");
    if (!client)
        return;
    for (const auto& entry : wiring) {
        // Not structured bindings: the lambda below captures them, which
        // Clang 15 refuses.
        const std::string& name = entry.first;
        const std::vector<std::string>& peers = entry.second;
        jack_port_t* port = jack_port_by_name(client, name.c_str());
        if (!port)
            continue;
        const bool oursIsInput = (jack_port_flags(port) & JackPortIsInput) != 0;
        auto connect = [&](const std::string& peer, bool on) {
            const char* from = oursIsInput ? peer.c_str() : name.c_str();
            const char* to = oursIsInput ? name.c_str() : peer.c_str();
            on ? jack_connect(client, from, to) : jack_disconnect(client, from, to);
        };
        std::vector<std::string> now;
        if (const char** list = jack_port_get_all_connections(client, port)) {
            for (const char** peer = list; *peer; ++peer)
                now.emplace_back(*peer);
            jack_free(list);
        }
        for (const std::string& peer : now)
            if (std::find(peers.begin(), peers.end(), peer) == peers.end())
                connect(peer, false);
        for (const std::string& peer : peers)
            if (std::find(now.begin(), now.end(), peer) == now.end())
                connect(peer, true);
    }
    jack_client_close(client);
}

}  // namespace audio::jack
