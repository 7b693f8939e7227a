#pragma once

#include "recording/FileStamp.h"
#include "tools/ImperfectCard.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace tools {

// A station of a test band that is on the air in stretches of blocks, so
// that a test knows in which block each one starts and ends.
struct IqStation {
    int32_t offset = 0;  // Hz from the centre: the carrier, or an SSB's suppressed carrier
    int32_t mode = 0;    // RxMode code: AM (tone at --depth), FM (1 kHz tone, 2.5 kHz
                         // deviation), CW (a plain carrier), LSB and USB (a tone 1 kHz off)
    std::vector<std::pair<int64_t, int64_t>> on;  // blocks [from, to) on the air
};

// A test signal: a carrier at `offset` Hz from the centre, amplitude-modulated
// by a tone, with optional noise, as a radio in IQ mode would deliver it.
struct IqGenOptions {
    std::filesystem::path output;
    int64_t blocks = 100;         // 5 s
    int32_t center = 5012000;     // FreqCenter written in the header
    int32_t offset = -12000;      // carrier, Hz from the centre (a first run listens there)
    int32_t tone = 1000;          // modulating tone, Hz; 0 for a plain carrier
    double depth = 0.5;           // modulation depth, 0..1
    double amplitude = 8000.0;    // carrier peak, sample units
    double noise = 0.0;           // RMS of added Gaussian noise on I and Q, sample units
    uint32_t seed = 1;            // noise seed, so files are reproducible
    recording::LocalStamp start;  // time of day in the header
    bool startGiven = false;      // false: the time of the run
    bool endMarker = true;
    // Stations in place of the one carrier, each at --amplitude (--offset,
    // --tone and --depth do not apply but --depth for AM).
    std::vector<IqStation> stations;
    bool demo = false;  // the demo band (tools/DemoBand.h) instead of one carrier
    CardFaults card;    // an imperfect card's faults, on everything written
    bool help = false;
};

bool ParseIqGenArgs(const std::vector<std::string>& args, IqGenOptions& options,
                    std::string* error);

// One block of frames (I on the first channel, Q on the second) for block
// number `index` of the signal, noise and the card's faults left out. The complex signal Q + jI carries the carrier
// at +offset Hz.
void GenerateIqBlock(const IqGenOptions& options, int64_t index, int16_t* frames);

// Writes the whole file; it appears only when complete.
bool WriteIqFile(const IqGenOptions& options, std::string* error);

extern const char* const kIqGenUsage;

}  // namespace tools
