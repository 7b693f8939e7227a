#include "tools/Messages.h"

#include <cstdio>

namespace tools {

std::string OneLine(std::string_view text)
{
    std::string line;
    line.reserve(text.size());
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u != 0x7F) {
            line += c;
        } else if (c == '\n') {
            line += "\\n";
        } else if (c == '\r') {
            line += "\\r";
        } else if (c == '\t') {
            line += "\\t";
        } else {
            char escape[5];
            std::snprintf(escape, sizeof escape, "\\x%02x", u);
            line += escape;
        }
    }
    return line;
}

}  // namespace tools
