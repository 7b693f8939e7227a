#pragma once

#include "recording/FileStamp.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

using tesmar::test::CountEntries;
using tesmar::test::ReadBytes;
using tesmar::test::ReadFile;
using tesmar::test::TempDir;
using tesmar::test::WriteBytes;
using tesmar::test::WriteFile;

inline uint32_t Le32(const std::vector<uint8_t>& b, std::size_t at)
{
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

inline uint16_t Le16(const std::vector<uint8_t>& b, std::size_t at)
{
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

using tesmar::test::FileSizeLimit;

// The local time the name and header tests record at.
inline recording::LocalStamp March3()
{
    recording::LocalStamp s;
    s.year = 2021;
    s.month = 3;
    s.day = 3;
    s.hour = 15;
    s.minute = 30;
    s.second = 12;
    return s;
}
