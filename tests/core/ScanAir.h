#pragma once

// The air a scan test listens to: stations at absolute frequencies that are
// on in known blocks; whatever band the radio is tuned to comes as the
// recording tesmar-iqgen (its option parser and writer) makes of it.

#include "dsp/Choices.h"
#include "recording/RawIqFile.h"
#include "tests/support/Files.h"
#include "tools/IqGen.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace core::test {

// A station on the air at an absolute frequency in blocks [on, off).
struct Station {
    int32_t hz;
    dsp::Mode mode;
    int64_t on, off;
};

// The scan's clock: block b began b x 50 ms after this.
inline const std::chrono::system_clock::time_point kEpoch =
    std::chrono::system_clock::time_point{} + std::chrono::hours(24 * 365 * 50);

inline int64_t BlockOf(std::chrono::system_clock::time_point t)
{
    return (t - kEpoch) / std::chrono::milliseconds(50);
}

inline constexpr int kNoise = 30;  // RMS on I and Q, sample units
inline constexpr int kAmplitude = 3000;

struct Air {
    std::filesystem::path dir;
    std::vector<Station> stations;
    int64_t blocks;
    int noise = kNoise;
    // tesmar-iqgen's options of an imperfect card (--iq-gain, --dc, ...).
    std::vector<std::string> card{};

    // Block `index` of the band around `center`.
    const int16_t* Block(int32_t center, int64_t index)
    {
        const std::string& file = Band(center);
        const std::size_t at =
            recording::kRawHeaderSize + std::size_t(index) * recording::kRawBlockBytes;
        // Copied out: after the 19-byte header the samples are not aligned.
        std::memcpy(block_.data(), file.data() + at, recording::kRawBlockBytes);
        return block_.data();
    }

    const std::string& Band(int32_t center)
    {
        auto found = bands_.find(center);
        if (found != bands_.end())
            return found->second;
        static constexpr const char* kModes[] = {"am", "fm", "cw", "lsb", "usb"};
        // A station that is never on: a band without one has no carrier either.
        std::vector<std::string> args = {"--blocks",    std::to_string(blocks),
                                         "--center",    std::to_string(center),
                                         "--noise",     std::to_string(noise),
                                         "--amplitude", std::to_string(kAmplitude),
                                         "--time",      "120000",
                                         "--station",   "0:cw:0-0"};
        for (const Station& s : stations) {
            const int64_t offset = int64_t(s.hz) - center;
            if (offset > -24000 && offset < 24000)
                args.insert(args.end(),
                            {"--station", std::to_string(offset) + ":" + kModes[dsp::Code(s.mode)] +
                                              ":" + std::to_string(s.on) + "-" +
                                              std::to_string(s.off)});
        }
        args.insert(args.end(), card.begin(), card.end());
        const std::filesystem::path file = dir / ("band" + std::to_string(center) + ".dat");
        args.push_back(file.string());
        tools::IqGenOptions options;
        std::string error;
        EXPECT_TRUE(tools::ParseIqGenArgs(args, options, &error)) << error;
        EXPECT_TRUE(tools::WriteIqFile(options, &error)) << error;
        return bands_[center] = tesmar::test::ReadFile(file);
    }

    std::map<int32_t, std::string> bands_{};
    std::array<int16_t, recording::kRawBlockSamples> block_{};
};

}  // namespace core::test
