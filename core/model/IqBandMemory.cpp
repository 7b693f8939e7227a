#include "core/model/IqBandMemory.h"

#include <charconv>
#include <cmath>
#include <cstddef>

namespace core {

namespace {

constexpr std::string_view kSection = "IQBalance";

std::string BandKey(int32_t band)
{
    std::string key(1, 'B');
    key += std::to_string(band);
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

std::string IqBandMemory::Format(const dsp::IqModel& model)
{
    std::string line;
    char number[32];
    for (const std::complex<double>& w : model.w)
        for (const double part : {w.real(), w.imag()}) {
            const auto [end, ec] = std::to_chars(number, number + sizeof number, part,
                                                 std::chars_format::general, 6);
            if (!line.empty())
                line += ' ';
            line.append(number, ec == std::errc() ? end : number);
        }
    return line;
}

std::optional<dsp::IqModel> IqBandMemory::Parse(std::string_view text)
{
    dsp::IqModel model;
    std::size_t at = 0;
    for (std::complex<double>& w : model.w) {
        const auto re = NextNumber(text, at);
        const auto im = re ? NextNumber(text, at) : std::nullopt;
        if (!im)
            return std::nullopt;
        w = {*re, *im};
    }
    return model;
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
        const auto model = Parse(doc.ReadString(kSection, BandKey(static_cast<int32_t>(*band)), ""));
        if (model)
            bands_[static_cast<int32_t>(*band)] = *model;
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
        doc.WriteString(kSection, BandKey(band), Format(model));
    }
    doc.WriteString(kSection, "Bands", list);
}

}  // namespace core
