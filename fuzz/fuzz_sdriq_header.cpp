// Any bytes as the start of an .sdriq recording: refused with a message
// (a damaged header fails its CRC) or data inside the file.
#include "recording/IqFormats.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    // The first byte fixes a wrong CRC in most inputs, so that the fuzzer
    // reaches the fields behind it.
    std::vector<uint8_t> head(data + 1, data + size);
    if ((data[0] & 1) && head.size() >= recording::kSdriqHeaderSize) {
        const uint32_t crc = recording::Crc32({head.data(), 28});
        for (int i = 0; i < 4; ++i)
            head[28 + static_cast<std::size_t>(i)] = static_cast<uint8_t>(crc >> (8 * i));
    }
    const uint64_t fileSize = head.size() + uint64_t{data[0]} * 1000;
    recording::IqLayout layout;
    std::string error;
    if (recording::ParseSdriqHeader(head, fileSize, &layout, &error)) {
        if (layout.dataOffset + layout.dataBytes > fileSize || layout.sampleRate <= 0)
            std::abort();
    } else if (error.empty()) {
        std::abort();
    }
    return 0;
}
