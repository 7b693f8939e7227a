#include "ProfileValue.h"

#include <charconv>

namespace settings {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

std::optional<int32_t> ParseProfileInt(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    if (text.empty())
        return std::nullopt;

    bool negative = false;
    if (text.front() == '-' || text.front() == '+') {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (!text.empty() && text.front() == '$') {
        base = 16;
        text.remove_prefix(1);
    } else if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    // from_chars would take a second sign itself ("--5", "$-1", "-+5").
    if (text.empty() || text.front() == '-' || text.front() == '+')
        return std::nullopt;

    int64_t magnitude = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
    if (ec != std::errc() || end != text.data() + text.size() || magnitude < 0)
        return std::nullopt;
    // Hexadecimal values name a 32-bit pattern ("$FFFFFFFF" is -1), as the
    // settings file's writers of old produced them.
    if (base == 16 && !negative && magnitude <= 0xFFFFFFFFll)
        return static_cast<int32_t>(static_cast<uint32_t>(magnitude));
    const int64_t value = negative ? -magnitude : magnitude;
    if (value < INT32_MIN || value > INT32_MAX)
        return std::nullopt;
    return static_cast<int32_t>(value);
}

}  // namespace settings
