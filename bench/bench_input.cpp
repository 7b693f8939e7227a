// The input corrections per 50 ms block (2400 frames at 48 kHz): the DC
// removal, the automatic IQ balance learning on a band with stations and
// noise, and the manual balance. The budget is 0.5 % of one core, 250 us per
// block. "allocs" counts heap allocations per block (none allowed).
#include "AllocationCount.h"
#include "dsp/Constants.h"
#include "dsp/DcRemoval.h"
#include "dsp/IqBalance.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <random>
#include <span>
#include <vector>

namespace {

// A band of carriers over noise as an imperfect card gives it: I 1 dB louder
// and 3 degrees off, a DC offset on both.
struct Band {
    std::vector<double> i, q;
    explicit Band(int blocks)
    {
        const std::size_t n = static_cast<std::size_t>(blocks) * dsp::kBlockFrames;
        i.resize(n);
        q.resize(n);
        std::mt19937 random(3);
        std::normal_distribution<double> noise(0.0, 3.0);
        const double g = std::pow(10.0, 1.0 / 20.0), p = 3.0 * M_PI / 180.0;
        for (std::size_t s = 0; s < n; ++s) {
            double i0 = noise(random), q0 = noise(random);
            for (const double f : {-12000.0, 1500.0, 7000.0, 19000.0}) {
                i0 += 3000.0 * std::sin(2.0 * M_PI * f * s / 48000.0);
                q0 += 3000.0 * std::cos(2.0 * M_PI * f * s / 48000.0);
            }
            i[s] = g * (i0 * std::cos(p) + q0 * std::sin(p)) + 300.0;
            q[s] = q0 + 300.0;
        }
    }
};

constexpr int kBlocks = 64;

template <class Body>
void RunBlocks(benchmark::State& state, Body body)
{
    static const Band band(kBlocks);
    std::vector<double> i(dsp::kBlockFrames), q(dsp::kBlockFrames);
    long blocks = 0;
    long allocations = 0;
    for (auto _ : state) {
        const std::size_t at = static_cast<std::size_t>(blocks % kBlocks) * dsp::kBlockFrames;
        std::copy_n(band.i.begin() + at, dsp::kBlockFrames, i.begin());
        std::copy_n(band.q.begin() + at, dsp::kBlockFrames, q.begin());
        const long before = bench::Allocations();
        body(std::span<double>(i), std::span<double>(q));
        allocations += bench::Allocations() - before;
        benchmark::DoNotOptimize(i.data());
        ++blocks;
    }
    state.counters["allocs"] = static_cast<double>(allocations) / static_cast<double>(blocks);
}

void BM_DcRemoval(benchmark::State& state)
{
    dsp::DcRemoval dc;
    RunBlocks(state, [&](std::span<double> i, std::span<double> q) { dc.Process(i, q); });
}

void BM_IqBalance(benchmark::State& state)
{
    auto iq = std::make_unique<dsp::IqBalance>();
    RunBlocks(state, [&](std::span<double> i, std::span<double> q) { iq->Process(i, q); });
}

void BM_IqBalanceManual(benchmark::State& state)
{
    RunBlocks(state,
              [](std::span<double> i, std::span<double> q) { dsp::BalanceManually(i, q, 1, 3); });
}

}  // namespace

BENCHMARK(BM_DcRemoval)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IqBalance)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IqBalanceManual)->Unit(benchmark::kMicrosecond);
