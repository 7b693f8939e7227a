#include "recording/IqFormats.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

namespace recording {

namespace {

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Le32(const uint8_t* p) { return uint32_t{Le16(p)} | uint32_t{Le16(p + 2)} << 16; }
uint64_t Le64(const uint8_t* p) { return uint64_t{Le32(p)} | uint64_t{Le32(p + 4)} << 32; }

bool Is(const uint8_t* p, const char (&id)[5]) { return std::memcmp(p, id, 4) == 0; }

std::string ChunkName(const uint8_t* p)
{
    std::string s;
    for (int i = 0; i < 4; ++i)
        s += (p[i] >= 32 && p[i] < 127) ? static_cast<char>(p[i]) : '?';
    return s;
}

// The data that follows `offset`, bounded by the file's length and cut to
// whole frames. A declared size of zero, or one past the end, is a
// recording that was cut short: it holds what the file holds.
uint64_t DataBytes(uint64_t declared, bool known, uint64_t offset, uint64_t fileSize,
                   int frameBytes)
{
    const uint64_t available = fileSize > offset ? fileSize - offset : 0;
    uint64_t bytes = (!known || declared == 0 || declared > available) ? available : declared;
    return bytes - bytes % static_cast<uint64_t>(frameBytes);
}

bool ValidTime(int year, int month, int day, int hour, int minute, int second, int ms)
{
    return year >= 1970 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 && day <= 31 &&
           hour >= 0 && hour < 24 && minute >= 0 && minute < 60 && second >= 0 && second < 61 &&
           ms >= 0 && ms < 1000;
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

bool CheckSampleRate(double rate, const char* what, std::string* error)
{
    if (rate >= kMinSampleRate && rate <= kMaxSampleRate)
        return true;
    char text[64];
    std::snprintf(text, sizeof text, "%.0f", rate);
    *error = std::string(what) + " sample rate " + text +
             " Hz is outside what a recording has (1 kHz to 1 GHz)";
    return false;
}

int SampleBytes(SampleType type)
{
    switch (type) {
    case SampleType::U8:
    case SampleType::S8: return 1;
    case SampleType::S16LE:
    case SampleType::S16BE: return 2;
    case SampleType::S24LE: return 3;
    case SampleType::S24In32LE:
    case SampleType::S32LE:
    case SampleType::F32LE:
    case SampleType::F32BE: return 4;
    case SampleType::F64LE: return 8;
    }
    return 2;
}

int64_t DaysFromCivil(int year, int month, int day)
{
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yoe = year - era * 400;
    const int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

int64_t UnixMsFromUtc(int year, int month, int day, int hour, int minute, int second, int ms)
{
    const int64_t days = DaysFromCivil(year, month, day);
    return ((days * 24 + hour) * 60 + minute) * 60000 + int64_t{second} * 1000 + ms;
}

// ---------------------------------------------------------------------------
// WAV, RF64 and auxi

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

// ---------------------------------------------------------------------------
// sdriq

uint32_t Crc32(std::span<const uint8_t> bytes)
{
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1u) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    uint32_t crc = 0xFFFFFFFFu;
    for (uint8_t b : bytes)
        crc = table[(crc ^ b) & 0xFFu] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

void EncodeSdriqHeader(uint32_t sampleRate, uint64_t freqCenter, int64_t startUnixMs,
                       uint32_t sampleBits, uint8_t (&out)[kSdriqHeaderSize])
{
    std::memset(out, 0, sizeof out);
    auto put = [&](std::size_t at, uint64_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    put(0, sampleRate, 4);
    put(4, freqCenter, 8);
    put(12, static_cast<uint64_t>(startUnixMs), 8);
    put(20, sampleBits, 4);
    put(28, Crc32({out, 28}), 4);
}

bool ParseSdriqHeader(std::span<const uint8_t> head, uint64_t fileSize, IqLayout* layout,
                      std::string* error)
{
    *layout = IqLayout{};
    if (head.size() < kSdriqHeaderSize) {
        *error = "sdriq header cut short (" + std::to_string(head.size()) + " of 32 bytes)";
        return false;
    }
    const uint8_t* p = head.data();
    if (Crc32(head.first(28)) != Le32(p + 28)) {
        *error = "sdriq header CRC does not match: the header is damaged";
        return false;
    }
    const uint32_t rate = Le32(p);
    const uint64_t freq = Le64(p + 4);
    const int64_t start = static_cast<int64_t>(Le64(p + 12));
    const uint32_t bits = Le32(p + 20);
    if (rate == 0) {
        *error = "sdriq sample rate is 0";
        return false;
    }
    if (!CheckSampleRate(rate, "sdriq", error))
        return false;
    if (bits == 16)
        layout->type = SampleType::S16LE;
    else if (bits == 24)
        layout->type = SampleType::S24In32LE;
    else {
        *error = "sdriq sample size " + std::to_string(bits) + " (16 or 24 expected)";
        return false;
    }
    layout->sampleRate = rate;
    if (freq <= static_cast<uint64_t>(std::numeric_limits<int64_t>::max()))
        layout->freqCenter = static_cast<int64_t>(freq);
    if (start > 0)
        layout->startUnixMs = start;
    layout->dataOffset = kSdriqHeaderSize;
    layout->dataBytes =
        DataBytes(0, false, kSdriqHeaderSize, fileSize, 2 * SampleBytes(layout->type));
    return true;
}

// ---------------------------------------------------------------------------
// SigMF meta: a small JSON reader, enough for the keys we use.

namespace {

struct Json {
    enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
    double number = 0;
    std::string text;
    std::vector<Json> items;
    std::vector<std::string> keys;  // for objects, parallel to items

    const Json* Get(std::string_view key) const
    {
        if (kind != Kind::Object)
            return nullptr;
        for (std::size_t i = 0; i < keys.size(); ++i)
            if (keys[i] == key)
                return &items[i];
        return nullptr;
    }
};

class JsonReader {
public:
    explicit JsonReader(std::string_view s)
        : s_(s)
    {}

    bool Document(Json* out, std::string* error)
    {
        if (!Value(out, 0) || (Space(), pos_ != s_.size())) {
            *error = "SigMF meta is not valid JSON (at byte " + std::to_string(pos_) + ")";
            return false;
        }
        return true;
    }

private:
    static constexpr int kMaxDepth = 64;

    void Space()
    {
        while (pos_ < s_.size() &&
               (s_[pos_] == ' ' || s_[pos_] == '\n' || s_[pos_] == '\r' || s_[pos_] == '\t'))
            ++pos_;
    }
    bool Literal(std::string_view word)
    {
        if (s_.substr(pos_, word.size()) != word)
            return false;
        pos_ += word.size();
        return true;
    }
    bool String(std::string* out)
    {
        if (pos_ >= s_.size() || s_[pos_] != '"')
            return false;
        ++pos_;
        while (pos_ < s_.size()) {
            const char c = s_[pos_++];
            if (c == '"')
                return true;
            if (c != '\\') {
                *out += c;
                continue;
            }
            if (pos_ >= s_.size())
                return false;
            const char e = s_[pos_++];
            switch (e) {
            case 'n': *out += '\n'; break;
            case 't': *out += '\t'; break;
            case 'r': *out += '\r'; break;
            case 'b': *out += '\b'; break;
            case 'f': *out += '\f'; break;
            case 'u':
                // Keys and values we read are ASCII: keep a stand-in.
                if (s_.size() - pos_ < 4)
                    return false;
                pos_ += 4;
                *out += '?';
                break;
            default: *out += e;
            }
        }
        return false;
    }
    bool Number(double* out)
    {
        const std::size_t from = pos_;
        while (pos_ < s_.size() &&
               (std::strchr("+-.eE", s_[pos_]) != nullptr || (s_[pos_] >= '0' && s_[pos_] <= '9')))
            ++pos_;
        if (pos_ == from || pos_ - from > 64)
            return false;
        // from_chars, not strtod: strtod wants the process locale's decimal
        // comma, and Qt programs adopt the environment's locale.
        std::string_view text = s_.substr(from, pos_ - from);
        if (text.size() > 1 && text[0] == '+' && text[1] != '-')
            text.remove_prefix(1);
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *out);
        return ec == std::errc{} && end == text.data() + text.size() && std::isfinite(*out);
    }
    bool Value(Json* out, int depth)
    {
        if (depth > kMaxDepth)
            return false;
        Space();
        if (pos_ >= s_.size())
            return false;
        const char c = s_[pos_];
        if (c == '{') {
            out->kind = Json::Kind::Object;
            ++pos_;
            Space();
            if (pos_ < s_.size() && s_[pos_] == '}') {
                ++pos_;
                return true;
            }
            for (;;) {
                Space();
                std::string key;
                if (!String(&key))
                    return false;
                Space();
                if (pos_ >= s_.size() || s_[pos_++] != ':')
                    return false;
                Json item;
                if (!Value(&item, depth + 1))
                    return false;
                out->keys.push_back(std::move(key));
                out->items.push_back(std::move(item));
                Space();
                if (pos_ >= s_.size())
                    return false;
                if (s_[pos_] == '}') {
                    ++pos_;
                    return true;
                }
                if (s_[pos_++] != ',')
                    return false;
            }
        }
        if (c == '[') {
            out->kind = Json::Kind::Array;
            ++pos_;
            Space();
            if (pos_ < s_.size() && s_[pos_] == ']') {
                ++pos_;
                return true;
            }
            for (;;) {
                Json item;
                if (!Value(&item, depth + 1))
                    return false;
                out->items.push_back(std::move(item));
                Space();
                if (pos_ >= s_.size())
                    return false;
                if (s_[pos_] == ']') {
                    ++pos_;
                    return true;
                }
                if (s_[pos_++] != ',')
                    return false;
            }
        }
        if (c == '"') {
            out->kind = Json::Kind::String;
            return String(&out->text);
        }
        if (Literal("true") || Literal("false")) {
            out->kind = Json::Kind::Bool;
            return true;
        }
        if (Literal("null"))
            return true;
        out->kind = Json::Kind::Number;
        return Number(&out->number);
    }

    std::string_view s_;
    std::size_t pos_ = 0;
};

// "YYYY-MM-DDTHH:MM:SS[.fff...]Z" (an offset other than Z is not read).
std::optional<int64_t> ParseIsoUtc(std::string_view s)
{
    int v[6] = {};
    const int widths[6] = {4, 2, 2, 2, 2, 2};
    const char seps[6] = {'-', '-', 'T', ':', ':', 0};
    std::size_t p = 0;
    for (int f = 0; f < 6; ++f) {
        for (int d = 0; d < widths[f]; ++d, ++p) {
            if (p >= s.size() || s[p] < '0' || s[p] > '9')
                return std::nullopt;
            v[f] = v[f] * 10 + (s[p] - '0');
        }
        if (seps[f] != 0) {
            if (p >= s.size() || (s[p] != seps[f] && !(seps[f] == 'T' && s[p] == ' ')))
                return std::nullopt;
            ++p;
        }
    }
    int ms = 0;
    if (p < s.size() && s[p] == '.') {
        ++p;
        int scale = 100;
        for (; p < s.size() && s[p] >= '0' && s[p] <= '9'; ++p, scale /= 10)
            ms += (s[p] - '0') * scale;
    }
    if (!ValidTime(v[0], v[1], v[2], v[3], v[4], v[5], ms))
        return std::nullopt;
    return UnixMsFromUtc(v[0], v[1], v[2], v[3], v[4], v[5], ms);
}

}  // namespace

bool ParseSigmfMeta(std::string_view json, IqLayout* layout, std::string* error)
{
    *layout = IqLayout{};
    Json doc;
    if (!JsonReader(json).Document(&doc, error))
        return false;
    const Json* global = doc.Get("global");
    if (!global || global->kind != Json::Kind::Object) {
        *error = "SigMF meta has no \"global\" object";
        return false;
    }
    const Json* datatype = global->Get("core:datatype");
    if (!datatype || datatype->kind != Json::Kind::String) {
        *error = "SigMF meta has no core:datatype";
        return false;
    }
    static constexpr std::pair<std::string_view, SampleType> kTypes[] = {
        {"ci8", SampleType::S8},        {"cu8", SampleType::U8},
        {"ci16_le", SampleType::S16LE}, {"ci16_be", SampleType::S16BE},
        {"ci32_le", SampleType::S32LE}, {"cf32_le", SampleType::F32LE},
        {"cf32_be", SampleType::F32BE}, {"cf64_le", SampleType::F64LE},
    };
    bool known = false;
    for (const auto& [name, type] : kTypes)
        if (datatype->text == name) {
            layout->type = type;
            known = true;
        }
    if (!known) {
        *error = "SigMF core:datatype \"" + datatype->text.substr(0, 40) + "\" is not supported";
        return false;
    }
    const Json* rate = global->Get("core:sample_rate");
    if (!rate || rate->kind != Json::Kind::Number) {
        *error = "SigMF meta has no core:sample_rate";
        return false;
    }
    if (!(rate->number >= kMinSampleRate && rate->number <= kMaxSampleRate)) {
        *error = "SigMF core:sample_rate is out of range (1 kHz to 1 GHz)";
        return false;
    }
    layout->sampleRate = rate->number;
    const Json* captures = doc.Get("captures");
    if (captures && captures->kind == Json::Kind::Array && !captures->items.empty()) {
        const Json& first = captures->items.front();
        if (const Json* f = first.Get("core:frequency");
            f && f->kind == Json::Kind::Number && std::fabs(f->number) < 1e15)
            layout->freqCenter = std::llround(f->number);
        if (const Json* t = first.Get("core:datetime"); t && t->kind == Json::Kind::String)
            layout->startUnixMs = ParseIsoUtc(t->text);
    }
    return true;
}

// ---------------------------------------------------------------------------
// Names

std::optional<int64_t> FrequencyFromName(std::string_view name)
{
    for (std::size_t at = name.find("Hz"); at != std::string_view::npos;
         at = name.find("Hz", at + 1)) {
        std::size_t end = at;
        int64_t scale = 1;
        if (end > 0 && name[end - 1] == 'k') {
            --end;
            scale = 1000;
        }
        std::size_t begin = end;
        while (begin > 0 && name[begin - 1] >= '0' && name[begin - 1] <= '9')
            --begin;
        if (begin == end || end - begin > 12)
            continue;
        int64_t value = 0;
        for (std::size_t i = begin; i < end; ++i)
            value = value * 10 + (name[i] - '0');
        return value * scale;
    }
    return std::nullopt;
}

bool ParseGqrxName(std::string_view name, IqLayout* layout, std::string* error)
{
    if (error)
        error->clear();
    const std::size_t slash = name.find_last_of('/');
    if (slash != std::string_view::npos)
        name.remove_prefix(slash + 1);
    constexpr std::string_view kPrefix = "gqrx_", kSuffix = "_fc.raw";
    if (name.size() < kPrefix.size() + 16 + kSuffix.size() || !name.starts_with(kPrefix) ||
        !name.ends_with(kSuffix))
        return false;
    std::string_view rest =
        name.substr(kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size());
    // YYYYMMDD_HHMMSS_<freq>_<rate>
    int64_t fields[4] = {};
    const std::size_t widths[4] = {8, 6, 0, 0};
    for (int f = 0; f < 4; ++f) {
        std::size_t n = 0;
        while (n < rest.size() && rest[n] >= '0' && rest[n] <= '9')
            ++n;
        if (n == 0 || n > 12 || (widths[f] != 0 && n != widths[f]))
            return false;
        for (std::size_t i = 0; i < n; ++i)
            fields[f] = fields[f] * 10 + (rest[i] - '0');
        rest.remove_prefix(n);
        if (f < 3) {
            if (rest.empty() || rest[0] != '_')
                return false;
            rest.remove_prefix(1);
        }
    }
    if (!rest.empty())
        return false;
    std::string refusal;
    if (!CheckSampleRate(static_cast<double>(fields[3]), "the name's", &refusal)) {
        if (error)
            *error = refusal;
        return false;
    }
    *layout = IqLayout{};
    layout->type = SampleType::F32LE;
    layout->sampleRate = static_cast<double>(fields[3]);
    layout->freqCenter = fields[2];
    const int y = static_cast<int>(fields[0] / 10000), mo = static_cast<int>(fields[0] / 100 % 100),
              d = static_cast<int>(fields[0] % 100), h = static_cast<int>(fields[1] / 10000),
              mi = static_cast<int>(fields[1] / 100 % 100), s = static_cast<int>(fields[1] % 100);
    if (ValidTime(y, mo, d, h, mi, s, 0))
        layout->startUnixMs = UnixMsFromUtc(y, mo, d, h, mi, s, 0);
    return true;
}

}  // namespace recording
