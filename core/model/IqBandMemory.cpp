#include "core/model/IqBandMemory.h"

#include <charconv>
#include <cmath>
#include <cstddef>

namespace core {

namespace {

constexpr std::string_view kSection = "IQBalance";

// A line of the settings file holds at most 2047 characters: a band's
// weights take kParts keys, "B<band>.<part>".
constexpr int kParts = 8;
constexpr int kPerPart = dsp::IqModel::kPoints / kParts;

std::string BandKey(int32_t band, int part)
{
    std::string key(1, 'B');
    key += std::to_string(band);
    key += '.';
    key += std::to_string(part);
    return key;
}

// The next number of `text` from `at`, blanks and commas before it skipped.
std::optional<double> NextNumber(std::string_view text, std::size_t& at)
{
    while (at < text.size() && (text[at] == ' ' || text[at] == ','))
        ++at;
    double v = 0.0;
    const auto [end, ec] = std::from_chars(text.data() + at, text.data() + text.size(), v);
    if (ec != std::errc() || !std::isfinite(v))
        return std::nullopt;
    at = static_cast<std::size_t>(end - text.data());
    return v;
}

}  // namespace

std::optional<dsp::IqModel> IqBandMemory::Find(int32_t band) const
{
    const auto found = bands_.find(band);
    if (found == bands_.end())
        return std::nullopt;
    return found->second;
}

std::string IqBandMemory::Format(const dsp::IqModel& model, int part)
{
    std::string line;
    char number[32];
    for (int k = part * kPerPart; k < (part + 1) * kPerPart; ++k)
        for (const double value : {model.w[k].real(), model.w[k].imag()}) {
            const auto [end, ec] =
                std::to_chars(number, number + sizeof number, value, std::chars_format::general, 7);
            if (!line.empty())
                line += ' ';
            line.append(number, ec == std::errc() ? end : number);
        }
    return line;
}

bool IqBandMemory::Parse(std::string_view text, int part, dsp::IqModel& model)
{
    std::size_t at = 0;
    for (int k = part * kPerPart; k < (part + 1) * kPerPart; ++k) {
        std::complex<double>& w = model.w[k];
        const auto re = NextNumber(text, at);
        const auto im = re ? NextNumber(text, at) : std::nullopt;
        if (!im)
            return false;
        w = {*re, *im};
    }
    return true;
}

void IqBandMemory::Read(const settings::ProfileDocument& doc)
{
    bands_.clear();
    const std::string list = doc.ReadString(kSection, "Bands", "");
    std::size_t at = 0;
    while (at < list.size()) {
        const auto band = NextNumber(list, at);
        if (!band)
            break;
        const auto b = static_cast<int32_t>(*band);
        dsp::IqModel model;
        bool whole = true;
        for (int part = 0; part < kParts && whole; ++part)
            whole = Parse(doc.ReadString(kSection, BandKey(b, part), ""), part, model);
        if (whole)
            bands_[b] = model;
    }
}

void IqBandMemory::Write(settings::ProfileDocument& doc) const
{
    if (bands_.empty())
        return;
    std::string list;
    for (const auto& [band, model] : bands_) {
        if (!list.empty())
            list += ',';
        list += std::to_string(band);
        for (int part = 0; part < kParts; ++part)
            doc.WriteString(kSection, BandKey(band, part), Format(model, part));
    }
    doc.WriteString(kSection, "Bands", list);
}

}  // namespace core
