#include "core/model/Format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace core {

namespace {

// "%Nd" of a non-negative value into exactly n characters, blanks in front.
// The caller guarantees the value fits.
void RightAligned(uint32_t value, char* out, int n)
{
    for (int i = n - 1; i >= 0; --i) {
        if (value == 0 && i != n - 1) {
            out[i] = ' ';
        } else {
            out[i] = static_cast<char>('0' + value % 10);
            value /= 10;
        }
    }
}

char ZeroIfBlank(char c) { return c == ' ' ? '0' : c; }

}  // namespace

void FormatFrequency(int32_t hz, FrequencyText& out)
{
    char s[10];
    RightAligned(hz < 0 ? 0u : static_cast<uint32_t>(hz), s, 10);
    out[0] = s[0];
    out[1] = s[1];
    out[2] = s[2];
    out[3] = ZeroIfBlank(s[3]);
    out[4] = '.';
    out[5] = ZeroIfBlank(s[4]);
    out[6] = ZeroIfBlank(s[5]);
    out[7] = ZeroIfBlank(s[6]);
    out[8] = '.';
    out[9] = ZeroIfBlank(s[7]);
    out[10] = ZeroIfBlank(s[8]);
    out[11] = ZeroIfBlank(s[9]);
    out[12] = '\0';
}

FrequencyText FormatFrequency(int32_t hz)
{
    FrequencyText t;
    FormatFrequency(hz, t);
    return t;
}

void FormatOffset(int32_t freqTune, OffsetText& out)
{
    const int64_t magnitude = std::min<int64_t>(std::llabs(static_cast<int64_t>(freqTune)), 99999);
    char u[5];
    RightAligned(static_cast<uint32_t>(magnitude), u, 5);
    out[0] = freqTune < 0 ? '-' : '+';
    out[1] = u[0];
    out[2] = ZeroIfBlank(u[1]);
    out[3] = '.';
    out[4] = ZeroIfBlank(u[2]);
    out[5] = ZeroIfBlank(u[3]);
    out[6] = ZeroIfBlank(u[4]);
    out[7] = '\0';
}

OffsetText FormatOffset(int32_t freqTune)
{
    OffsetText t;
    FormatOffset(freqTune, t);
    return t;
}

void FormatStep(int32_t tuneStep, StepText& out)
{
    char* const first = out.data();
    char* const last = out.data() + out.size() - 1;  // keep room for the NUL
    std::to_chars_result r;
    const char* unit;
    if (tuneStep < 1000) {
        r = std::to_chars(first, last, tuneStep);
        unit = " Hz";
    } else {
        // to_chars rounds like printf's "%0.2f" but ignores the C locale, which
        // Qt sets from the environment (a "," in some languages).
        r = std::to_chars(first, last, tuneStep * 0.001, std::chars_format::fixed, 2);
        unit = " kHz";
    }
    char* p = r.ec == std::errc() ? r.ptr : first;
    for (const char* u = unit; *u != '\0' && p < last; ++u)
        *p++ = *u;
    *p = '\0';
}

StepText FormatStep(int32_t tuneStep)
{
    StepText t;
    FormatStep(tuneStep, t);
    return t;
}

KnobAnswer KnobAngleFromPoint(int x, int y, int32_t current)
{
    const int dx = x - 15;
    const int dy = y - 16;
    if (std::sqrt(static_cast<double>(dx * dx + dy * dy)) <= 5.0)
        return {false, current};
    int v = static_cast<int>(std::atan2(static_cast<double>(dy), static_cast<double>(dx)) * 180.0 /
                             M_PI) +
            90;
    if (v > 180)
        v -= 360;
    return {true, std::clamp<int32_t>(v, kKnobMin, kKnobMax)};
}

int32_t KnobStep(int32_t angle, int d)
{
    const int64_t next = static_cast<int64_t>(angle) + (d > 0 ? 4 : -4);
    return static_cast<int32_t>(std::clamp<int64_t>(next, kKnobMin, kKnobMax));
}

int TruncCoordinate(double v)
{
    const double nearest = std::round(v);
    if (std::fabs(v - nearest) < 1e-9)
        return static_cast<int>(nearest);
    return static_cast<int>(v);
}

}  // namespace core
