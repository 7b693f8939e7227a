// Per-block cost of the receiver chain. Prints, besides Google Benchmark's
// own columns, "xRT": how many times faster than real time (50 ms / block).
#include "dsp/SignalChain.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

// A few seconds of a busy band: carriers with AM, FM and SSB-like content
// plus noise, as a receiver sees it.
std::vector<int16_t> MakeBand(int blocks)
{
    std::vector<int16_t> frames(static_cast<size_t>(blocks) * dsp::kBlockSamples);
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0.0, 300.0);
    const double tau = 2.0 * M_PI;
    for (size_t n = 0; n < frames.size() / 2; ++n) {
        const double t = n / 48000.0;
        double re = noise(rng), im = noise(rng);
        const double am = 4000.0 * (1.0 + 0.6 * std::sin(tau * 700.0 * t));
        re += am * std::cos(tau * -12000.0 * t);
        im += am * std::sin(tau * -12000.0 * t);
        const double fmPhase = tau * 5000.0 * t + 3.0 * std::sin(tau * 400.0 * t);
        re += 3000.0 * std::cos(fmPhase);
        im += 3000.0 * std::sin(fmPhase);
        re += 2000.0 * std::cos(tau * 9100.0 * t);
        im += 2000.0 * std::sin(tau * 9100.0 * t);
        frames[2 * n] = static_cast<int16_t>(std::lround(std::clamp(im, -32767.0, 32767.0)));
        frames[2 * n + 1] = static_cast<int16_t>(std::lround(std::clamp(re, -32767.0, 32767.0)));
    }
    return frames;
}

void RunChain(benchmark::State& state, bool everything)
{
    static const std::vector<int16_t> band = MakeBand(40);
    dsp::ChainControls c;
    c.RxMode = dsp::FromCode<dsp::Mode>(static_cast<int32_t>(state.range(0)));
    c.GainPos = 0;
    c.SqlPos = -150;
    if (c.RxMode == dsp::Mode::Fm)
        c.IFBW = dsp::IfChoice::Khz12;
    if (dsp::IsSideband(c.RxMode))
        c.IFBW = dsp::IfChoice::Khz3;
    dsp::SignalChain chain(c);
    chain.Setup();
    if (everything) {
        chain.SetCanceller(true);
        chain.SetNoiseReduction(true);
        c.DSP3D = true;
        c.SpectrumVisible = true;
        c.Recording = true;
    }
    size_t block = 0;
    const size_t blocks = band.size() / dsp::kBlockSamples;
    for (auto _ : state) {
        chain.ProcessBlock(band.data() + (block % blocks) * dsp::kBlockSamples);
        benchmark::DoNotOptimize(chain.Outputs().OutFrames.data());
        ++block;
    }
    state.counters["xRT"] = benchmark::Counter(0.05 * static_cast<double>(state.iterations()),
                                               benchmark::Counter::kIsRate);
    state.SetLabel(dsp::kModeNames[static_cast<size_t>(dsp::Code(c.RxMode))]);
}

void BM_ChainPlain(benchmark::State& state) { RunChain(state, false); }
void BM_ChainAllOn(benchmark::State& state) { RunChain(state, true); }

// The two halves of the pipeline tesmar-demod runs on two threads, each
// timed alone: the slower one bounds the pipeline. Range 1 is the switches
// (0 plain, 1 everything on), range 2 the half (0 front, 1 back).
void BM_ChainHalf(benchmark::State& state)
{
    static const std::vector<int16_t> band = MakeBand(40);
    dsp::ChainControls c;
    c.RxMode = dsp::FromCode<dsp::Mode>(static_cast<int32_t>(state.range(0)));
    c.GainPos = 0;
    if (c.RxMode == dsp::Mode::Fm)
        c.IFBW = dsp::IfChoice::Khz12;
    if (dsp::IsSideband(c.RxMode))
        c.IFBW = dsp::IfChoice::Khz3;
    dsp::SignalChain chain(c);
    chain.Setup();
    if (state.range(1) != 0) {
        chain.SetCanceller(true);
        chain.SetNoiseReduction(true);
        c.DSP3D = true;
        c.SpectrumVisible = true;
        c.Recording = true;
    }
    const bool back = state.range(2) != 0;
    auto hand = std::make_unique<dsp::ChainHandOver[]>(2);
    auto out = std::make_unique<dsp::BlockOutputs>();
    size_t block = 0;
    const size_t blocks = band.size() / dsp::kBlockSamples;
    // The back half goes on from hand-overs the front half filled once.
    for (int k = 0; k < 2; ++k)
        chain.ProcessFront(band.data() + k * dsp::kBlockSamples, hand[k]);
    for (auto _ : state) {
        if (back)
            chain.ProcessBack(hand[block % 2], *out);
        else
            chain.ProcessFront(band.data() + (block % blocks) * dsp::kBlockSamples,
                               hand[block % 2]);
        benchmark::DoNotOptimize(out->OutFrames.data());
        ++block;
    }
    state.counters["xRT"] = benchmark::Counter(0.05 * static_cast<double>(state.iterations()),
                                               benchmark::Counter::kIsRate);
    state.SetLabel(std::string(dsp::kModeNames[static_cast<size_t>(dsp::Code(c.RxMode))]) +
                   (back ? " back" : " front"));
}

// The spectrum analysis alone, on a block of the same band.
void BM_Spectrum(benchmark::State& state)
{
    static const std::vector<int16_t> band = MakeBand(1);
    static dsp::SpectrumAnalyzer analyzer;
    std::vector<double> i(dsp::kBlockFrames), q(dsp::kBlockFrames), out(dsp::kSpectrumSize);
    for (int n = 0; n < dsp::kBlockFrames; ++n) {
        i[n] = band[2 * n];
        q[n] = band[2 * n + 1];
    }
    for (auto _ : state) {
        analyzer.Analyze(i.data(), q.data(), out.data());
        benchmark::DoNotOptimize(out.data());
    }
}

}  // namespace

BENCHMARK(BM_Spectrum)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ChainPlain)->DenseRange(0, 4)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ChainAllOn)->DenseRange(0, 4)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ChainHalf)
    ->ArgsProduct({{0, 1, 2, 3, 4}, {0, 1}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
