// The .sdriq header: rate, frequency, start and sample size under a CRC-32.

#include "recording/IqFormatBytes.h"
#include "recording/IqFormats.h"

#include <array>
#include <cstring>
#include <limits>

namespace recording {

using detail::DataBytes;
using detail::Le32;
using detail::Le64;

uint32_t Crc32(std::span<const uint8_t> bytes)
{
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1u) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    uint32_t crc = 0xFFFFFFFFu;
    for (uint8_t b : bytes)
        crc = table[(crc ^ b) & 0xFFu] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

void EncodeSdriqHeader(uint32_t sampleRate, uint64_t freqCenter, int64_t startUnixMs,
                       uint32_t sampleBits, uint8_t (&out)[kSdriqHeaderSize])
{
    std::memset(out, 0, sizeof out);
    auto put = [&](std::size_t at, uint64_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    put(0, sampleRate, 4);
    put(4, freqCenter, 8);
    put(12, static_cast<uint64_t>(startUnixMs), 8);
    put(20, sampleBits, 4);
    put(28, Crc32({out, 28}), 4);
}

bool ParseSdriqHeader(std::span<const uint8_t> head, uint64_t fileSize, IqLayout* layout,
                      std::string* error)
{
    *layout = IqLayout{};
    if (head.size() < kSdriqHeaderSize) {
        *error = "sdriq header cut short (" + std::to_string(head.size()) + " of 32 bytes)";
        return false;
    }
    const uint8_t* p = head.data();
    if (Crc32(head.first(28)) != Le32(p + 28)) {
        *error = "sdriq header CRC does not match: the header is damaged";
        return false;
    }
    const uint32_t rate = Le32(p);
    const uint64_t freq = Le64(p + 4);
    const int64_t start = static_cast<int64_t>(Le64(p + 12));
    const uint32_t bits = Le32(p + 20);
    if (rate == 0) {
        *error = "sdriq sample rate is 0";
        return false;
    }
    if (!CheckSampleRate(rate, "sdriq", error))
        return false;
    if (bits == 16)
        layout->type = SampleType::S16LE;
    else if (bits == 24)
        layout->type = SampleType::S24In32LE;
    else {
        *error = "sdriq sample size " + std::to_string(bits) + " (16 or 24 expected)";
        return false;
    }
    layout->sampleRate = rate;
    if (freq <= static_cast<uint64_t>(std::numeric_limits<int64_t>::max()))
        layout->freqCenter = static_cast<int64_t>(freq);
    if (start > 0)
        layout->startUnixMs = start;
    layout->dataOffset = kSdriqHeaderSize;
    layout->dataBytes =
        DataBytes(0, false, kSdriqHeaderSize, fileSize, 2 * SampleBytes(layout->type));
    return true;
}
}  // namespace recording
