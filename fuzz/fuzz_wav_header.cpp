// Any bytes as the start of a WAV or RF64 IQ recording (auxi chunk included):
// the header is refused with a message or describes data inside the file.
#include "recording/IqFormats.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size < 8)
        return 0;
    // The first 8 bytes: how long the whole file claims to be.
    uint64_t fileSize = 0;
    for (int i = 0; i < 8; ++i)
        fileSize = fileSize << 8 | data[i];
    fileSize %= uint64_t{1} << 40;
    recording::IqLayout layout;
    std::string error;
    const bool ok = recording::ParseWavHeader({data + 8, size - 8}, fileSize, &layout, &error);
    if (ok) {
        const uint64_t frame = 2 * static_cast<uint64_t>(recording::SampleBytes(layout.type));
        if (layout.sampleRate <= 0 || layout.dataBytes % frame != 0 ||
            (layout.dataBytes > 0 && layout.dataOffset + layout.dataBytes > fileSize))
            std::abort();
    } else if (error.empty()) {
        std::abort();  // every refusal says what is wrong
    }
    return 0;
}
