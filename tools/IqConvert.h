#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace tools {

// What one conversion did.
struct IqConvertSummary {
    int64_t frames = 0;
    double sampleRate = 0;
    int64_t freqCenter = 0;
    bool hasStart = false;
    int64_t startUnixMs = 0;
};

// Converts `in` (any recording the player reads) to `out`, whose name picks
// the format: ".dat" our raw format (48 kHz: other rates are resampled),
// ".wav" 16-bit IQ WAV with an auxi chunk, ".sigmf-meta" or ".sigmf-data"
// SigMF (ci16_le, meta and data side by side). Keeps the centre frequency and
// the start time. Outputs appear only when the whole conversion succeeds.
// False with one line in *error otherwise. `progress`, when given, hears the
// seconds of the recording done after each read.
bool ConvertIq(const std::filesystem::path& in, const std::filesystem::path& out,
               IqConvertSummary* summary, std::string* error,
               const std::function<void(double)>& progress = {});

extern const char* const kIqConvertUsage;

}  // namespace tools
