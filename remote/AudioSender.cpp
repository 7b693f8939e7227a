#include "remote/AudioSender.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <sys/socket.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace remote {

namespace {

// What a refused datagram means to the operator.
std::string Describe(int error)
{
    switch (error) {
    case ECONNREFUSED: return "nobody listens on that port (connection refused)";
    case EAGAIN:
    case ENOBUFS: return "the system does not take the audio fast enough; datagrams are dropped";
    case ENETUNREACH:
    case EHOSTUNREACH:
        return std::string("the network cannot be reached (") + std::strerror(error) + ")";
    default: return std::strerror(error);
    }
}

}  // namespace

// One look-up of the destination, shared with its thread: the thread may
// outlive the sender (a name server that takes long), so it holds its own
// reference and the sender only reads it once `done` says so.
struct AudioSender::Lookup {
    std::string host;
    std::string port;
    sockaddr_storage address{};
    socklen_t length = 0;
    int family = 0;
    int error = 0;  // getaddrinfo's code, 0 when found
    std::atomic<bool> done{false};

    void Resolve(int flags)
    {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_DGRAM;
        hints.ai_flags = flags | AI_NUMERICSERV;
        addrinfo* found = nullptr;
        error = getaddrinfo(host.c_str(), port.c_str(), &hints, &found);
        if (error == 0) {
            std::memcpy(&address, found->ai_addr, found->ai_addrlen);
            length = found->ai_addrlen;
            family = found->ai_family;
            freeaddrinfo(found);
        }
    }
};

AudioSender::AudioSender() = default;

AudioSender::~AudioSender() { CloseSocket(); }

void AudioSender::Start(const std::string& host, int32_t port)
{
    Stop();
    host_ = host;
    port_ = port;
    status_.destination = DestinationText(host, port);
    SetState(State::Resolving);
    StartLookup();
}

void AudioSender::Stop()
{
    CloseSocket();
    lookup_.reset();
    failedError_ = 0;
    if (status_.state != State::Off)
        SetState(State::Off);
}

void AudioSender::StartLookup()
{
    auto lookup = std::make_shared<Lookup>();
    lookup->host = host_;
    lookup->port = std::to_string(port_);
    blocksSinceLookup_ = 0;
    // An address needs no name server: taken at once.
    lookup->Resolve(AI_NUMERICHOST);
    if (lookup->error != EAI_NONAME) {
        OpenSocket(*lookup);
        return;
    }
    lookup_ = lookup;
    try {
        std::thread([lookup] {
            lookup->Resolve(0);
            lookup->done.store(true, std::memory_order_release);
        }).detach();
    } catch (const std::system_error& e) {
        lookup_.reset();
        Fail(-1, "cannot look up " + host_ + ": " + e.what());
    }
}

void AudioSender::TakeLookup()
{
    if (lookup_ && lookup_->done.load(std::memory_order_acquire)) {
        const std::shared_ptr<Lookup> lookup = std::move(lookup_);
        OpenSocket(*lookup);
    } else if (!lookup_ && fd_ < 0 && status_.state == State::Failing &&
               ++blocksSinceLookup_ >= kLookupAgainBlocks) {
        StartLookup();
    }
}

void AudioSender::OpenSocket(const Lookup& lookup)
{
    if (lookup.error != 0) {
        Fail(1000 + lookup.error, "cannot find " + host_ + ": " + gai_strerror(lookup.error));
        return;
    }
    fd_ = socket(lookup.family, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    // Connected, so that the system tells of a port nobody listens on.
    if (fd_ < 0 ||
        connect(fd_, reinterpret_cast<const sockaddr*>(&lookup.address), lookup.length) != 0) {
        const int error = errno;
        CloseSocket();
        Fail(error, Describe(error));
        return;
    }
    cleanBlocks_ = 0;
    if (status_.state == State::Resolving)
        SetState(State::Sending);
}

void AudioSender::CloseSocket()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

void AudioSender::Send(const int16_t* samples, int count)
{
    if (status_.state == State::Off)
        return;
    TakeLookup();
    // A count that is no whole number of datagrams (the last, partial block
    // of a recording) ends with a shorter datagram.
    const int datagrams = (count + kDatagramSamples - 1) / kDatagramSamples;
    if (fd_ < 0) {
        dropped_ += datagrams;
        return;
    }
    int error = 0;
    for (int first = 0; first < count; first += kDatagramSamples) {
        const int n = std::min(kDatagramSamples, count - first);
        const std::size_t bytes = static_cast<std::size_t>(n) * sizeof(int16_t);
        PackSamples(samples + first, n, datagram_.data());
        if (::send(fd_, datagram_.data(), bytes, MSG_DONTWAIT | MSG_NOSIGNAL) ==
            static_cast<ssize_t>(bytes)) {
            ++sent_;
        } else {
            error = errno;
            ++dropped_;
        }
    }
    if (error != 0) {
        cleanBlocks_ = 0;
        // Checked here too: the message is made only for news.
        if (status_.state != State::Failing || error != failedError_)
            Fail(error, Describe(error));
    } else if (status_.state == State::Failing && ++cleanBlocks_ >= kMendBlocks) {
        failedError_ = 0;
        SetState(State::Sending);
    }
}

void AudioSender::Fail(int error, std::string problem)
{
    // The same trouble again (a retried look-up, a refused datagram) is
    // not news.
    if (status_.state == State::Failing && error == failedError_)
        return;
    failedError_ = error;
    SetState(State::Failing, std::move(problem));
}

void AudioSender::SetState(State state, std::string problem)
{
    status_.state = state;
    status_.problem = std::move(problem);
    changed_ = true;
}

bool AudioSender::TakeChange(Status* status)
{
    if (!changed_)
        return false;
    changed_ = false;
    *status = status_;
    return true;
}

}  // namespace remote
