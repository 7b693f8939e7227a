#pragma once

// The virtual key codes of the frequency entry: those the keypad's buttons
// send and those the windows translate Qt's keys into. Standard library only,
// so that the windows can have them without the receiver.

namespace core::keys {

inline constexpr int Back = 8;        // "BS", Backspace
inline constexpr int Enter = 13;      // "ENT", Return and the keypad's Enter
inline constexpr int Escape = 27;     // "CE", Escape
inline constexpr int Digit0 = 48;     // "0".."9" are 48..57
inline constexpr int Pad0 = 96;       // numeric-pad digits 96..105
inline constexpr int PadPoint = 110;  // the numeric pad's decimal key
inline constexpr int Point = 190;     // "." on the main block and on the keypad

}  // namespace core::keys
