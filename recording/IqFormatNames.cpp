// What other programs' file names carry: a frequency, or (gqrx) the whole
// layout.

#include "recording/IqFormatBytes.h"
#include "recording/IqFormats.h"

namespace recording {

using detail::ValidTime;

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
