#include "core/model/FrequencyEntry.h"

#include "radio/RadioTypes.h"

#include <cmath>

namespace core {

namespace {

EntryOutcome WithSound(Sound sound)
{
    EntryOutcome o;
    o.sound = sound;
    return o;
}

}  // namespace

FrequencyEntry::FrequencyEntry(ReceiverState& state)
    : state_(state)
{}

void FrequencyEntry::Clear()
{
    state_.PointEntered = false;
    state_.FreqEntry.clear();
}

std::string FrequencyEntry::UnreadableMessage() const
{
    return "\"" + state_.FreqEntry + "\" is not a frequency in MHz.";
}

EntryOutcome FrequencyEntry::KeypadKey(int code)
{
    std::string& entry = state_.FreqEntry;
    if ((code == keys::Point || code == keys::PadPoint) && !state_.PointEntered) {
        state_.PointEntered = true;
        entry.push_back('.');
        state_.MemoryMode = false;
        return WithSound(Sound::Click);
    }
    if (code == keys::Escape) {
        Clear();
        return WithSound(Sound::Click);
    }
    if (code == keys::Back) {
        if (!entry.empty() && entry.back() == '.')
            state_.PointEntered = false;
        if (!entry.empty())
            entry.pop_back();
        return WithSound(Sound::Click);
    }
    if (code == keys::Enter)
        return Confirm();

    // Codes above "9" come down by 48, which turns the numeric pad's digits
    // into "0".."9" and leaves a second "." (190 -> 142) outside them.
    int c = code;
    if (c > keys::Digit0 + 9)
        c -= 48;
    if (c < keys::Digit0 || c > keys::Digit0 + 9)
        return {};
    entry.push_back(static_cast<char>(c));
    state_.MemoryMode = false;
    return WithSound(Sound::Click);
}

EntryOutcome FrequencyEntry::Confirm()
{
    const std::string& entry = state_.FreqEntry;
    if (entry.empty()) {
        Clear();
        return {};
    }

    // The entry holds digits and at most one ".": read it exactly, in whole
    // hertz plus whether any finer digit is set.
    const std::size_t point = entry.find('.');
    const std::string whole = entry.substr(0, point);
    const std::string fraction =
        point == std::string::npos ? std::string() : entry.substr(point + 1);
    if (whole.empty() && fraction.empty()) {
        EntryOutcome unreadable;
        unreadable.unreadable = true;
        return unreadable;
    }
    const std::size_t firstDigit = whole.find_first_not_of('0');
    const std::string significant =
        firstDigit == std::string::npos ? std::string() : whole.substr(firstDigit);
    const bool fractionZero = fraction.find_first_not_of('0') == std::string::npos;
    if (significant.empty() && fractionZero) {
        Clear();  // 0: no sound, no change
        return {};
    }

    const radio::RadioTypeInfo& type = radio::RadioTypeOf(state_.RadioType);
    const int64_t maxHz = std::llround(type.KeypadMaxMHz * 1e6);

    // More whole digits than any limit has cannot be in range.
    const bool readable = significant.size() <= 9;
    int64_t hz = 0;
    bool finer = false;
    if (readable) {
        for (char ch : significant)
            hz = hz * 10 + (ch - '0');
        int64_t micro = 0;
        for (std::size_t i = 0; i < 6; ++i)
            micro = micro * 10 + (i < fraction.size() ? fraction[i] - '0' : 0);
        hz = hz * 1000000 + micro;
        finer = fraction.size() > 6 && fraction.find_first_not_of('0', 6) != std::string::npos;
    }
    // A fraction of a hertz above the top limit is above it.
    const std::optional<int32_t> center =
        readable && !(finer && hz == maxHz) ? CenterFor(hz) : std::nullopt;

    Clear();
    if (!center)
        return WithSound(Sound::Refused);
    EntryOutcome accepted = WithSound(Sound::Accepted);
    accepted.center = center;
    return accepted;
}

bool FrequencyEntry::InEntryLimits(int64_t hz) const
{
    const radio::RadioTypeInfo& type = radio::RadioTypeOf(state_.RadioType);
    return hz >= std::llround(type.KeypadMinMHz * 1e6) &&
           hz <= std::llround(type.KeypadMaxMHz * 1e6);
}

std::optional<int32_t> FrequencyEntry::CenterFor(int64_t hz) const
{
    if (!InEntryLimits(hz))
        return std::nullopt;
    // An entry whose centre frequency the radio cannot take changes nothing,
    // FreqCenter included.
    const radio::RadioTypeInfo& type = radio::RadioTypeOf(state_.RadioType);
    const int64_t center = hz - state_.FreqTune;
    if (center < type.MinCenter || center > type.MaxCenter)
        return std::nullopt;
    return static_cast<int32_t>(center);
}

}  // namespace core
