#include "radio/RadioTypes.h"

#include <cstdio>

namespace radio {
namespace {

const char* const kDxR8Setup[] = {
    "AL~RW_RFM05\r\n",
    "AL~SW_IQM01\r\n",
    "AL~SW_IQF 0000\r\n",
};

const char* const kDjX11Setup[] = {
    "AL~SDRON\r\n",
    "AL~IQ0\r\n",
};

const RadioTypeInfo kTypes[kRadioTypeCount] = {
    {"DX-R8", 9600, 30000, 34999990, 10, 0.03, 34.99999, false, kDxR8Setup, 3},
    {"DJ-X11", 57600, 50000, 1299999950, 50, 0.5, 1300.0, true, kDjX11Setup, 2},
    // The top stays far enough below the int32 limit for the band and a step.
    {"Hamlib", 0, 1, 2000000000, 1, 0.000001, 2000.0, false, nullptr, 0},
};

}  // namespace

const RadioTypeInfo& RadioTypeOf(int32_t RadioType)
{
    if (RadioType == 0)
        return kTypes[0];
    return RadioType == kHamlibRadioType ? kTypes[2] : kTypes[1];
}

std::size_t FormatFrequencyCommand(int32_t RadioType, int32_t fs, char* out)
{
    const char* format = RadioType == 0 ? "AL~RW_RXF%08d\r\n" : "AL~FW0%010d\r\n";
    const int n = std::snprintf(out, kMaxCommandLength, format, static_cast<int>(fs));
    return n < 0 ? 0 : static_cast<std::size_t>(n);
}

}  // namespace radio
