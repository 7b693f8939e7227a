// WAV and RF64 headers with the `auxi` chunk that carries the centre
// frequency and start time.

#include "recording/IqFormatBytes.h"
#include "recording/IqFormats.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace recording {

using detail::DataBytes;
using detail::Is;
using detail::Le16;
using detail::Le32;
using detail::Le64;
using detail::ValidTime;

namespace {

std::string ChunkName(const uint8_t* p)
{
    std::string s;
    for (int i = 0; i < 4; ++i)
        s += (p[i] >= 32 && p[i] < 127) ? static_cast<char>(p[i]) : '?';
    return s;
}

// A decimal integer after `key` in `text`: skips what separates a name from
// its value in XML ("=\"", ">", spaces) and takes the digits.
std::optional<int64_t> NumberAfter(std::string_view text, std::string_view key)
{
    const std::size_t at = text.find(key);
    if (at == std::string_view::npos)
        return std::nullopt;
    std::size_t p = at + key.size();
    for (int skipped = 0; p < text.size() && skipped < 8; ++p, ++skipped) {
        const char c = text[p];
        if (c != '=' && c != '"' && c != '\'' && c != '>' && c != ' ' && c != '\t')
            break;
    }
    bool negative = false;
    if (p < text.size() && text[p] == '-') {
        negative = true;
        ++p;
    }
    int64_t value = 0;
    int digits = 0;
    for (; p < text.size() && text[p] >= '0' && text[p] <= '9' && digits < 18; ++p, ++digits)
        value = value * 10 + (text[p] - '0');
    if (digits == 0)
        return std::nullopt;
    return negative ? -value : value;
}

}  // namespace

void ParseAuxiChunk(std::span<const uint8_t> body, IqLayout* layout)
{
    const bool xml = body.size() >= 2 &&
                     ((body[0] == 0xFF && body[1] == 0xFE) || (body[0] == '<' && body[1] == 0));
    if (xml) {
        std::string text;
        text.reserve(body.size() / 2);
        for (std::size_t i = 0; i + 1 < body.size(); i += 2) {
            const unsigned c = Le16(&body[i]);
            text += c > 0 && c < 128 ? static_cast<char>(c) : '?';
        }
        if (auto f = NumberAfter(text, "RadioCenterFreq"))
            layout->freqCenter = *f;
        if (auto s = NumberAfter(text, "UTCSeconds"); s && *s >= 0 && *s < (int64_t{1} << 40))
            layout->startUnixMs = *s * 1000;
        return;
    }
    // SYSTEMTIME start (16 bytes), SYSTEMTIME stop, then the centre
    // frequency at 32; the 68- and 164-byte layouts agree up to there.
    if (body.size() < 36)
        return;
    const uint8_t* p = body.data();
    layout->freqCenter = Le32(p + 32);
    const int year = Le16(p), month = Le16(p + 2), day = Le16(p + 6), hour = Le16(p + 8),
              minute = Le16(p + 10), second = Le16(p + 12), ms = Le16(p + 14);
    if (ValidTime(year, month, day, hour, minute, second, ms))
        layout->startUnixMs = UnixMsFromUtc(year, month, day, hour, minute, second, ms);
}

namespace {

void Put(std::vector<uint8_t>& out, uint64_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PutId(std::vector<uint8_t>& out, const char (&id)[5])
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(id[i]));
}

// A UTC SYSTEMTIME: year, month, day of week, day, hour, minute, second, ms.
void PutSystemTime(std::vector<uint8_t>& out, int64_t unixMs)
{
    const int64_t days = (unixMs >= 0 ? unixMs : unixMs - 86399999) / 86400000;
    const int64_t msOfDay = unixMs - days * 86400000;
    // Civil date from days (the inverse of DaysFromCivil).
    const int64_t z = days + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const int64_t year = yoe + era * 400 + (month <= 2);
    const int64_t weekday = (days % 7 + 11) % 7;  // 1970-01-01 was a Thursday (4)
    for (int64_t v : {year, month, weekday, day, msOfDay / 3600000, msOfDay / 60000 % 60,
                      msOfDay / 1000 % 60, msOfDay % 1000})
        Put(out, static_cast<uint64_t>(v), 2);
}

}  // namespace

std::vector<uint8_t> EncodeAuxiChunk(int64_t freqCenter, std::optional<int64_t> startUnixMs,
                                     int64_t durationMs, uint32_t sampleRate)
{
    std::vector<uint8_t> out;
    out.reserve(164);
    if (startUnixMs) {
        PutSystemTime(out, *startUnixMs);
        PutSystemTime(out, *startUnixMs + durationMs);
    } else {
        out.resize(32, 0);
    }
    Put(out, static_cast<uint32_t>(std::clamp<int64_t>(freqCenter, 0, 0xFFFFFFFF)), 4);
    Put(out, sampleRate, 4);  // the converter's rate
    out.resize(164, 0);
    return out;
}

std::vector<uint8_t> EncodeWavHeader(uint16_t format, uint16_t bits, uint32_t sampleRate,
                                     uint32_t dataBytes, std::span<const uint8_t> auxi)
{
    std::vector<uint8_t> out;
    out.reserve(64 + auxi.size());
    const uint32_t auxiBytes =
        auxi.empty() ? 0 : 8 + static_cast<uint32_t>(auxi.size() + auxi.size() % 2);
    PutId(out, "RIFF");
    Put(out, 4 + 24 + auxiBytes + 8 + uint64_t{dataBytes} + dataBytes % 2, 4);
    PutId(out, "WAVE");
    PutId(out, "fmt ");
    Put(out, 16, 4);
    Put(out, format, 2);
    Put(out, 2, 2);
    Put(out, sampleRate, 4);
    Put(out, uint64_t{sampleRate} * 2 * bits / 8, 4);
    Put(out, 2 * bits / 8, 2);
    Put(out, bits, 2);
    if (!auxi.empty()) {
        PutId(out, "auxi");
        Put(out, auxi.size(), 4);
        out.insert(out.end(), auxi.begin(), auxi.end());
        if (auxi.size() % 2)
            out.push_back(0);
    }
    PutId(out, "data");
    Put(out, dataBytes, 4);
    return out;
}

namespace {

// What a needed chunk gives: fmt its first 40 bytes (WAVE_FORMAT_EXTENSIBLE
// included), ds64 its sizes, auxi its 164-byte body or a few KiB of XML.
constexpr std::size_t kMaxNeededBody = 1 << 16;
// A header of more chunks than this before its data is not a recording.
constexpr int kMaxChunks = 1 << 16;

bool ParseFormat(std::span<const uint8_t> body, IqLayout* layout, std::string* error)
{
    if (body.size() < 16) {
        *error = "WAV fmt chunk cut short";
        return false;
    }
    unsigned format = Le16(body.data());
    const unsigned channels = Le16(body.data() + 2);
    const uint32_t rate = Le32(body.data() + 4);
    const unsigned bits = Le16(body.data() + 14);
    if (format == 0xFFFE && body.size() >= 26)
        format = Le16(body.data() + 24);  // the sub-format GUID's first field
    if (channels != 2) {
        *error = "WAV file has " + std::to_string(channels) + " channel(s); an IQ recording has 2";
        return false;
    }
    if (rate == 0) {
        *error = "WAV sample rate is 0";
        return false;
    }
    if (!CheckSampleRate(rate, "WAV", error))
        return false;
    if (format == 1 && bits == 8)
        layout->type = SampleType::U8;
    else if (format == 1 && bits == 16)
        layout->type = SampleType::S16LE;
    else if (format == 1 && bits == 24)
        layout->type = SampleType::S24LE;
    else if (format == 1 && bits == 32)
        layout->type = SampleType::S32LE;
    else if (format == 3 && bits == 32)
        layout->type = SampleType::F32LE;
    else if (format == 3 && bits == 64)
        layout->type = SampleType::F64LE;
    else {
        *error = "WAV sample format " + std::to_string(format) + " with " + std::to_string(bits) +
                 " bits is not supported";
        return false;
    }
    layout->sampleRate = rate;
    return true;
}

}  // namespace

bool ParseWavHeader(const ReadAt& read, uint64_t fileSize, IqLayout* layout, std::string* error)
{
    *layout = IqLayout{};
    uint8_t riff[12];
    if (!read(0, riff, sizeof riff)) {
        *error = "WAV header cut short";
        return false;
    }
    const bool rf64 = Is(riff, "RF64");
    if ((!Is(riff, "RIFF") && !rf64) || !Is(riff + 8, "WAVE")) {
        *error = "not a WAV file";
        return false;
    }
    bool haveFormat = false;
    bool haveDs64 = false;
    uint64_t ds64DataSize = 0;
    std::vector<uint8_t> body;
    uint64_t pos = 12;
    for (int chunks = 0; chunks < kMaxChunks; ++chunks) {
        uint8_t chunk[8];
        if (!read(pos, chunk, sizeof chunk)) {
            *error = "WAV header cut short before its data chunk";
            return false;
        }
        const uint32_t size = Le32(chunk + 4);
        const uint64_t bodyAt = pos + 8;
        if (Is(chunk, "data")) {
            if (!haveFormat) {
                *error = "WAV data chunk before its fmt chunk";
                return false;
            }
            const bool known = !(rf64 && size == 0xFFFFFFFFu);
            const uint64_t declared = known ? size : ds64DataSize;
            layout->dataOffset = bodyAt;
            layout->dataBytes = DataBytes(declared, known || haveDs64, bodyAt, fileSize,
                                          2 * SampleBytes(layout->type));
            return true;
        }
        const uint64_t bodyEnd = bodyAt + size;
        if (bodyEnd > fileSize) {
            *error = "WAV chunk '" + ChunkName(chunk) + "' runs past the end of the file";
            return false;
        }
        const bool needed = Is(chunk, "ds64") || Is(chunk, "fmt ") || Is(chunk, "auxi");
        if (needed) {
            body.resize(std::min<std::size_t>(size, kMaxNeededBody));
            if (!read(bodyAt, body.data(), body.size())) {
                *error = "WAV chunk '" + ChunkName(chunk) + "' runs past the end of the header";
                return false;
            }
        }
        if (Is(chunk, "ds64") && body.size() >= 24) {
            haveDs64 = true;
            ds64DataSize = Le64(body.data() + 8);
        } else if (Is(chunk, "fmt ")) {
            if (!ParseFormat(body, layout, error))
                return false;
            haveFormat = true;
        } else if (Is(chunk, "auxi")) {
            ParseAuxiChunk(body, layout);
        }
        pos = bodyEnd + (size & 1u);
    }
    *error = "WAV file has more than " + std::to_string(kMaxChunks) + " chunks before its data";
    return false;
}

bool ParseWavHeader(std::span<const uint8_t> head, uint64_t fileSize, IqLayout* layout,
                    std::string* error)
{
    const ReadAt read = [head](uint64_t offset, uint8_t* out, std::size_t size) {
        if (offset > head.size() || head.size() - offset < size)
            return false;
        if (size > 0)
            std::memcpy(out, head.data() + offset, size);
        return true;
    };
    return ParseWavHeader(read, fileSize, layout, error);
}
}  // namespace recording
