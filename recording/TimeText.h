#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace recording {

// Blocks are 50 ms, so 20 make a second.
inline constexpr int32_t kBlocksPerSecond = 20;

// Room for the longest text a 32-bit block count can give ("-29826:-59:-59").
inline constexpr std::size_t kTimeTextSize = 24;

// "hh:mm:ss" of a block count; the hours are not wrapped at 24. Writes into
// the caller's buffer, so a recorder can refresh it every block without
// allocating.
void WriteTimeText(int32_t blockCount, char (&text)[kTimeTextSize]);

std::string TimeText(int32_t blockCount);

}  // namespace recording
