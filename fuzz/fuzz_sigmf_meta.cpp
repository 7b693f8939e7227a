// Any text as a SigMF meta file: no crash, no hang (deeply nested JSON
// included), and a refusal always says what is wrong.
#include "recording/IqFormats.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    recording::IqLayout layout;
    std::string error;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (recording::ParseSigmfMeta(text, &layout, &error)) {
        if (!(layout.sampleRate >= 1))
            std::abort();  // a rate of zero would divide the resampler by it
    } else if (error.empty()) {
        std::abort();
    }
    return 0;
}
