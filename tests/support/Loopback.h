#pragma once

// TCP on this computer's loopback address, for tests whose servers (the
// program's remote control, a rigctld) listen on a port of the test's.

#include <cstdint>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tesmar::test {

inline sockaddr_in LoopbackAddress(uint16_t port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

// A socket connected to `port`; -1 when nothing listens there.
inline int ConnectLocal(uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to = LoopbackAddress(port);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0)
        return fd;
    if (fd >= 0)
        ::close(fd);
    return -1;
}

inline bool ListensLocally(uint16_t port)
{
    const int fd = ConnectLocal(port);
    if (fd >= 0)
        ::close(fd);
    return fd >= 0;
}

// `count` different ports that nothing listens on at the moment.
inline std::vector<uint16_t> FreePorts(int count)
{
    std::vector<int> fds;
    std::vector<uint16_t> ports;
    for (int i = 0; i < count; ++i) {
        fds.push_back(::socket(AF_INET, SOCK_STREAM, 0));
        sockaddr_in at = LoopbackAddress(0);
        socklen_t size = sizeof at;
        ::bind(fds.back(), reinterpret_cast<sockaddr*>(&at), sizeof at);
        ::getsockname(fds.back(), reinterpret_cast<sockaddr*>(&at), &size);
        ports.push_back(ntohs(at.sin_port));
    }
    for (int fd : fds)
        ::close(fd);
    return ports;
}

}  // namespace tesmar::test
