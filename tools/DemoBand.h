#pragma once

// The demo band: 48 kHz of IQ around the default centre frequency with
// something to hear in every mode, so that a newcomer without a radio can
// listen. tesmar-iqgen --demo writes it; the build places it beside the
// program as "RawData.dat".

#include <array>
#include <cstdint>
#include <random>

namespace tools {

// Where the stations sit, as offsets from the centre (FreqTune in the
// receiver) and as receive frequencies around the default centre.
inline constexpr int32_t kDemoCenter = 5012000;
inline constexpr int32_t kDemoAmOffset = -12000;  // 5.000000 MHz, AM: music
inline constexpr int32_t kDemoCwOffset = -4000;   // 5.008000 MHz, CW: Morse
inline constexpr int32_t kDemoUsbOffset = 3000;   // 5.015000 MHz, USB: a voice
inline constexpr int32_t kDemoFmOffset = 15000;   // 5.027000 MHz, FM: a 1 kHz tone
inline constexpr int32_t kDemoFmTone = 1000;
inline constexpr int32_t kDemoFmDeviation = 2500;
// The voice's harmonics stay within this many Hz above its suppressed carrier.
inline constexpr int32_t kDemoVoiceTop = 2800;
inline constexpr int32_t kDemoSeconds = 30;

// Generates the band block by block; the same seed gives the same band.
class DemoBand {
public:
    explicit DemoBand(uint32_t seed = 1);

    // The next 2400 frames, I then Q, as the radio would deliver them.
    void NextBlock(int16_t* frames);

private:
    struct Complex {
        double re = 0, im = 0;
    };
    double Music();
    double Keying();
    Complex Voice();
    void NextSyllable();
    void UpdateHarmonics();

    std::mt19937 rng_;
    std::normal_distribution<double> gauss_{0.0, 1.0};
    int64_t n_ = 0;  // samples generated so far

    // CW: the Morse text as units of key-down (true) and key-up, and the
    // soft edge of the keying.
    std::array<bool, 512> keyUnits_{};
    int keyUnitCount_ = 0;
    int keyRamp_ = 0;

    // The voice: syllable after syllable, with pauses between words.
    double pitchPhase_ = 0;       // the fundamental's phase, radians
    double f0_ = 120;             // Hz
    int64_t syllableStart_ = 0;   // sample
    int64_t syllableLength_ = 0;  // samples, voiced part
    int64_t pauseLength_ = 0;     // samples of silence after it
    std::array<double, 3> formants_{};
    std::array<double, 3> lastFormants_{};
    int syllablesLeftInPhrase_ = 0;
    static constexpr int kMaxHarmonics = 40;
    std::array<double, kMaxHarmonics> harmonics_{};  // amplitude of harmonic k + 1
    int harmonicCount_ = 0;
};

}  // namespace tools
