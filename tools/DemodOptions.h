#pragma once

#include "dsp/SignalChain.h"
#include "remote/AudioDatagrams.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tools {

struct DemodOptions {
    dsp::ChainControls controls;  // the settings file's defaults until --set
    std::filesystem::path input;
    std::filesystem::path output;    // empty: none (only with --udp)
    std::filesystem::path record;    // empty: no --record
    std::filesystem::path spectrum;  // empty: no --spectrum
    int64_t shift = 0;               // the slice's centre from the recording's, Hz
    int threads = 0;                 // 0: two where the machine has more than one core
    // --udp or --udp-fast: the decoder feed to a UDP port, paced at real
    // time or as fast as the recording reads.
    std::optional<remote::AudioDestination> udp;
    bool udpFast = false;
    bool help = false;
};

// The keys --set accepts: the receiver keys the chain uses, and "Monitor".
const std::vector<std::string_view>& DemodKeys();

// Sets one key from its text in the settings file's integer syntax. Keys are
// matched without regard to case, as in the settings file. On failure returns
// false with one line in *error.
bool ApplyDemodSetting(dsp::ChainControls& controls, std::string_view assignment,
                       std::string* error);

// Parses the command line (argv[0] excluded). On failure returns false with
// one line in *error.
bool ParseDemodArgs(const std::vector<std::string>& args, DemodOptions& options,
                    std::string* error);

extern const char* const kDemodUsage;

}  // namespace tools
