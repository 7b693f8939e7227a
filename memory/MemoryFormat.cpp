#include "memory/MemoryFormat.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace memory {

std::string_view ModeName(int32_t mode)
{
    if (mode < 0 || mode >= static_cast<int32_t>(kModeNames.size()))
        return {};
    return kModeNames[static_cast<std::size_t>(mode)];
}

int32_t ModeCode(std::string_view name)
{
    for (std::size_t i = 0; i < kModeNames.size(); ++i)
        if (kModeNames[i] == name)
            return static_cast<int32_t>(i);
    return -1;
}

std::string FormatHzCaption(int32_t hz)
{
    const int64_t magnitude = hz < 0 ? -static_cast<int64_t>(hz) : hz;
    char s[24];
    std::snprintf(s, sizeof s, "%10lld", static_cast<long long>(magnitude));
    // Ten characters for every magnitude up to 2147483648.
    std::string caption;
    caption.reserve(13);
    for (int i = 0; i < 10; ++i) {
        char ch = s[i];
        if (i >= 3 && ch == ' ')
            ch = '0';
        caption.push_back(ch);
        if (i == 3 || i == 6)
            caption.push_back('.');
    }
    if (hz < 0) {
        const std::size_t first = caption.find_first_not_of(' ');
        if (first > 0)
            caption[first - 1] = '-';
        else
            caption.insert(caption.begin(), '-');
    }
    return caption;
}

int64_t ParseHzCaption(std::string_view caption)
{
    int64_t value = 0;
    bool negative = false;
    for (char ch : caption) {
        if (ch >= '0' && ch <= '9')
            value = 10 * value + (ch - '0');
        else if (ch == ' ')
            value = 10 * value;
        else if (ch == '-')
            negative = true;
        // The dots are skipped.
    }
    // A blank in front of the "-" counted as a leading zero; only digit
    // positions weigh, so the value stands as read.
    return negative ? -value : value;
}

double ReadDecimal(std::string_view text)
{
    double value = 0.0;
    double weight = 0.1;
    bool point = false;
    bool negative = false;
    for (char ch : text) {
        if (ch >= '0' && ch <= '9') {
            if (point) {
                value += (ch - '0') * weight;
                weight *= 0.1;
            } else {
                value = 10.0 * value + (ch - '0');
            }
        } else if (ch == '.') {
            point = true;
        } else if (ch == '-') {
            negative = true;
        } else {
            return 0.0;
        }
    }
    return negative ? -value : value;
}

int32_t ReadSignedInt(std::string_view text)
{
    int64_t value = 0;
    bool negative = false;
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    for (char ch : text) {
        if (ch >= '0' && ch <= '9') {
            value = std::min(10 * value + (ch - '0'), kLimit);
        } else if (ch == '-') {
            negative = true;
        } else {
            return 0;
        }
    }
    if (negative)
        return static_cast<int32_t>(-value);
    return static_cast<int32_t>(std::min<int64_t>(value, std::numeric_limits<int32_t>::max()));
}

int32_t HzFromMHz(double mhz)
{
    const double hz = std::trunc(std::fabs(mhz) * 1000000.0 + 0.5);
    constexpr double kMax = std::numeric_limits<int32_t>::max();
    if (!(hz <= kMax))  // also catches an infinite value from a very long number
        return mhz < 0 ? std::numeric_limits<int32_t>::min() : std::numeric_limits<int32_t>::max();
    const auto whole = static_cast<int32_t>(hz);
    return mhz < 0 ? -whole : whole;
}

namespace {

// Whole hertz as MHz with six decimals, from the integer itself: the digits
// are exact and the point is a "." whatever the process locale says (the
// printf family writes the locale's decimal comma under de_DE, say, and the
// list would then read back as the whole megahertz alone).
std::string SixDecimalMHz(int64_t hz)
{
    const uint64_t magnitude = hz < 0 ? 0 - static_cast<uint64_t>(hz) : static_cast<uint64_t>(hz);
    char s[32];
    char* p = s;
    if (hz < 0)
        *p++ = '-';
    p = std::to_chars(p, s + sizeof s, magnitude / 1000000).ptr;
    *p++ = '.';
    char fraction[8];
    char* f = std::to_chars(fraction, fraction + sizeof fraction, magnitude % 1000000).ptr;
    const std::size_t digits = static_cast<std::size_t>(f - fraction);
    p = std::fill_n(p, 6 - digits, '0');
    p = std::copy(fraction, f, p);
    return std::string(s, p);
}

}  // namespace

std::string FileMHz(int32_t hz) { return SixDecimalMHz(hz); }

std::string PlainMHz(int64_t hz)
{
    std::string text = SixDecimalMHz(hz);
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.')
        text.pop_back();
    return text;
}

bool IsDecimalNumber(std::string_view text)
{
    bool digit = false;
    bool point = false;
    for (char ch : text) {
        if (ch >= '0' && ch <= '9') {
            digit = true;
        } else if (ch == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    return digit;
}

}  // namespace memory
