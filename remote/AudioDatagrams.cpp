#include "remote/AudioDatagrams.h"

#include <algorithm>
#include <charconv>

namespace remote {

namespace {

std::optional<int32_t> ReadPort(std::string_view text)
{
    int32_t port = 0;
    const char* end = text.data() + text.size();
    const auto [p, ec] = std::from_chars(text.data(), end, port);
    if (text.empty() || ec != std::errc() || p != end || port < 1 || port > 65535)
        return std::nullopt;
    return port;
}

bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }

// "'TEXT' is NOT": appended piece by piece (GCC 12 warns of the temporaries
// of a chain of + falsely).
// A control character in the text (a line break from a script) is shown as
// '?', so that the refusal stays one line.
std::string Refusal(std::string_view text, std::string_view isNot)
{
    std::string line = "'";
    for (const char c : text)
        line += IsControl(c) ? '?' : c;
    line += "' is not ";
    line.append(isNot);
    return line;
}

}  // namespace

std::optional<AudioDestination> ParseAudioDestination(std::string_view text, std::string* error)
{
    AudioDestination d{kAudioDefaultHost, kAudioDefaultPort};
    std::string_view port = text;
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos || close + 1 >= text.size() || text[close + 1] != ':' ||
            close == 1) {
            *error = Refusal(text, "[ADDRESS]:PORT");
            return std::nullopt;
        }
        d.host = std::string(text.substr(1, close - 1));
        port = text.substr(close + 2);
    } else if (const std::size_t colon = text.rfind(':'); colon != std::string_view::npos) {
        d.host = std::string(text.substr(0, colon));
        port = text.substr(colon + 1);
        if (d.host.empty() || d.host.find(':') != std::string::npos ||
            std::any_of(d.host.begin(), d.host.end(), IsControl)) {
            *error = Refusal(text, "HOST:PORT (an IPv6 address goes in brackets: [::1]:7355)");
            return std::nullopt;
        }
    }
    const std::optional<int32_t> number = ReadPort(port);
    if (!number) {
        *error = Refusal(port, "a port (1 to 65535)");
        return std::nullopt;
    }
    d.port = *number;
    return d;
}

std::string DestinationText(std::string_view host, int32_t port)
{
    const bool v6 = host.find(':') != std::string_view::npos;
    std::string text;
    text.reserve(host.size() + 8);
    if (v6)
        text += '[';
    text.append(host);
    if (v6)
        text += ']';
    text += ':';
    text.append(std::to_string(port));
    return text;
}

void PackSamples(const int16_t* samples, int count, uint8_t* out)
{
    for (int n = 0; n < count; ++n) {
        const auto u = static_cast<uint16_t>(samples[n]);
        out[2 * n] = static_cast<uint8_t>(u & 0xFF);
        out[2 * n + 1] = static_cast<uint8_t>(u >> 8);
    }
}

}  // namespace remote
