// Audio over UDP, per 50 ms block: a core's share is the CPU time over 50 ms.
//
// BM_ChainDecoderFeed: the chain's whole block without and with the decoder
// feed (arg 0 / 1); the difference is the feed's own filter.
// BM_SendBlock: a block's five datagrams through remote::AudioSender to a
// socket on the loopback address that the benchmark drains (arg 0), and to a
// port nobody listens on (arg 1), where every other datagram is refused.
// "allocs" counts operator new calls per block (none are allowed).
#include "bench/AllocationCount.h"
#include "dsp/SignalChain.h"
#include "remote/AudioSender.h"
#include "tests/support/UdpListener.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

std::vector<int16_t> FmBlock()
{
    std::vector<int16_t> frames(dsp::kBlockSamples);
    double phase = 0.0;
    for (int n = 0; n < dsp::kBlockFrames; ++n) {
        phase += 6.283185307179586 * (-12000.0 + 3000.0 * std::sin(n * 0.1)) / 48000.0;
        frames[2 * n] = int16_t(8000.0 * std::sin(phase));
        frames[2 * n + 1] = int16_t(8000.0 * std::cos(phase));
    }
    return frames;
}

void BM_ChainDecoderFeed(benchmark::State& state)
{
    dsp::ChainControls c;
    c.RxMode = dsp::Mode::Fm;
    c.GainPos = 0;
    c.DecoderFeed = state.range(0) != 0;
    auto chain = std::make_unique<dsp::SignalChain>(c);
    chain->Setup();
    const std::vector<int16_t> block = FmBlock();
    chain->ProcessBlock(block.data());
    const long before = bench::Allocations();
    for (auto _ : state)
        chain->ProcessBlock(block.data());
    state.counters["allocs"] = benchmark::Counter(double(bench::Allocations() - before),
                                                  benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_ChainDecoderFeed)->Arg(0)->Arg(1);

void BM_SendBlock(benchmark::State& state)
{
    tesmar::test::UdpListener decoder;
    const uint16_t port = state.range(0) == 0 ? decoder.Port() : tesmar::test::ClosedUdpPort();
    remote::AudioSender sender;
    sender.Start("127.0.0.1", port);
    const std::vector<int16_t> samples(dsp::kBlockFrames, 1234);
    sender.Send(samples.data(), dsp::kBlockFrames);
    long allocations = 0;
    for (auto _ : state) {
        const long before = bench::Allocations();
        sender.Send(samples.data(), dsp::kBlockFrames);
        allocations += bench::Allocations() - before;
        state.PauseTiming();
        decoder.TakeWaiting();
        state.ResumeTiming();
    }
    state.counters["allocs"] =
        benchmark::Counter(double(allocations), benchmark::Counter::kAvgIterations);
    state.counters["dropped"] = double(sender.DroppedDatagrams());
}
BENCHMARK(BM_SendBlock)->Arg(0)->Arg(1);

}  // namespace

BENCHMARK_MAIN();
