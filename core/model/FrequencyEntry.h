#pragma once

// Direct frequency entry: digits and one "." typed on the keypad window or on
// the keyboard, "BS", "CE", and "ENT", which retunes the radio so that the
// receive frequency equals the typed value in MHz.

#include "core/model/KeyCodes.h"
#include "core/model/ReceiverState.h"

#include <cstdint>
#include <optional>
#include <string>

namespace core {

// The keypad's three sounds ("beep1.wav".."beep3.wav").
enum class Sound { None = 0, Click = 1, Accepted = 2, Refused = 3 };

// What one key did, for the receiver to carry out.
struct EntryOutcome {
    Sound sound = Sound::None;
    // A confirmed entry: the radio's new centre, FreqTune kept. The radio's
    // grid remainder then moves into FreqTune, so the receive frequency is
    // the typed one to the hertz.
    std::optional<int32_t> center;
    // Enter on an entry that cannot be read (a lone "."): report it; the
    // entry is kept for "BS" or "CE".
    bool unreadable = false;
};

// Works on the receiver state's FreqEntry (shown by the display while
// typing), PointEntered and MemoryMode, and reads FreqTune and RadioType.
// GUI-free and without devices: the receiver plays the sound and retunes.
class FrequencyEntry {
public:
    explicit FrequencyEntry(ReceiverState& state);

    // KeypadKey: one virtual key code (core/model/KeyCodes.h). Digits 48..57 and
    // the numeric pad's 96..105 append a digit, 190 and 110 the one ".", 8
    // removes the last character, 27 clears, 13 confirms; other codes do
    // nothing.
    EntryOutcome KeypadKey(int code);

    // The message for an entry that cannot be read.
    std::string UnreadableMessage() const;

    // Whether `hz` lies inside the current radio type's entry limits.
    bool InEntryLimits(int64_t hz) const;
    // The centre that a confirmed entry of `hz` tunes the radio to (FreqTune
    // kept), or nullopt when `hz` is outside the entry limits or the radio
    // cannot take that centre.
    std::optional<int32_t> CenterFor(int64_t hz) const;

private:
    EntryOutcome Confirm();
    void Clear();

    ReceiverState& state_;
};

}  // namespace core
