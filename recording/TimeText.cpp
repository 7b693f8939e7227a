#include "recording/TimeText.h"

#include <cstdio>

namespace recording {

void WriteTimeText(int32_t blockCount, char (&text)[kTimeTextSize])
{
    const int32_t seconds = blockCount / kBlocksPerSecond;
    std::snprintf(text, kTimeTextSize, "%02d:%02d:%02d", static_cast<int>(seconds / 3600),
                  static_cast<int>((seconds % 3600) / 60), static_cast<int>(seconds % 60));
}

std::string TimeText(int32_t blockCount)
{
    char text[kTimeTextSize];
    WriteTimeText(blockCount, text);
    return text;
}

}  // namespace recording
