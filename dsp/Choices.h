#pragma once

// The receiver's choices as the main window's button groups offer them, the
// one vocabulary of the chain, the core and the windows. Each value is the
// code the settings file keeps (RxMode, AGC, IFBW, AFLPF), so a stored integer
// converts directly. A field may hold a code no button gives (an edited file,
// a tool's option): the chain's designs and the settings load bring such a
// code to the group's first choice.

#include <array>
#include <cstddef>
#include <cstdint>

namespace dsp {

enum class Mode : int32_t { Am = 0, Fm = 1, Cw = 2, Lsb = 3, Usb = 4 };
enum class AgcSpeed : int32_t { Fast = 0, Middle = 1, Slow = 2 };
// The IF bandwidth buttons "0.5 k", "3.0 k", "6.0 k", "12.0 k" and "User".
enum class IfChoice : int32_t { Khz0_5 = 0, Khz3 = 1, Khz6 = 2, Khz12 = 3, User = 4 };
// The AF filter buttons "3.0 k", "6.0 k" and "User".
enum class AfChoice : int32_t { Khz3 = 0, Khz6 = 1, User = 2 };

inline constexpr int kModeCount = 5;
inline constexpr int kAgcCount = 3;
inline constexpr int kIfCount = 5;
inline constexpr int kAfCount = 3;

template <class Choice>
inline constexpr int kChoiceCount = 0;
template <>
inline constexpr int kChoiceCount<Mode> = kModeCount;
template <>
inline constexpr int kChoiceCount<AgcSpeed> = kAgcCount;
template <>
inline constexpr int kChoiceCount<IfChoice> = kIfCount;
template <>
inline constexpr int kChoiceCount<AfChoice> = kAfCount;

// The stored code of a choice, and the choice of a stored code.
template <class Choice>
constexpr int32_t Code(Choice choice)
{
    return static_cast<int32_t>(choice);
}
template <class Choice>
constexpr Choice FromCode(int32_t code)
{
    return static_cast<Choice>(code);
}

// Whether a button of the group gives the choice.
template <class Choice>
constexpr bool IsKnown(Choice choice)
{
    return Code(choice) >= 0 && Code(choice) < kChoiceCount<Choice>;
}

// The choice, or the group's first for a code no button gives.
template <class Choice>
constexpr Choice KnownOrFirst(Choice choice)
{
    return IsKnown(choice) ? choice : Choice{};
}

// The mode names as the buttons show them, indexed by the mode's code.
inline constexpr std::array<const char*, kModeCount> kModeNames = {"AM", "FM", "CW", "LSB", "USB"};

// The widths in Hz the fixed IF buttons "0.5 k" to "12.0 k" give the filter,
// indexed by their code.
inline constexpr std::array<int32_t, 4> kFixedIfWidths = {500, 3000, 6000, 12000};

// The width of a fixed IF choice (not "User").
constexpr int32_t FixedIfWidth(IfChoice choice)
{
    return kFixedIfWidths[static_cast<std::size_t>(Code(choice))];
}

// The IF button each mode button presses: AM "6.0 k", FM "12.0 k", CW
// "0.5 k", LSB and USB "3.0 k".
constexpr IfChoice IfPresetOf(Mode mode)
{
    switch (mode) {
    case Mode::Fm: return IfChoice::Khz12;
    case Mode::Cw: return IfChoice::Khz0_5;
    case Mode::Lsb:
    case Mode::Usb: return IfChoice::Khz3;
    case Mode::Am: break;
    }
    return IfChoice::Khz6;
}

// The sidebands' product detectors shift the pass band by half its width.
constexpr bool IsSideband(Mode mode) { return mode == Mode::Lsb || mode == Mode::Usb; }

// How far a pass band of the given width reaches below and above the receive
// frequency: LSB wholly below it, USB wholly above, the other modes around it.
struct PassBand {
    int32_t below, above;
};
constexpr PassBand PassBandOf(Mode mode, int32_t width)
{
    switch (mode) {
    case Mode::Lsb: return {width, 0};
    case Mode::Usb: return {0, width};
    default: return {width / 2, width / 2};
    }
}

}  // namespace dsp
