#pragma once

#include <string>
#include <string_view>

namespace tools {

// The text with every control character written as an escape ("\n", "\x1b"),
// so that a message naming what the user typed stays one line.
std::string OneLine(std::string_view text);

}  // namespace tools
