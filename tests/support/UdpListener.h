#pragma once

// A UDP receiver on this computer's loopback address, standing in for a
// decoder that reads audio datagrams; and a port on which nobody listens.

#include "tests/support/Loopback.h"

#include <cstdint>
#include <vector>

#include <poll.h>

namespace tesmar::test {

class UdpListener {
public:
    // On `port` of 127.0.0.1 (0: a free one), with room in the system for
    // some seconds of audio.
    explicit UdpListener(uint16_t port = 0)
    {
        fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        const int room = 4 << 20;
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &room, sizeof room);
        sockaddr_in at = LoopbackAddress(port);
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) {
            ::close(fd_);
            fd_ = -1;
            return;
        }
        socklen_t length = sizeof at;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&at), &length);
        port_ = ntohs(at.sin_port);
    }
    ~UdpListener()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    UdpListener(const UdpListener&) = delete;
    UdpListener& operator=(const UdpListener&) = delete;

    bool Bound() const { return fd_ >= 0; }
    uint16_t Port() const { return port_; }

    // The next datagram, waiting at most timeoutMs; empty when none came.
    std::vector<uint8_t> Receive(int timeoutMs)
    {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) != 1)
            return {};
        std::vector<uint8_t> d(65536);
        const ssize_t n = ::recv(fd_, d.data(), d.size(), 0);
        d.resize(n > 0 ? std::size_t(n) : 0);
        return d;
    }

    // Every datagram waiting now.
    std::vector<std::vector<uint8_t>> TakeWaiting()
    {
        std::vector<std::vector<uint8_t>> all;
        for (std::vector<uint8_t> d = Receive(0); !d.empty(); d = Receive(0))
            all.push_back(std::move(d));
        return all;
    }

private:
    int fd_ = -1;
    uint16_t port_ = 0;
};

// A loopback port that was free a moment ago and has nobody listening.
inline uint16_t ClosedUdpPort()
{
    UdpListener taken;
    return taken.Port();
}

}  // namespace tesmar::test
