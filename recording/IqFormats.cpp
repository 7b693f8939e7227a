#include "recording/IqFormats.h"

#include <charconv>

namespace recording {

bool CheckSampleRate(double rate, const char* what, std::string* error)
{
    if (rate >= kMinSampleRate && rate <= kMaxSampleRate)
        return true;
    // Whole hertz with a "." never needed, whatever the process locale; room
    // for the largest double written out in full.
    char text[400];
    const char* end =
        std::to_chars(text, text + sizeof text, rate, std::chars_format::fixed, 0).ptr;
    *error = std::string(what) + " sample rate " +
             std::string(text, static_cast<std::size_t>(end - text)) +
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
}  // namespace recording
