#pragma once

// Helpers shared by the signal chain's tests: printed-digit comparison,
// a deterministic random source and generated IQ input.

#include "dsp/SignalChain.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace dsptest {

// Half a unit of the last printed digit of `printed` (plain or e-notation).
inline double PrintedTolerance(const std::string& printed)
{
    std::string mant = printed;
    int exp10 = 0;
    if (auto e = printed.find_first_of("eE"); e != std::string::npos) {
        mant = printed.substr(0, e);
        exp10 = std::atoi(printed.c_str() + e + 1);
    }
    int decimals = 0;
    if (auto dot = mant.find('.'); dot != std::string::npos)
        decimals = int(mant.size() - dot - 1);
    return 0.5 * std::pow(10.0, exp10 - decimals) * (1.0 + 1e-9);
}

// The value rounds to the printed digits.
inline ::testing::AssertionResult MatchesPrinted(double value, const std::string& printed)
{
    const double want = std::strtod(printed.c_str(), nullptr);
    const double tol = PrintedTolerance(printed);
    if (std::fabs(value - want) <= tol)
        return ::testing::AssertionSuccess();
    char buf[160];
    std::snprintf(buf, sizeof buf, "%.12g does not round to %s (tolerance %.3g)", value,
                  printed.c_str(), tol);
    return ::testing::AssertionFailure() << buf;
}

// A biquad section {a1, a2, b0, b1, b2} against its printed coefficients.
inline void ExpectSection(const double* s, const char* a1, const char* a2, const char* b0,
                          const char* b1, const char* b2)
{
    EXPECT_TRUE(MatchesPrinted(s[0], a1));
    EXPECT_TRUE(MatchesPrinted(s[1], a2));
    EXPECT_TRUE(MatchesPrinted(s[2], b0));
    EXPECT_TRUE(MatchesPrinted(s[3], b1));
    EXPECT_TRUE(MatchesPrinted(s[4], b2));
}

// SplitMix64: the same numbers on every platform and library.
class Rng {
public:
    explicit Rng(uint64_t seed)
        : s_(seed)
    {}
    uint64_t Next()
    {
        uint64_t z = (s_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double Uniform() { return (Next() >> 11) * (1.0 / 9007199254740992.0); }  // [0, 1)
    double Gauss()
    {
        double u1 = Uniform();
        double u2 = Uniform();
        if (u1 < 1e-300)
            u1 = 1e-300;
        return std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
    }

private:
    uint64_t s_;
};

inline int16_t ClampSample(double v)
{
    if (v > 32767.0)
        return 32767;
    if (v < -32767.0)
        return -32767;
    return static_cast<int16_t>(std::lround(v));
}

// One block of frames: channel 0 carries I, channel 1 carries Q.
using Block = std::vector<int16_t>;

inline Block MakeBlock() { return Block(4800, 0); }

// A complex tone Q + jI = amp * e^(j 2 pi f n / 48000), continuing from sample `start`.
inline void AddTone(Block& b, long start, double f, double amp, double phase0 = 0.0)
{
    for (int n = 0; n < 2400; ++n) {
        const double ph = 6.283185307179586 * f * double(start + n) / 48000.0 + phase0;
        const double i = b[2 * n] + amp * std::sin(ph);
        const double q = b[2 * n + 1] + amp * std::cos(ph);
        b[2 * n] = ClampSample(i);
        b[2 * n + 1] = ClampSample(q);
    }
}

// The demo recording's signal: a carrier of amplitude `amp` at -12 kHz (where
// the receiver listens by default), amplitude-modulated 50 % by 1 kHz.
inline Block AmCarrierBlock(long start, double amp)
{
    Block b = MakeBlock();
    for (int n = 0; n < 2400; ++n) {
        const double t = double(start + n) / 48000.0;
        const double env = amp * (1.0 + 0.5 * std::cos(6.283185307179586 * 1000.0 * t));
        const double ph = 6.283185307179586 * -12000.0 * t;
        b[2 * n] = ClampSample(env * std::sin(ph));
        b[2 * n + 1] = ClampSample(env * std::cos(ph));
    }
    return b;
}

inline double Rms(const int16_t* frames, int channel, int count = 2400)
{
    double s = 0;
    for (int n = 0; n < count; ++n)
        s += double(frames[2 * n + channel]) * frames[2 * n + channel];
    return std::sqrt(s / count);
}

// Power of one channel at frequency f (Goertzel-like correlation), per sample.
inline double ToneAmplitude(const int16_t* frames, int channel, double f, int count = 2400)
{
    double re = 0, im = 0;
    for (int n = 0; n < count; ++n) {
        const double ph = 6.283185307179586 * f * n / 48000.0;
        re += frames[2 * n + channel] * std::cos(ph);
        im += frames[2 * n + channel] * std::sin(ph);
    }
    return 2.0 * std::sqrt(re * re + im * im) / count;
}

inline const double kTwoPi = 6.283185307179586;

// A crowded band: an AM station at +5 kHz, an FM station at -10 kHz, USB
// speech-like tones above +12 kHz, LSB tones below -16 kHz, a keyed CW
// carrier at -3 kHz, all over white noise. Stations come and go so that the
// squelch and the AGC have work to do.
class Band {
public:
    explicit Band(uint64_t seed)
        : rng_(seed)
    {}

    dsptest::Block Next()
    {
        dsptest::Block b(4800);
        const bool amOn = block_ % 40 < 20;
        const bool fmOn = block_ % 30 < 22;
        const bool cwOn = block_ % 5 < 3;
        for (int n = 0; n < 2400; ++n) {
            const double t = double(sample_ + n) / 48000.0;
            double i = 0, q = 0;
            auto add = [&](double amp, double phase) {
                i += amp * std::sin(phase);
                q += amp * std::cos(phase);
            };
            if (amOn) {
                add(2500.0 * (1.0 + 0.5 * std::sin(kTwoPi * 400 * t) +
                              0.2 * std::sin(kTwoPi * 1130 * t)),
                    kTwoPi * 5000 * t);
            }
            if (fmOn)
                add(3000.0, kTwoPi * -10000 * t + 3.5 * std::sin(kTwoPi * 700 * t));
            const double syll = 0.6 + 0.4 * std::sin(kTwoPi * 3 * t);
            add(700.0 * syll, kTwoPi * 12600 * t);
            add(500.0 * syll, kTwoPi * 13400 * t + 1.0);
            add(800.0, kTwoPi * -16800 * t);
            add(500.0 * (1.0 - syll), kTwoPi * -17500 * t + 2.0);
            if (cwOn)
                add(1500.0, kTwoPi * -3000 * t);
            b[2 * n] = dsptest::ClampSample(i + noise_ * rng_.Gauss());
            b[2 * n + 1] = dsptest::ClampSample(q + noise_ * rng_.Gauss());
        }
        sample_ += 2400;
        ++block_;
        return b;
    }

    double noise_ = 40.0;

private:
    dsptest::Rng rng_;
    long sample_ = 0;
    long block_ = 0;
};

// A production chain set up from controls, run block by block.
struct Rx {
    dsp::ChainControls c;
    std::unique_ptr<dsp::SignalChain> chain;
    // The input corrections off unless `init` puts them on: the stages'
    // tests look at the chain behind them.
    explicit Rx(const std::function<void(dsp::ChainControls&)>& init)
    {
        c.IQCorr = 0;
        c.DCCorr = false;
        init(c);
        chain = std::make_unique<dsp::SignalChain>(c);
        chain->Setup();
    }
    const dsp::BlockOutputs& Run(const Block& b)
    {
        chain->ProcessBlock(b.data());
        return chain->Outputs();
    }
};

}  // namespace dsptest
