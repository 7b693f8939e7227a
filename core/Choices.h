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
