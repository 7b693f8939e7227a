#pragma once

#include <jack/jack.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace audiotest {

// The frame the rig plays at position f of its output: both channels are
// never zero, so silence cannot pass for data, and the position can be read
// back from any one frame.
struct PatternFrame {
    int16_t left;
    int16_t right;
};
inline constexpr int64_t kPatternModulus = 30000;
inline PatternFrame Pattern(int64_t f)
{
    return {int16_t(1 + f % kPatternModulus),
            int16_t(-1 - (f / kPatternModulus) % kPatternModulus)};
}
// The position a pattern frame came from, or -1 when it is none.
inline int64_t PatternPosition(int16_t left, int16_t right)
{
    if (left < 1 || left > kPatternModulus || right > -1 || right < -kPatternModulus)
        return -1;
    return int64_t(left - 1) + kPatternModulus * int64_t(-1 - right);
}

// The test's own JACK client, standing in for the radio and the speakers: it
// plays the pattern on its output ports (what the program captures) and
// records what arrives on its input ports (what the program plays).
class JackRig {
public:
    // Room for this many recorded frames; later frames are not kept.
    static constexpr int64_t kRecordCapacity = 48000 * 90;

    JackRig() = default;
    JackRig(const JackRig&) = delete;
    JackRig& operator=(const JackRig&) = delete;
    ~JackRig() { Close(); }

    bool Open(const std::string& name, int outputs, int inputs);
    void Close();
    // Forgets a client that libjack has already closed and freed.
    void Abandon()
    {
        client_ = nullptr;
        outputs_.clear();
        inputs_.clear();
    }
    bool IsOpen() const { return client_ != nullptr; }
    jack_client_t* Client() const { return client_; }

    // Frames recorded so far; frames[0 .. 2 * count) are readable.
    int64_t Recorded() const { return recorded_.load(std::memory_order_acquire); }
    const int16_t* RecordedFrames() const { return record_.data(); }
    int64_t Fed() const { return fed_.load(std::memory_order_acquire); }
    // From the next period on the rig plays these frames (left, right
    // interleaved) over and over in place of the pattern: a radio's signal
    // for the receiver to capture. Given once per rig.
    void PlayLoop(std::vector<int16_t> frames);

    // Full names of the ports connected to the named port.
    std::vector<std::string> ConnectionsOf(const std::string& port) const;
    // Full names of all ports whose name starts with prefix.
    std::vector<std::string> PortsStartingWith(const std::string& prefix) const;

private:
    static int Process(jack_nframes_t frames, void* self);

    jack_client_t* client_ = nullptr;
    std::vector<jack_port_t*> outputs_;
    std::vector<jack_port_t*> inputs_;
    std::vector<int16_t> record_;
    std::atomic<int64_t> recorded_{0};
    std::atomic<int64_t> fed_{0};
    std::vector<int16_t> loop_;  // written before looping_ turns true, then only read
    std::atomic<bool> looping_{false};
};

class JackServer;

// Starts a private server and opens the rig ("rig", two outputs, two inputs)
// on it. Servers started at the same moment by parallel tests now and then
// trip over each other in JACK's shared registry, and one of them stops
// taking clients right after its first; such a start is tried again with a
// new server (three attempts in all).
bool StartServerWithRig(JackServer& server, JackRig& rig, std::string& error);

}  // namespace audiotest
