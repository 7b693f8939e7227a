// Any file name: the frequency and the fields a name may carry are read
// without running past it, and a gqrx name gives a usable rate.
#include "recording/IqFormats.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string_view name(reinterpret_cast<const char*>(data), size);
    (void)recording::FrequencyFromName(name);
    recording::IqLayout layout;
    if (recording::ParseGqrxName(name, &layout) && !(layout.sampleRate >= 1))
        std::abort();
    recording::ParseAuxiChunk({data, size}, &layout);
    return 0;
}
