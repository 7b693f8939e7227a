#pragma once

// Writes IQ recordings in other receivers' formats for the tests: carriers
// at known offsets from the centre, each optionally amplitude-modulated.

#include "recording/IqFormats.h"
#include "recording/TestFiles.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace iqtest {

struct Carrier {
    double offsetHz = 0;
    double amplitude = 0.25;
    double toneHz = 0;  // AM at 50 % when not 0
};

// Frames of complex samples at `rate` (I, Q interleaved, scaled to +-1).
inline std::vector<double> Signal(double rate, std::size_t frames,
                                  const std::vector<Carrier>& carriers)
{
    std::vector<double> iq(2 * frames, 0.0);
    for (const Carrier& c : carriers)
        for (std::size_t n = 0; n < frames; ++n) {
            const double t = static_cast<double>(n) / rate;
            const double a =
                c.amplitude * (c.toneHz != 0 ? 1 + 0.5 * std::sin(2 * M_PI * c.toneHz * t) : 1);
            iq[2 * n] += a * std::cos(2 * M_PI * c.offsetHz * t);
            iq[2 * n + 1] += a * std::sin(2 * M_PI * c.offsetHz * t);
        }
    return iq;
}

inline void PutBytes(std::vector<uint8_t>& out, const void* p, std::size_t n, bool swap)
{
    const auto* b = static_cast<const uint8_t*>(p);
    for (std::size_t i = 0; i < n; ++i)
        out.push_back(b[swap ? n - 1 - i : i]);
}

// The samples encoded as `type`.
inline std::vector<uint8_t> Encode(recording::SampleType type, const std::vector<double>& iq)
{
    using recording::SampleType;
    std::vector<uint8_t> out;
    out.reserve(iq.size() * 8);
    for (double v : iq) {
        const auto full = [&](double scale) {
            return std::lround(std::clamp(v * scale, -scale, scale - 1));
        };
        switch (type) {
        case SampleType::U8: out.push_back(static_cast<uint8_t>(full(128) + 128)); break;
        case SampleType::S8:
            out.push_back(static_cast<uint8_t>(static_cast<int8_t>(full(128))));
            break;
        case SampleType::S16LE:
        case SampleType::S16BE: {
            const auto s = static_cast<int16_t>(full(32768));
            PutBytes(out, &s, 2, type == SampleType::S16BE);
            break;
        }
        case SampleType::S24LE: {
            const auto s = static_cast<int32_t>(full(8388608));
            PutBytes(out, &s, 3, false);
            break;
        }
        case SampleType::S24In32LE: {
            const auto s = static_cast<int32_t>(full(8388608));
            PutBytes(out, &s, 4, false);
            break;
        }
        case SampleType::S32LE: {
            const auto s = static_cast<int32_t>(full(2147483648.0));
            PutBytes(out, &s, 4, false);
            break;
        }
        case SampleType::F32LE:
        case SampleType::F32BE: {
            const auto f = static_cast<float>(v);
            PutBytes(out, &f, 4, type == SampleType::F32BE);
            break;
        }
        case SampleType::F64LE: PutBytes(out, &v, 8, false); break;
        }
    }
    return out;
}

enum class Container { Wav, Rf64, Sigmf, Sdriq, Gqrx };

struct FileSpec {
    Container container = Container::Wav;
    recording::SampleType type = recording::SampleType::S16LE;
    double rate = 48000;
    int64_t freqCenter = 7100000;
    int64_t startUnixMs = 0;  // 0: none
};

inline void Append(std::vector<uint8_t>& a, const std::vector<uint8_t>& b)
{
    const std::size_t at = a.size();
    a.resize(at + b.size());
    if (!b.empty())
        std::memcpy(a.data() + at, b.data(), b.size());
}

// Writes the recording into `dir` and returns the name to open.
inline std::filesystem::path Write(const std::filesystem::path& dir, const FileSpec& wanted,
                                   const std::vector<double>& iq)
{
    using recording::SampleType;
    const std::vector<uint8_t> data = Encode(wanted.type, iq);
    const auto rate = static_cast<uint32_t>(wanted.rate);
    std::optional<int64_t> start;
    if (wanted.startUnixMs != 0)
        start = wanted.startUnixMs;
    switch (wanted.container) {
    case Container::Wav:
    case Container::Rf64: {
        uint16_t format = 1, bits = 16;
        switch (wanted.type) {
        case SampleType::U8: bits = 8; break;
        case SampleType::S24LE: bits = 24; break;
        case SampleType::S32LE: bits = 32; break;
        case SampleType::F32LE: format = 3, bits = 32; break;
        default: break;
        }
        auto file = recording::EncodeWavHeader(
            format, bits, rate, static_cast<uint32_t>(data.size()),
            recording::EncodeAuxiChunk(wanted.freqCenter, start, 0, rate));
        if (wanted.container == Container::Rf64) {
            // RF64: a ds64 chunk in front, the 32-bit sizes all ones.
            std::vector<uint8_t> rf = {'R', 'F', '6', '4', 0xFF, 0xFF, 0xFF, 0xFF, 'W', 'A',
                                       'V', 'E', 'd', 's', '6',  '4',  28,   0,    0,   0};
            const uint64_t sizes[3] = {file.size() + data.size(), data.size(), data.size() / 4};
            PutBytes(rf, sizes, 24, false);
            rf.insert(rf.end(), 4, 0);  // no table
            rf.insert(rf.end(), file.begin() + 12, file.end() - 4);
            rf.insert(rf.end(), 4, 0xFF);
            file = rf;
        }
        Append(file, data);
        const auto p = dir / "take.wav";
        WriteBytes(p, file);
        return p;
    }
    case Container::Sigmf: {
        static constexpr std::pair<SampleType, const char*> kNames[] = {
            {SampleType::S8, "ci8"},        {SampleType::U8, "cu8"},
            {SampleType::S16LE, "ci16_le"}, {SampleType::S16BE, "ci16_be"},
            {SampleType::S32LE, "ci32_le"}, {SampleType::F32LE, "cf32_le"},
            {SampleType::F32BE, "cf32_be"}, {SampleType::F64LE, "cf64_le"}};
        std::string name;
        for (const auto& [t, n] : kNames)
            if (t == wanted.type)
                name = n;
        char rate[32];  // to_chars: a "." also under a Qt test's adopted locale
        char* rateEnd = std::to_chars(rate, rate + sizeof rate, wanted.rate).ptr;
        const std::string meta =
            "{\"global\":{\"core:datatype\":\"" + name +
            "\",\"core:sample_rate\":" + std::string(rate, rateEnd) +
            ",\"core:version\":\"1.0.0\"},\"captures\":[{\"core:sample_start\":0,"
            "\"core:frequency\":" +
            std::to_string(wanted.freqCenter) + "}],\"annotations\":[]}";
        WriteBytes(dir / "take.sigmf-meta", std::vector<uint8_t>(meta.begin(), meta.end()));
        WriteBytes(dir / "take.sigmf-data", data);
        return dir / "take.sigmf-meta";
    }
    case Container::Sdriq: {
        uint8_t header[recording::kSdriqHeaderSize];
        recording::EncodeSdriqHeader(rate, static_cast<uint64_t>(wanted.freqCenter),
                                     wanted.startUnixMs,
                                     wanted.type == SampleType::S24In32LE ? 24 : 16, header);
        std::vector<uint8_t> file(header, header + sizeof header);
        Append(file, data);
        const auto p = dir / "take.sdriq";
        WriteBytes(p, file);
        return p;
    }
    case Container::Gqrx: {
        const auto p = dir / ("gqrx_20261207_101112_" + std::to_string(wanted.freqCenter) + "_" +
                              std::to_string(rate) + "_fc.raw");
        WriteBytes(p, data);
        return p;
    }
    }
    return {};
}

}  // namespace iqtest
