// The scanner's work per block on the main thread: every channel inside the
// band checked from the block's spectrum (the floor's median, the power in
// each channel's pass band), for 200 channels in every mode. The spectra are
// the real chain's over band noise, so no channel is active and each block
// checks them all. Allocations per block are counted and must stay 0.

#include "AllocationCount.h"
#include "core/model/Scanner.h"
#include "dsp/SignalChain.h"

#include <benchmark/benchmark.h>

#include <array>
#include <random>
#include <vector>

namespace {

constexpr int kSpectra = 16;
constexpr int32_t kCenter = 5012000;

std::vector<std::array<double, dsp::kSpectrumSize>> NoiseSpectra()
{
    dsp::ChainControls c;
    c.ScanRunning = true;
    dsp::SignalChain chain(c);
    chain.Setup();
    std::mt19937 rng(1);
    std::normal_distribution<double> noise(0.0, 300.0);
    std::vector<int16_t> block(dsp::kBlockSamples);
    std::vector<std::array<double, dsp::kSpectrumSize>> spectra(kSpectra);
    for (auto& spectrum : spectra) {
        for (int16_t& s : block)
            s = static_cast<int16_t>(noise(rng));
        chain.ProcessBlock(block.data());
        spectrum = chain.Outputs().SpectrumDb;
    }
    return spectra;
}

void BM_ScanChecksTheBand(benchmark::State& state)
{
    const auto spectra = NoiseSpectra();
    core::ScanHooks hooks;
    hooks.freqCenter = [] { return kCenter; };
    hooks.tuneInBand = [](const core::ScanChannel&) {};
    hooks.retuneRadio = [](int32_t) { return core::ScanHooks::Retune::Refused; };
    hooks.radioAvailable = [] { return true; };
    core::Scanner scanner(hooks);
    std::vector<core::ScanChannel> channels;
    const int count = static_cast<int>(state.range(0));
    for (int i = 0; i < count; ++i)
        channels.push_back(
            {kCenter - 16000 + i * 32000 / count, "", dsp::FromCode<dsp::Mode>(i % 5), false});
    if (!scanner.Start(core::ScanOptions{}, channels).empty()) {
        state.SkipWithError("the scan did not start");
        return;
    }
    std::size_t k = 0;
    scanner.OnBlock({spectra[0].data(), false});  // the band's channels found once
    const long before = bench::Allocations();
    for (auto _ : state) {
        scanner.OnBlock({spectra[k].data(), false});
        k = (k + 1) % spectra.size();
    }
    const long allocations = bench::Allocations() - before;
    if (scanner.Phase() != core::ScanPhase::Searching)
        state.SkipWithError("noise was taken for a station");
    state.counters["allocations_per_block"] =
        benchmark::Counter(double(allocations) / double(state.iterations()));
}
BENCHMARK(BM_ScanChecksTheBand)->Arg(20)->Arg(200)->Unit(benchmark::kMicrosecond);

// What a scan adds to the chain while the spectrum window is hidden: the
// analysis the window would otherwise pay for.
void BM_ChainWithScanAnalysis(benchmark::State& state)
{
    dsp::ChainControls c;
    c.ScanRunning = state.range(0) != 0;
    dsp::SignalChain chain(c);
    chain.Setup();
    std::mt19937 rng(2);
    std::normal_distribution<double> noise(0.0, 300.0);
    std::vector<int16_t> block(dsp::kBlockSamples);
    for (int16_t& s : block)
        s = static_cast<int16_t>(noise(rng));
    for (auto _ : state)
        chain.ProcessBlock(block.data());
}
BENCHMARK(BM_ChainWithScanAnalysis)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
