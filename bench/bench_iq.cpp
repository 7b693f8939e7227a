// Other receivers' recordings: tesmar-demod's whole run on a 2.4 MS/s complex
// float recording and on a 96 kHz 16-bit WAV file, and the live player's work
// per 50 ms block (read, mix, resample) on the main thread, alone and with the
// chain. Prints "xRT" (times faster than real time) and, for the player,
// "worst_ms" (the slowest block seen).
#include "dsp/SignalChain.h"
#include "recording/IqPlayer.h"
#include "recording/IqTestFiles.h"
#include "tools/Demod.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>

namespace {

struct Recording {
    TempDir dir;
    std::filesystem::path file;
    double seconds = 0;
};

// Seconds of carriers and noise-like modulation at `rate`.
const Recording& Make(iqtest::Container container, recording::SampleType type, double rate,
                      double seconds)
{
    static std::map<std::pair<int, double>, std::unique_ptr<Recording>> made;
    auto& r = made[{static_cast<int>(container), rate}];
    if (!r) {
        r = std::make_unique<Recording>();
        r->seconds = seconds;
        const auto frames = static_cast<std::size_t>(rate * seconds);
        r->file = iqtest::Write(
            r->dir.Path(), {container, type, rate},
            iqtest::Signal(rate, frames,
                           {{-12000, 0.2, 700}, {30000, 0.05, 1000}, {rate / 3, 0.1, 0}}));
    }
    return *r;
}

void Demod(benchmark::State& state, const Recording& rec)
{
    tools::DemodOptions o;
    o.controls.GainPos = 0;
    o.input = rec.file;
    o.output = rec.dir / "out.wav";
    std::string error;
    for (auto _ : state)
        if (!tools::RunDemod(o, nullptr, &error))
            state.SkipWithError(error.c_str());
    state.counters["xRT"] = benchmark::Counter(
        rec.seconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_DemodCf32At2400k(benchmark::State& state)
{
    Demod(state, Make(iqtest::Container::Gqrx, recording::SampleType::F32LE, 2400000, 2.0));
}
BENCHMARK(BM_DemodCf32At2400k)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DemodWav16At96k(benchmark::State& state)
{
    Demod(state, Make(iqtest::Container::Wav, recording::SampleType::S16LE, 96000, 20.0));
}
BENCHMARK(BM_DemodWav16At96k)->Unit(benchmark::kMillisecond)->UseRealTime();

// One block of the live player, as the playback pump asks for it; with the
// chain as well when `withChain`. The file restarts when it ends (the open
// is not timed).
void Player(benchmark::State& state, bool withChain)
{
    const Recording& rec =
        Make(iqtest::Container::Gqrx, recording::SampleType::F32LE, 2400000, 2.0);
    auto player = std::make_unique<recording::IqPlayer>();
    dsp::ChainControls controls;
    controls.GainPos = 0;
    controls.SpectrumVisible = true;
    auto chain = std::make_unique<dsp::SignalChain>(controls);
    chain->Setup();
    double worst = 0;
    for (auto _ : state) {
        if (!player->IsOpen()) {
            state.PauseTiming();
            player->Open(rec.file);
            player->SetShift(48000);
            state.ResumeTiming();
        }
        const auto t0 = std::chrono::steady_clock::now();
        player->Pump();
        if (withChain)
            chain->ProcessBlock(player->Frames());
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - t0;
        worst = std::max(worst, took.count());
    }
    state.counters["worst_ms"] = worst;
    state.counters["xRT"] = benchmark::Counter(0.05 * static_cast<double>(state.iterations()),
                                               benchmark::Counter::kIsRate);
}

void BM_LivePlayerBlockCf32At2400k(benchmark::State& state) { Player(state, false); }
BENCHMARK(BM_LivePlayerBlockCf32At2400k)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_LivePlayerAndChainBlockCf32At2400k(benchmark::State& state) { Player(state, true); }
BENCHMARK(BM_LivePlayerAndChainBlockCf32At2400k)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
