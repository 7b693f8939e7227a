// A day of receiving in a few minutes: 24 hours of blocks (1.728 million)
// through the chain with every switch on (AN, NR, 3D, spectrum, recorder),
// over a busy band, strong carriers, full-scale noise and digital silence,
// each hour in another mode and at another input gain. It checks what a long
// run would show and a short test would not:
//   - no non-finite value in any output (level trace, spectrum), and the
//     receiver never silent for good: the audio comes back after every
//     stretch of silence;
//   - nothing allocated and memory flat;
//   - time per block flat: no hour slower than the first, and digital
//     silence (where filter states decay towards the subnormal range) no
//     slower than signal.
// Not part of the test suite (it runs for minutes); run it by hand:
//   build/bin/tesmar-bench-soak            (TESMAR_SOAK_HOURS=1 for a short run)
#include "bench/AllocationCount.h"
#include "dsp/SignalChain.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

// This thread's processor time: the machine may be busy with other work.
double CpuMicroseconds()
{
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e6 + t.tv_nsec * 1e-3;
}

long ResidentKiB()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * 4;
}

constexpr int kBlocksPerHour = 20 * 3600;
constexpr int kBlocksPerMinute = 20 * 60;
constexpr int kPoolBlocks = 200;  // 10 s of each kind of input, replayed

using Blocks = std::vector<int16_t>;

int16_t Clamp(double v)
{
    return static_cast<int16_t>(std::lround(std::clamp(v, -32767.0, 32767.0)));
}

// kPoolBlocks blocks of frames from a function of the sample index giving I and Q.
template <class F>
Blocks MakePool(F f)
{
    Blocks b(static_cast<size_t>(kPoolBlocks) * dsp::kBlockSamples);
    for (size_t n = 0; n < b.size() / 2; ++n) {
        double i = 0, q = 0;
        f(static_cast<long>(n), i, q);
        b[2 * n] = Clamp(i);
        b[2 * n + 1] = Clamp(q);
    }
    return b;
}

struct Inputs {
    Blocks band, carrier, loudNoise, silence;
    Inputs()
    {
        constexpr double tau = 6.283185307179586;
        std::mt19937 rng(11);
        std::normal_distribution<double> gauss(0.0, 1.0);
        // Stations at the offsets each mode listens to (see Tune below),
        // keyed and faded, over noise.
        band = MakePool([&](long n, double& i, double& q) {
            const double t = n / 48000.0;
            auto add = [&](double amp, double phase) {
                i += amp * std::sin(phase);
                q += amp * std::cos(phase);
            };
            add(4000.0 * (1.0 + 0.6 * std::sin(tau * 700.0 * t)), tau * 5000.0 * t);
            add(3000.0, tau * -10000.0 * t + 3.0 * std::sin(tau * 400.0 * t));
            if (std::fmod(t, 0.3) < 0.18)
                add(1500.0, tau * -3000.0 * t);
            add(900.0 * (0.6 + 0.4 * std::sin(tau * 3.0 * t)), tau * 13000.0 * t);
            add(900.0, tau * -17000.0 * t);
            i += 300.0 * gauss(rng);
            q += 300.0 * gauss(rng);
        });
        // The demo recording: a strong AM carrier, where the enhancer diverges.
        carrier = MakePool([&](long n, double& i, double& q) {
            const double t = n / 48000.0;
            const double env = 8000.0 * (1.0 + 0.5 * std::cos(tau * 1000.0 * t));
            for (const double f : {5000.0, -10000.0, -3000.0, 12000.0, -16000.0}) {
                i += 0.2 * env * std::sin(tau * f * t);
                q += 0.2 * env * std::cos(tau * f * t);
            }
        });
        loudNoise = MakePool([&](long, double& i, double& q) {
            i = 20000.0 * gauss(rng);
            q = 20000.0 * gauss(rng);
        });
        silence.assign(static_cast<size_t>(kPoolBlocks) * dsp::kBlockSamples, 0);
    }
};

// Each hour: 50 minutes of band, 2 of digital silence, 2 of full-scale noise,
// 6 of strong carriers.
enum class Kind { Band, Silence, LoudNoise, Carrier };
Kind KindAt(long block)
{
    const long minute = (block % kBlocksPerHour) / kBlocksPerMinute;
    return minute < 50   ? Kind::Band
           : minute < 52 ? Kind::Silence
           : minute < 54 ? Kind::LoudNoise
                         : Kind::Carrier;
}

// The mode of the hour with the filters its button selects, and an input gain.
void Tune(dsp::SignalChain& chain, dsp::ChainControls& c, int hour)
{
    const int mode = hour % 5;
    const int tune[5] = {5000, -10000, -3000, -16000, 12000};
    const dsp::IfChoice ifbw[5] = {dsp::IfChoice::Khz6, dsp::IfChoice::Khz12, dsp::IfChoice::Khz0_5,
                                   dsp::IfChoice::Khz3, dsp::IfChoice::Khz3};
    const int gains[4] = {0, 20, -20, 40};
    c.RxMode = dsp::FromCode<dsp::Mode>(mode);
    c.FreqTune = tune[mode];
    c.IFBW = ifbw[mode];
    c.AFLPF = c.RxMode == dsp::Mode::Fm ? dsp::AfChoice::Khz6 : dsp::AfChoice::Khz3;
    c.SSBShift = 0;
    c.InGainPos = gains[(hour / 5) % 4];
    chain.DesignIFFilter();
    chain.DesignAFFilter();
    chain.SetInputGain();
}

void BM_Soak(benchmark::State& state)
{
    const char* env = std::getenv("TESMAR_SOAK_HOURS");
    const int hours = env ? std::max(1, std::atoi(env)) : static_cast<int>(state.range(0));
    static const Inputs inputs;
    dsp::ChainControls c;
    c.GainPos = 0;
    c.SqlPos = -150;  // open: silence then comes from the chain alone
    c.AGC = dsp::AgcSpeed::Fast;
    c.DSP3D = true;
    c.SpectrumVisible = true;
    c.Recording = true;
    auto chain = std::make_unique<dsp::SignalChain>(c);
    chain->Setup();
    chain->SetCanceller(true);
    chain->SetNoiseReduction(true);

    long nonFinite = 0, allocations = 0, longestSilence = 0, silentRun = 0, blocks = 0;
    std::vector<double> hourUs(static_cast<size_t>(hours), 0.0);
    double silenceUs = 0.0, signalUs = 0.0;
    long silenceBlocks = 0, signalBlocks = 0;
    long rssStart = 0, rssMax = 0;
    for (auto _ : state) {
        for (int hour = 0; hour < hours; ++hour) {
            Tune(*chain, c, hour);
            // Once every mode has run, every page of code and table is in.
            if (hour == std::min(5, hours - 1))
                rssStart = ResidentKiB();
            const long allocBefore = bench::Allocations();
            for (long k = 0; k < kBlocksPerHour; ++k, ++blocks) {
                const Kind kind = KindAt(k);
                const Blocks& pool = kind == Kind::Band        ? inputs.band
                                     : kind == Kind::Silence   ? inputs.silence
                                     : kind == Kind::LoudNoise ? inputs.loudNoise
                                                               : inputs.carrier;
                const int16_t* in = pool.data() + (k % kPoolBlocks) * dsp::kBlockSamples;
                const double t0 = CpuMicroseconds();
                chain->ProcessBlock(in);
                const double us = CpuMicroseconds() - t0;
                hourUs[static_cast<size_t>(hour)] += us;
                (kind == Kind::Silence ? silenceUs : signalUs) += us;
                ++(kind == Kind::Silence ? silenceBlocks : signalBlocks);

                const dsp::BlockOutputs& o = chain->Outputs();
                for (double v : o.AGCTrace)
                    nonFinite += !std::isfinite(v);
                for (double v : o.SpectrumDb)
                    nonFinite += !std::isfinite(v);
                // Silent for good would show as silence that outlasts the
                // input's silence: count the longest silent stretch on signal.
                const bool silent = std::all_of(o.OutFrames.begin(), o.OutFrames.end(),
                                                [](int16_t v) { return v == 0; });
                silentRun = silent && kind != Kind::Silence ? silentRun + 1 : 0;
                longestSilence = std::max(longestSilence, silentRun);
            }
            if (hour > 0)
                allocations += bench::Allocations() - allocBefore;
            if (rssStart != 0)
                rssMax = std::max(rssMax, ResidentKiB());
            hourUs[static_cast<size_t>(hour)] /= kBlocksPerHour;
            std::fprintf(stderr, "hour %2d (mode %d, input gain %+d dB): %.1f us a block\n", hour,
                         dsp::Code(c.RxMode), c.InGainPos, hourUs[static_cast<size_t>(hour)]);
        }
    }
    const auto [fastest, slowest] = std::minmax_element(hourUs.begin(), hourUs.end());
    state.counters["blocks"] = static_cast<double>(blocks);
    state.counters["nonfinite"] = static_cast<double>(nonFinite);
    state.counters["allocs"] = static_cast<double>(allocations);
    state.counters["rss_kib"] = static_cast<double>(rssStart);
    state.counters["rss_growth_kib"] = static_cast<double>(rssMax - rssStart);
    state.counters["us_first_hour"] = hourUs.front();
    state.counters["us_last_hour"] = hourUs.back();
    state.counters["us_fastest_hour"] = *fastest;
    state.counters["us_slowest_hour"] = *slowest;
    state.counters["us_silence"] = silenceBlocks ? silenceUs / silenceBlocks : 0.0;
    state.counters["us_signal"] = signalBlocks ? signalUs / signalBlocks : 0.0;
    state.counters["longest_silence_blocks"] = static_cast<double>(longestSilence);
    if (nonFinite != 0)
        state.SkipWithError("a non-finite value left the chain");
    else if (allocations != 0)
        state.SkipWithError("the chain allocated while running");
}

}  // namespace

BENCHMARK(BM_Soak)->Arg(24)->Iterations(1)->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
