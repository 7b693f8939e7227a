#pragma once

// Packet radio for the decoder tests: AFSK 1200 packets written by
// direwolf's own generator (gen_packets), put on an FM carrier in one of our
// raw recordings, and direwolf listening for them on a UDP port of the
// loopback address. Every process is bounded by `timeout` and ended by the
// test.

#include "recording/RawIqFile.h"

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tesmar::test {

inline bool PacketToolsInstalled()
{
    return std::system("command -v direwolf >/dev/null 2>&1 && "
                       "command -v gen_packets >/dev/null 2>&1") == 0;
}

// gen_packets' audio of one packet per text from TESMAR-1, 48 kHz mono;
// empty when it could not be made.
inline std::vector<int16_t> PacketAudio(const std::filesystem::path& dir,
                                        const std::vector<std::string>& texts)
{
    const std::filesystem::path list = dir / "packets.txt", wav = dir / "packets.wav";
    {
        std::ofstream out(list);
        for (const std::string& t : texts)
            out << "TESMAR-1>APRS:" << t << "\n";
    }
    const std::string command = "timeout 60 gen_packets -r 48000 -o '" + wav.string() + "' '" +
                                list.string() + "' >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0)
        return {};
    std::ifstream in(wav, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The chunks after "RIFF....WAVE", up to "data".
    for (std::size_t at = 12; at + 8 <= bytes.size();) {
        uint32_t size = 0;
        for (int k = 0; k < 4; ++k)
            size |= uint32_t(uint8_t(bytes[at + 4 + k])) << (8 * k);
        if (bytes.compare(at, 4, "data") == 0) {
            std::vector<int16_t> audio(std::min<std::size_t>(size, bytes.size() - at - 8) / 2);
            for (std::size_t n = 0; n < audio.size(); ++n)
                audio[n] =
                    int16_t(uint8_t(bytes[at + 8 + 2 * n]) | uint8_t(bytes[at + 9 + 2 * n]) << 8);
            return audio;
        }
        at += 8 + size + (size & 1);
    }
    return {};
}

// A raw recording of an FM carrier at offsetHz from the centre, modulated
// by `audio` (full scale: deviationHz), with a stretch of bare carrier
// before and after. Returns the recording's blocks.
inline int WriteFmRecording(const std::filesystem::path& file, const std::vector<int16_t>& audio,
                            double offsetHz, double deviationHz = 5000.0, int leadBlocks = 10,
                            int tailBlocks = 20)
{
    constexpr int kFrames = recording::kRawBlockFrames;
    recording::RawRecorder rec;
    if (!rec.Start(file, recording::LocalStamp{}, 5012000))
        return 0;
    const std::size_t total = std::size_t(leadBlocks) * kFrames + audio.size();
    const int blocks = int((total + kFrames - 1) / kFrames) + tailBlocks;
    std::vector<int16_t> block(2 * kFrames);
    double phase = 0.0;
    const double twoPi = 6.283185307179586;
    std::size_t n = 0;
    for (int b = 0; b < blocks; ++b) {
        for (int k = 0; k < kFrames; ++k, ++n) {
            const std::size_t a = n - std::size_t(leadBlocks) * kFrames;
            const double m = n >= std::size_t(leadBlocks) * kFrames && a < audio.size()
                                 ? audio[a] / 32768.0
                                 : 0.0;
            // A station above the centre is (sin, cos) of its phase.
            block[2 * k] = int16_t(std::lround(8000.0 * std::sin(phase)));
            block[2 * k + 1] = int16_t(std::lround(8000.0 * std::cos(phase)));
            phase = std::fmod(phase + twoPi * (offsetHz + deviationHz * m) / 48000.0, twoPi);
        }
        if (!rec.AppendBlock(block.data()))
            return 0;
    }
    return rec.Stop() ? blocks : 0;
}

// Whether a UDP socket is bound to `port` on this computer (IPv4 or IPv6).
inline bool UdpPortBound(uint16_t port)
{
    char hex[8];
    std::snprintf(hex, sizeof hex, ":%04X ", port);
    for (const char* table : {"/proc/net/udp", "/proc/net/udp6"}) {
        std::ifstream in(table);
        for (std::string line; std::getline(in, line);) {
            std::istringstream fields(line);
            std::string slot, local;
            fields >> slot >> local;
            if ((local + " ").find(hex) != std::string::npos)
                return true;
        }
    }
    return false;
}

// direwolf on a UDP port of the loopback address, 1200 baud AFSK, its
// network ports for other programs off; its output in a file.
class Direwolf {
public:
    Direwolf() = default;
    Direwolf(const Direwolf&) = delete;
    Direwolf& operator=(const Direwolf&) = delete;
    ~Direwolf() { Stop(); }

    // Starts it and waits (at most 20 s) until its port is bound.
    bool Start(const std::filesystem::path& dir, uint16_t port)
    {
        const std::filesystem::path conf = dir / "direwolf.conf";
        out_ = dir / "direwolf.out";
        {
            std::ofstream c(conf);
            c << "ADEVICE udp:" << port << " null\nARATE 48000\nACHANNELS 1\nCHANNEL 0\n"
              << "MODEM 1200\nAGWPORT 0\nKISSPORT 0\n";
        }
        pid_ = ::fork();
        if (pid_ == 0) {
            const int fd = ::open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(fd, 1);
            ::dup2(fd, 2);
            ::execlp("timeout", "timeout", "120", "direwolf", "-c", conf.c_str(), "-t", "0",
                     static_cast<char*>(nullptr));
            ::_exit(127);
        }
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (pid_ > 0 && !UdpPortBound(port) && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return pid_ > 0 && UdpPortBound(port);
    }

    void Stop()
    {
        if (pid_ <= 0)
            return;
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
    }

    std::string Output() const
    {
        std::ifstream in(out_);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    // How many of `texts` it decoded, each as a packet from TESMAR-1.
    int Decoded(const std::vector<std::string>& texts) const
    {
        const std::string out = Output();
        int n = 0;
        for (const std::string& t : texts)
            n += out.find("TESMAR-1>APRS:" + t) != std::string::npos;
        return n;
    }

    // Waits (at most `seconds`) until it decoded all of `texts`.
    bool AwaitDecoded(const std::vector<std::string>& texts, int seconds) const
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (Decoded(texts) < int(texts.size()) && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return Decoded(texts) == int(texts.size());
    }

private:
    pid_t pid_ = -1;
    std::filesystem::path out_;
};

}  // namespace tesmar::test
