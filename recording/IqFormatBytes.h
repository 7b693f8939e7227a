#pragma once

// What the IQ format parsers share: little-endian fields, chunk ids, the data
// a header leaves to the file's length, and whether a date is one a recording
// can carry.

#include <cstdint>
#include <cstring>

namespace recording::detail {

inline uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t Le32(const uint8_t* p) { return uint32_t{Le16(p)} | uint32_t{Le16(p + 2)} << 16; }
inline uint64_t Le64(const uint8_t* p) { return uint64_t{Le32(p)} | uint64_t{Le32(p + 4)} << 32; }

inline bool Is(const uint8_t* p, const char (&id)[5]) { return std::memcmp(p, id, 4) == 0; }

// The data that follows `offset`, bounded by the file's length and cut to
// whole frames. A declared size of zero, or one past the end, is a
// recording that was cut short: it holds what the file holds.
inline uint64_t DataBytes(uint64_t declared, bool known, uint64_t offset, uint64_t fileSize,
                          int frameBytes)
{
    const uint64_t available = fileSize > offset ? fileSize - offset : 0;
    uint64_t bytes = (!known || declared == 0 || declared > available) ? available : declared;
    return bytes - bytes % static_cast<uint64_t>(frameBytes);
}

inline bool ValidTime(int year, int month, int day, int hour, int minute, int second, int ms)
{
    return year >= 1970 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 && day <= 31 &&
           hour >= 0 && hour < 24 && minute >= 0 && minute < 60 && second >= 0 && second < 61 &&
           ms >= 0 && ms < 1000;
}

}  // namespace recording::detail
