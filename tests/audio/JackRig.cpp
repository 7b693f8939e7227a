#include "JackRig.h"
#include "JackServer.h"

#include <cmath>
#include <utility>

namespace audiotest {

namespace {

// JACK carries floats; the engine maps a 16-bit sample v to v / 32768 and back.
float ToFloat(int16_t v) { return float(v) / 32768.0f; }

int16_t ToSample(float f)
{
    const long v = std::lrint(double(f) * 32768.0);
    return int16_t(v < -32768 ? -32768 : v > 32767 ? 32767 : v);
}

}  // namespace

bool JackRig::Open(const std::string& name, int outputs, int inputs)
{
    Close();
    jack_status_t status{};
    client_ = jack_client_open(name.c_str(), jack_options_t(JackNoStartServer | JackUseExactName),
                               &status);
    if (!client_)
        return false;
    record_.assign(std::size_t(kRecordCapacity) * 2, 0);
    recorded_.store(0);
    fed_.store(0);
    for (int i = 0; i < outputs; ++i)
        outputs_.push_back(jack_port_register(client_, ("out_" + std::to_string(i + 1)).c_str(),
                                              JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0));
    for (int i = 0; i < inputs; ++i)
        inputs_.push_back(jack_port_register(client_, ("in_" + std::to_string(i + 1)).c_str(),
                                             JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0));
    jack_set_process_callback(client_, &JackRig::Process, this);
    if (jack_activate(client_) != 0) {
        Close();
        return false;
    }
    return true;
}

void JackRig::Close()
{
    if (!client_)
        return;
    jack_deactivate(client_);
    jack_client_close(client_);
    client_ = nullptr;
    outputs_.clear();
    inputs_.clear();
}

int JackRig::Process(jack_nframes_t frames, void* arg)
{
    auto& rig = *static_cast<JackRig*>(arg);
    const int64_t fed = rig.fed_.load(std::memory_order_relaxed);
    const bool looping = rig.looping_.load(std::memory_order_acquire);
    const int64_t loopFrames = looping ? int64_t(rig.loop_.size() / 2) : 0;
    for (std::size_t port = 0; port < rig.outputs_.size(); ++port) {
        auto* out = static_cast<float*>(jack_port_get_buffer(rig.outputs_[port], frames));
        for (jack_nframes_t i = 0; i < frames; ++i) {
            if (looping) {
                out[i] = ToFloat(rig.loop_[std::size_t(2 * ((fed + i) % loopFrames) + port % 2)]);
                continue;
            }
            const PatternFrame p = Pattern(fed + i);
            out[i] = ToFloat(port == 0 ? p.left : p.right);
        }
    }
    rig.fed_.store(fed + frames, std::memory_order_release);

    const int64_t recorded = rig.recorded_.load(std::memory_order_relaxed);
    const int64_t room = kRecordCapacity - recorded;
    const int64_t take = room < int64_t(frames) ? room : int64_t(frames);
    if (rig.inputs_.size() >= 2 && take > 0) {
        const auto* left = static_cast<const float*>(jack_port_get_buffer(rig.inputs_[0], frames));
        const auto* right = static_cast<const float*>(jack_port_get_buffer(rig.inputs_[1], frames));
        int16_t* dst = rig.record_.data() + recorded * 2;
        for (int64_t i = 0; i < take; ++i) {
            dst[2 * i] = ToSample(left[i]);
            dst[2 * i + 1] = ToSample(right[i]);
        }
        rig.recorded_.store(recorded + take, std::memory_order_release);
    }
    return 0;
}

void JackRig::PlayLoop(std::vector<int16_t> frames)
{
    if (looping_.load() || frames.size() < 2)
        return;
    loop_ = std::move(frames);
    looping_.store(true, std::memory_order_release);
}

std::vector<std::string> JackRig::ConnectionsOf(const std::string& port) const
{
    std::vector<std::string> names;
    if (!client_)
        return names;
    jack_port_t* p = jack_port_by_name(client_, port.c_str());
    if (!p)
        return names;
    if (const char** list = jack_port_get_all_connections(client_, p)) {
        for (const char** n = list; *n; ++n)
            names.emplace_back(*n);
        jack_free(list);
    }
    return names;
}

std::vector<std::string> JackRig::PortsStartingWith(const std::string& prefix) const
{
    std::vector<std::string> names;
    if (!client_)
        return names;
    if (const char** list = jack_get_ports(client_, nullptr, nullptr, 0)) {
        for (const char** n = list; *n; ++n)
            if (std::string(*n).rfind(prefix, 0) == 0)
                names.emplace_back(*n);
        jack_free(list);
    }
    return names;
}

bool StartServerWithRig(JackServer& server, JackRig& rig, std::string& error)
{
    std::string reasons;
    for (int attempt = 1; attempt <= 3; ++attempt) {
        std::string why;
        if (server.Start(why)) {
            if (rig.Open("rig", 2, 2))
                return true;
            why = "the test's JACK client did not open";
        }
        rig.Close();
        server.Stop();
        reasons += "attempt " + std::to_string(attempt) + ": " + why + "\n";
    }
    error = reasons;
    return false;
}

}  // namespace audiotest
