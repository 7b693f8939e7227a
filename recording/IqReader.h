#pragma once

#include "recording/IqFormats.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace recording {

// Reads the samples of another receiver's IQ recording at its own rate, as
// complex float frames (I, Q) scaled to +-1. Knows WAV/RF64 (with auxi),
// SigMF, .sdriq and the complex float32 files named by their frequency and
// rate. Everything it needs is allocated by Open.
class IqFileReader {
public:
    enum class OpenStatus {
        Opened,
        NotRecognised,  // none of the formats it reads: let another reader try
        Refused,        // recognised, but malformed or missing: LastError() says what
    };

    IqFileReader() = default;
    ~IqFileReader();
    IqFileReader(const IqFileReader&) = delete;
    IqFileReader& operator=(const IqFileReader&) = delete;

    OpenStatus Open(const std::filesystem::path& file);
    void Close();

    // Up to `frames` frames into iq (2 floats each); fewer only at the end of
    // the data or on a read error (ReadFailed()).
    std::size_t Read(float* iq, std::size_t frames);

    bool IsOpen() const { return file_ != nullptr; }
    const IqLayout& Layout() const { return layout_; }
    uint64_t FramesLeft() const;
    bool ReadFailed() const { return readFailed_; }
    const std::string& LastError() const { return lastError_; }

    static constexpr std::size_t kMaxFramesPerRead = 8192;

private:
    OpenStatus Refuse(const std::filesystem::path& file, const std::string& what);
    // The layout from a SigMF recording's meta, and its data file's name in
    // *dataFile; Opened when both are there.
    OpenStatus ReadSigmfMeta(const std::filesystem::path& file, std::filesystem::path* dataFile);
    // The layout from the open file's header, or its name; Opened when found.
    OpenStatus ReadLayout(const std::filesystem::path& file, uint64_t fileSize);

    std::FILE* file_ = nullptr;
    IqLayout layout_;
    uint64_t bytesLeft_ = 0;
    int frameBytes_ = 4;
    bool readFailed_ = false;
    std::string lastError_;
    std::vector<uint8_t> bytes_;
};

// Converts `frames` frames of `type` into floats scaled to +-1. Float
// samples beyond full scale are clipped there, as a 16-bit sample would be,
// and a NaN becomes 0: neither may reach the resampler, whose filter would
// spread it over its whole length.
void ConvertSamples(SampleType type, const uint8_t* in, std::size_t frames, float* out);

// A sample scaled to +-1 as a 16-bit sample, rounded to nearest: clipped at
// the limits, a NaN 0.
inline int16_t SampleFromFloat(float v)
{
    const float scaled = std::nearbyint(v * 32768.0f);
    if (!(scaled == scaled))
        return 0;
    return static_cast<int16_t>(std::clamp(scaled, -32768.0f, 32767.0f));
}

// The files a recording of this name is read from: a SigMF recording's meta
// and data, else the file itself.
std::vector<std::filesystem::path> RecordingFiles(const std::filesystem::path& file);

}  // namespace recording
