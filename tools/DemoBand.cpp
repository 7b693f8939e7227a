#include "tools/DemoBand.h"

#include "recording/RawIqFile.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <stdexcept>

namespace tools {

namespace {

constexpr int64_t kRate = 48000;
constexpr double kTwoPi = 2.0 * std::numbers::pi;

// Peak amplitudes in sample units, as a radio's IQ output brings in a band of
// ordinary stations: each reads about S7 to S9 on the meter, the band noise
// about S3, and none drives the audio over at mid volume. The AM carrier is
// the strongest line of the spectrum, the FM signal's strongest sideband
// (J1 of its index 2.5, half its level) some 5 dB below it.
constexpr double kAmCarrier = 200.0;
constexpr double kAmDepth = 0.8;
constexpr double kCwLevel = 175.0;
constexpr double kVoiceLevel = 150.0;
constexpr double kFmLevel = 220.0;
constexpr double kNoiseRms = 6.0;

// The phase of f Hz at sample n, reduced exactly in integers so that the
// carriers stay where they are for the whole file.
double Phase(int64_t f, int64_t n)
{
    int64_t r = (f * n) % kRate;
    if (r < 0)
        r += kRate;
    return kTwoPi * static_cast<double>(r) / kRate;
}

double Seconds(int64_t samples) { return static_cast<double>(samples) / kRate; }

// --- music: an arpeggio over C, Am, F, G with a bass on every beat, 120 beats
// per minute, plucked notes with soft edges.
struct Chord {
    double notes[4];
    double bass;
};
constexpr Chord kChords[4] = {
    {{261.63, 329.63, 392.00, 523.25}, 130.81},
    {{220.00, 261.63, 329.63, 440.00}, 110.00},
    {{174.61, 220.00, 261.63, 349.23}, 174.61},
    {{196.00, 246.94, 293.66, 392.00}, 196.00},
};
constexpr int kArpeggio[8] = {0, 1, 2, 3, 2, 1, 0, 2};
constexpr int64_t kEighth = kRate / 4;
constexpr int64_t kEdge = kRate / 200;  // 5 ms

// Rises over the first 5 ms, decays with tau, and closes over the last 5 ms
// of a note of `length` samples.
double Pluck(int64_t t, int64_t length, double tau)
{
    double env = std::exp(-Seconds(t) / tau);
    if (t < kEdge)
        env *= double(t) / kEdge;
    if (length - t < kEdge)
        env *= double(length - t) / kEdge;
    return env;
}

// --- Morse at 18 words per minute, with 5 ms raised-cosine edges.
constexpr const char* kMorseText = "CQ CQ DE TESMAR TESMAR K";
constexpr int64_t kUnit = kRate * 12 / 180;  // 1.2 s / 18
constexpr int kKeyRamp = static_cast<int>(kEdge);

const char* MorseOf(char c)
{
    switch (c) {
    case 'A': return ".-";
    case 'C': return "-.-.";
    case 'D': return "-..";
    case 'E': return ".";
    case 'K': return "-.-";
    case 'M': return "--";
    case 'Q': return "--.-";
    case 'R': return ".-.";
    case 'S': return "...";
    case 'T': return "-";
    default: return "";
    }
}

// --- the voice: vowels by their first three formants (Hz).
constexpr double kVowels[6][3] = {
    {730, 1090, 2440}, {530, 1840, 2480}, {270, 2290, 3010},
    {570, 840, 2410},  {300, 870, 2240},  {660, 1720, 2410},
};
constexpr double kFormantWidth[3] = {90, 110, 170};
constexpr double kFormantWeight[3] = {1.0, 0.6, 0.25};
constexpr int64_t kHarmonicUpdate = kRate / 1000;  // the spectrum moves every 1 ms

int16_t ToSample(double v)
{
    return static_cast<int16_t>(std::lround(std::clamp(v, -32767.0, 32767.0)));
}

}  // namespace

DemoBand::DemoBand(uint32_t seed)
    : rng_(seed)
{
    auto add = [this](bool down, int units) {
        for (int i = 0; i < units; ++i) {
            if (keyUnitCount_ == int(keyUnits_.size()))
                throw std::logic_error("Morse text too long");
            keyUnits_[std::size_t(keyUnitCount_++)] = down;
        }
    };
    for (const char* c = kMorseText; *c != '\0'; ++c) {
        if (*c == ' ') {
            add(false, 4);  // with the letter's 3: a word gap of 7
            continue;
        }
        for (const char* s = MorseOf(*c); *s != '\0'; ++s) {
            add(true, *s == '-' ? 3 : 1);
            add(false, 1);
        }
        add(false, 2);
    }
    add(false, 14);  // a pause before the call comes again
    formants_ = {kVowels[0][0], kVowels[0][1], kVowels[0][2]};
    NextSyllable();
}

double DemoBand::Music()
{
    const int64_t bar = n_ / (8 * kEighth);
    const Chord& chord = kChords[bar % 4];
    const int64_t eighth = n_ / kEighth;
    const int64_t inNote = n_ % kEighth;
    double f = chord.notes[kArpeggio[eighth % 8]];
    // Every other time round, the second half of the bar goes an octave up.
    if ((bar / 4) % 2 == 1 && eighth % 8 >= 4)
        f *= 2.0;
    const double t = Seconds(inNote);
    const double melody = Pluck(inNote, kEighth, 0.25) *
                          (std::sin(kTwoPi * f * t) + 0.5 * std::sin(2 * kTwoPi * f * t) +
                           0.25 * std::sin(3 * kTwoPi * f * t)) /
                          1.75;
    const int64_t inBeat = n_ % (2 * kEighth);
    const double tb = Seconds(inBeat);
    const double bass =
        Pluck(inBeat, 2 * kEighth, 0.5) *
        (std::sin(kTwoPi * chord.bass * tb) + 0.3 * std::sin(2 * kTwoPi * chord.bass * tb)) / 1.3;
    return 0.55 * melody + 0.4 * bass;
}

double DemoBand::Keying()
{
    const bool down = keyUnits_[std::size_t((n_ / kUnit) % keyUnitCount_)];
    keyRamp_ = down ? std::min(keyRamp_ + 1, kKeyRamp) : std::max(keyRamp_ - 1, 0);
    return 0.5 - 0.5 * std::cos(std::numbers::pi * keyRamp_ / kKeyRamp);
}

void DemoBand::NextSyllable()
{
    std::uniform_real_distribution<double> length(0.12, 0.26);
    std::uniform_int_distribution<int> vowel(0, 5);
    lastFormants_ = formants_;
    const int v = vowel(rng_);
    formants_ = {kVowels[v][0], kVowels[v][1], kVowels[v][2]};
    syllableStart_ = n_;
    syllableLength_ = static_cast<int64_t>(length(rng_) * kRate);
    if (--syllablesLeftInPhrase_ <= 0) {
        // The end of a sentence: a breath.
        syllablesLeftInPhrase_ = std::uniform_int_distribution<int>(8, 16)(rng_);
        pauseLength_ =
            static_cast<int64_t>(std::uniform_real_distribution<double>(0.7, 1.3)(rng_) * kRate);
    } else if (std::uniform_int_distribution<int>(0, 2)(rng_) == 0) {
        // The end of a word.
        pauseLength_ =
            static_cast<int64_t>(std::uniform_real_distribution<double>(0.06, 0.14)(rng_) * kRate);
    } else {
        pauseLength_ = 0;
    }
}

void DemoBand::UpdateHarmonics()
{
    const int64_t t = n_ - syllableStart_;
    // The vowel glides from the last one over the first 60 ms.
    const double glide = std::min(1.0, Seconds(t) / 0.06);
    double formants[3];
    for (int i = 0; i < 3; ++i)
        formants[i] = lastFormants_[i] + (formants_[i] - lastFormants_[i]) * glide;
    harmonicCount_ = std::min(kMaxHarmonics, static_cast<int>(kDemoVoiceTop / f0_));
    double sum = 0;
    for (int k = 1; k <= harmonicCount_; ++k) {
        const double f = k * f0_;
        double gain = 0;
        for (int i = 0; i < 3; ++i) {
            const double d = (f - formants[i]) / kFormantWidth[i];
            gain += kFormantWeight[i] / (1.0 + d * d);
        }
        // A radio's SSB filter passes little below 300 Hz.
        gain *= f * f / (f * f + 300.0 * 300.0);
        harmonics_[std::size_t(k - 1)] = gain;
        sum += gain;
    }
    for (int k = 0; k < harmonicCount_; ++k)
        harmonics_[std::size_t(k)] /= sum;
}

DemoBand::Complex DemoBand::Voice()
{
    int64_t t = n_ - syllableStart_;
    if (t >= syllableLength_ + pauseLength_) {
        NextSyllable();
        t = 0;
    }
    // Intonation: a slow swing, and each syllable falling a little.
    f0_ = 118.0 + 18.0 * std::sin(kTwoPi * 0.45 * Seconds(n_)) +
          10.0 * (1.0 - double(std::min(t, syllableLength_)) / double(syllableLength_));
    if (t % kHarmonicUpdate == 0)
        UpdateHarmonics();
    pitchPhase_ += kTwoPi * f0_ / kRate;
    if (pitchPhase_ >= kTwoPi)
        pitchPhase_ -= kTwoPi;
    if (t >= syllableLength_)
        return {};

    const int64_t attack = kRate * 15 / 1000, release = kRate * 30 / 1000;
    double env = 1.0;
    if (t < attack)
        env = 0.5 - 0.5 * std::cos(std::numbers::pi * double(t) / attack);
    else if (syllableLength_ - t < release)
        env = 0.5 - 0.5 * std::cos(std::numbers::pi * double(syllableLength_ - t) / release);

    // The harmonics k * f0 as powers of one rotation: a pulse-like voice.
    const double pr = std::cos(pitchPhase_), pi = std::sin(pitchPhase_);
    double ar = pr, ai = pi;
    Complex sum;
    for (int k = 0; k < harmonicCount_; ++k) {
        const double a = harmonics_[std::size_t(k)];
        sum.re += a * ar;
        sum.im += a * ai;
        const double nr = ar * pr - ai * pi;
        ai = ar * pi + ai * pr;
        ar = nr;
    }
    return {env * sum.re, env * sum.im};
}

void DemoBand::NextBlock(int16_t* frames)
{
    for (int k = 0; k < recording::kRawBlockFrames; ++k, ++n_) {
        // The complex signal Q + jI; a component at +f Hz is heard at
        // FreqTune = f.
        double re = 0, im = 0;
        auto add = [&](double level, double phase) {
            re += level * std::cos(phase);
            im += level * std::sin(phase);
        };
        add(kAmCarrier * (1.0 + kAmDepth * Music()), Phase(kDemoAmOffset, n_));
        add(kCwLevel * Keying(), Phase(kDemoCwOffset, n_));
        const Complex voice = Voice();
        const double carrier = Phase(kDemoUsbOffset, n_);
        const double cr = std::cos(carrier), ci = std::sin(carrier);
        re += kVoiceLevel * (voice.re * cr - voice.im * ci);
        im += kVoiceLevel * (voice.re * ci + voice.im * cr);
        add(kFmLevel, Phase(kDemoFmOffset, n_) + double(kDemoFmDeviation) / kDemoFmTone *
                                                     std::sin(Phase(kDemoFmTone, n_)));
        re += kNoiseRms * gauss_(rng_);
        im += kNoiseRms * gauss_(rng_);
        frames[2 * k] = ToSample(im);
        frames[2 * k + 1] = ToSample(re);
    }
}

}  // namespace tools
