#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace settings {

// An integer as the settings file writes and reads it: decimal with an
// optional leading "-" (or "+"), or hexadecimal after "$" or "0x" (either
// case). Surrounding blanks are ignored; anything else, or a value outside the
// 32-bit range, is not a number. Hexadecimal values name a 32-bit pattern, so
// "$FFFFFFFF" reads as -1.
std::optional<int32_t> ParseProfileInt(std::string_view text);

}  // namespace settings
