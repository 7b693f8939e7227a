#pragma once

// Audio over UDP as decoders read it (direwolf's "udp:PORT", nc -u -l, the
// usual receivers' format): 48000 Hz, signed 16-bit little-endian, mono, a
// block of 2400 samples in five datagrams of 960 bytes. Standard library
// only: the packing and the destination's syntax, without a socket.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace remote {

inline constexpr int kAudioRate = 48000;
inline constexpr int32_t kAudioDefaultPort = 7355;
inline constexpr const char* kAudioDefaultHost = "127.0.0.1";
// Below the 1024 bytes some decoders take at most, and a block divides evenly.
inline constexpr int kDatagramSamples = 480;
inline constexpr int kDatagramBytes = 2 * kDatagramSamples;

struct AudioDestination {
    std::string host;
    int32_t port = kAudioDefaultPort;
    bool operator==(const AudioDestination&) const = default;
};

// "[HOST:]PORT": a port alone goes to this computer (127.0.0.1); an IPv6
// address takes brackets ("[::1]:7355"). On failure, one line in *error.
std::optional<AudioDestination> ParseAudioDestination(std::string_view text, std::string* error);

// "HOST:PORT", an IPv6 address in brackets.
std::string DestinationText(std::string_view host, int32_t port);

// `count` samples into out[0 .. 2 * count), little-endian whatever the
// machine's order.
void PackSamples(const int16_t* samples, int count, uint8_t* out);

}  // namespace remote
