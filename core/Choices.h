#pragma once

// The choices of the main window's button groups, as the core's interface
// takes them. Each value is the code the state field and the settings file
// keep (RxMode, AGC, IFBW, AFLPF), so a stored integer converts directly.

#include <cstdint>

namespace core {

enum class Mode : int32_t { Am = 0, Fm = 1, Cw = 2, Lsb = 3, Usb = 4 };
enum class AgcSpeed : int32_t { Fast = 0, Middle = 1, Slow = 2 };
// The IF bandwidth buttons "0.5 k", "3.0 k", "6.0 k", "12.0 k" and "User".
enum class IfChoice : int32_t { Khz0_5 = 0, Khz3 = 1, Khz6 = 2, Khz12 = 3, User = 4 };
// The AF filter buttons "3.0 k", "6.0 k" and "User".
enum class AfChoice : int32_t { Khz3 = 0, Khz6 = 1, User = 2 };

// The widths the fixed IF buttons "0.5 k" to "12.0 k" give the filter (the
// chain's IF design sets IFWidth to these), indexed by their IfChoice.
inline constexpr int32_t kFixedIfWidths[] = {500, 3000, 6000, 12000};

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

inline constexpr int kModeCount = 5;
inline constexpr int kAgcCount = 3;
inline constexpr int kIfCount = 5;
inline constexpr int kAfCount = 3;

// The stored code of a choice.
template <class Choice>
constexpr int32_t Code(Choice choice)
{
    return static_cast<int32_t>(choice);
}

}  // namespace core
