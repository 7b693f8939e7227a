#pragma once

// The IQ recording formats of other receivers: header parsers over byte
// spans (so that each can be fed anything), and the sample types they name.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace recording {

enum class SampleType {
    U8,  // offset binary, 128 is zero
    S8,
    S16LE,
    S16BE,
    S24LE,      // three bytes
    S24In32LE,  // 24-bit values in 32-bit words
    S32LE,
    F32LE,
    F32BE,
    F64LE,
};

// Bytes of one sample (one of I or Q).
int SampleBytes(SampleType type);

// Where the samples of a recording lie and what they mean. Frames are I then
// Q. Times are Unix milliseconds (UTC).
struct IqLayout {
    SampleType type = SampleType::S16LE;
    double sampleRate = 0;
    uint64_t dataOffset = 0;
    uint64_t dataBytes = 0;
    std::optional<int64_t> freqCenter;
    std::optional<int64_t> startUnixMs;
};

// The sample rates a recording may have. Beyond them the header is damaged
// (or a name only looks like a recording's), and the resampler could not
// bridge the ratio to 48 kHz.
inline constexpr double kMinSampleRate = 1000;
inline constexpr double kMaxSampleRate = 1e9;
// True when `rate` lies within them; else false with one line in *error.
bool CheckSampleRate(double rate, const char* what, std::string* error);

// Reads `size` bytes of a file from `offset` into `out`; false when the file
// does not hold them.
using ReadAt = std::function<bool(uint64_t offset, uint8_t* out, std::size_t size)>;

// WAV or RF64, two channels, read chunk by chunk from the file's start:
// chunks the header does not need are skipped however large, and of those it
// needs (fmt, ds64, auxi) only the first bytes are read. fileSize is the
// file's whole length, which bounds a data size that is zero or larger than
// the file (a recording cut short). Reads an `auxi` chunk (binary or UTF-16LE
// XML) for the centre frequency and start time. False with one line in
// *error when refused.
bool ParseWavHeader(const ReadAt& read, uint64_t fileSize, IqLayout* layout, std::string* error);
// The same over the bytes at the file's start, `head` (what lies past the
// data chunk's start is not needed).
bool ParseWavHeader(std::span<const uint8_t> head, uint64_t fileSize, IqLayout* layout,
                    std::string* error);

// A WAV header of `format` (1 integer, 3 float) with two channels, an `auxi`
// chunk holding `auxi` when it is not empty, and the data chunk's header for
// dataBytes of samples that follow it.
std::vector<uint8_t> EncodeWavHeader(uint16_t format, uint16_t bits, uint32_t sampleRate,
                                     uint32_t dataBytes, std::span<const uint8_t> auxi);
// The 164-byte binary `auxi` body: start and stop time (UTC SYSTEMTIME),
// centre frequency, sample rate.
std::vector<uint8_t> EncodeAuxiChunk(int64_t freqCenter, std::optional<int64_t> startUnixMs,
                                     int64_t durationMs, uint32_t sampleRate);

// The `auxi` chunk's body: centre frequency and start time when it has them.
void ParseAuxiChunk(std::span<const uint8_t> body, IqLayout* layout);

// The 32-byte header of an .sdriq file, its CRC-32 checked. fileSize bounds
// the data.
inline constexpr std::size_t kSdriqHeaderSize = 32;
bool ParseSdriqHeader(std::span<const uint8_t> head, uint64_t fileSize, IqLayout* layout,
                      std::string* error);
// The header of an .sdriq recording, for writers and tests.
void EncodeSdriqHeader(uint32_t sampleRate, uint64_t freqCenter, int64_t startUnixMs,
                       uint32_t sampleBits, uint8_t (&out)[kSdriqHeaderSize]);

// CRC-32 as in zlib (reflected 0xEDB88320, inverted in and out).
uint32_t Crc32(std::span<const uint8_t> bytes);

// A SigMF meta file (JSON). Fills type, rate, frequency and start time;
// dataOffset stays 0 and dataBytes is left to the caller (the data file's
// length).
bool ParseSigmfMeta(std::string_view json, IqLayout* layout, std::string* error);

// The centre frequency a file's name carries: "<digits>Hz" or "<digits>kHz".
std::optional<int64_t> FrequencyFromName(std::string_view name);

// "gqrx_YYYYMMDD_HHMMSS_<freq>_<rate>_fc.raw": complex float32 with the
// start (UTC), frequency and rate in the name. False when the name is not
// of that form, and when its rate is unusable: then *error (when given) says
// so, and is left empty otherwise.
bool ParseGqrxName(std::string_view name, IqLayout* layout, std::string* error = nullptr);

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
int64_t DaysFromCivil(int year, int month, int day);
int64_t UnixMsFromUtc(int year, int month, int day, int hour, int minute, int second, int ms);

}  // namespace recording
