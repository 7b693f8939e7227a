// Any command line for tesmar-demod: the options are parsed, and when they
// are accepted the signal chain is set up from them as a run sets it up and
// takes a few blocks of noise with a carrier.
#include "tools/Demod.h"
#include "tools/DemodOptions.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

// Arguments are separated by NUL bytes.
std::vector<std::string> Arguments(const uint8_t* data, std::size_t size)
{
    std::vector<std::string> args(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0)
            args.emplace_back();
        else
            args.back() += static_cast<char>(data[i]);
    }
    return args;
}

const std::vector<int16_t>& SignalBlock()
{
    static const std::vector<int16_t> block = [] {
        std::vector<int16_t> b(dsp::kBlockSamples);
        uint32_t noise = 1;
        for (int i = 0; i < dsp::kBlockFrames; ++i) {
            noise = noise * 1664525u + 1013904223u;
            const double phase = 2 * M_PI * -12000.0 * i / 48000.0;
            b[2 * i] = static_cast<int16_t>(8000 * std::cos(phase) + int(noise >> 24) - 128);
            b[2 * i + 1] =
                static_cast<int16_t>(8000 * std::sin(phase) + int(noise >> 16 & 255) - 128);
        }
        return b;
    }();
    return block;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    tools::DemodOptions options;
    std::string error;
    if (!tools::ParseDemodArgs(Arguments(data, size), options, &error)) {
        if (error.empty() || error.find('\n') != std::string::npos)
            std::abort();  // a refusal is one line
        return 0;
    }
    if (options.help)
        return 0;
    dsp::ChainControls controls = tools::ChainControlsFor(options);
    auto chain = std::make_unique<dsp::SignalChain>(controls);
    chain->Setup();
    for (int k = 0; k < 3; ++k) {
        chain->ProcessBlock(SignalBlock().data());
        for (int16_t s : chain->Outputs().OutFrames)
            if (s == -32768)
                std::abort();
    }
    return 0;
}
