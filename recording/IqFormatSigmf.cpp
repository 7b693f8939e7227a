// SigMF meta: a small JSON reader, enough for the keys we use.

#include "recording/IqFormatBytes.h"
#include "recording/IqFormats.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

namespace recording {

using detail::ValidTime;

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
        // from_chars reads a "." whatever the process locale, which Qt
        // programs take from the environment (a decimal comma in de_DE).
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
}  // namespace recording
