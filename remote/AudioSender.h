#pragma once

// Sends audio blocks as UDP datagrams (remote/AudioDatagrams.h) from the
// thread that produces them, without ever making it wait: a host name is
// looked up on a thread of its own (blocks until then are dropped), the
// socket never blocks, and a datagram the system refuses (nobody listening,
// no route, a full buffer) is dropped and counted. Trouble is reported once
// when it starts and once when it mends, never per block. POSIX sockets and
// the standard library, no Qt: the command-line tools send with it too.

#include "remote/AudioDatagrams.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace remote {

class AudioSender {
public:
    enum class State { Off, Resolving, Sending, Failing };
    struct Status {
        State state = State::Off;
        std::string destination;  // "HOST:PORT"
        std::string problem;      // what goes wrong while Failing
    };

    // Sends that go through for this many blocks in a row (2 s) mend a
    // failure: a port nobody listens on refuses only every other datagram.
    static constexpr int kMendBlocks = 40;
    // A host name that did not resolve is looked up again after this many
    // blocks (10 s): a network that comes up later is found.
    static constexpr int kLookupAgainBlocks = 200;

    AudioSender();
    ~AudioSender();
    AudioSender(const AudioSender&) = delete;
    AudioSender& operator=(const AudioSender&) = delete;

    // Sends from now on to host:port (an address at once, a name once
    // looked up).
    void Start(const std::string& host, int32_t port);
    void Stop();

    // One block of samples, in datagrams of kDatagramSamples; `count` a
    // multiple of it. Never blocks and allocates nothing.
    void Send(const int16_t* samples, int count);

    // Takes a finished look-up (Send does so too): for a sender that wants
    // its destination before the first block.
    void Poll() { TakeLookup(); }

    // Whether the status changed since the last call; the new one in *status.
    bool TakeChange(Status* status);
    const Status& CurrentStatus() const { return status_; }

    int64_t SentDatagrams() const { return sent_; }
    int64_t DroppedDatagrams() const { return dropped_; }

private:
    struct Lookup;

    void StartLookup();
    void TakeLookup();
    void OpenSocket(const Lookup& lookup);
    void CloseSocket();
    void Fail(int error, std::string problem);
    void SetState(State state, std::string problem = {});

    Status status_;
    bool changed_ = false;
    std::string host_;
    int32_t port_ = 0;
    int fd_ = -1;
    std::shared_ptr<Lookup> lookup_;
    int failedError_ = 0;  // the errno (or lookup code) of the failure told
    int cleanBlocks_ = 0;
    int blocksSinceLookup_ = 0;
    int64_t sent_ = 0;
    int64_t dropped_ = 0;
    std::array<uint8_t, kDatagramBytes> datagram_{};
};

}  // namespace remote
