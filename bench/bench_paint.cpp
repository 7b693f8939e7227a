// Cost of the two pictures the main window repaints after every block: the
// frequency display and the signal meter. Prints, besides Google
// Benchmark's own columns, "xRT": how many times faster than real time
// (50 ms / block).
#include "ui/paint/FrequencyDisplay.h"
#include "ui/paint/SignalMeter.h"

#include <QGuiApplication>

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

std::vector<double> AgcTrace(int block)
{
    std::vector<double> t(ui::SignalMeter::kTraceLength);
    for (size_t i = 0; i < t.size(); ++i)
        t[i] = 1.0 + 2.0 * (0.5 + 0.5 * std::sin(0.3 * block + i * 1e-3));
    return t;
}

ui::DisplayInputs Inputs(int block)
{
    ui::DisplayInputs in;
    in.FreqCenter = 145012000;
    in.FreqTune = -12000 + 50 * (block % 400);
    in.TuneStep = block % 2 != 0 ? 12500 : 500;
    in.FreqEntry = "145.5";
    in.RawRecording = block % 3 == 0;
    in.RawTimeText = "00:12:34";
    in.SqlBusy = block % 5 != 0;
    in.RadioLinkOk = true;
    in.AudioOver = block % 7 == 0;
    return in;
}

void SetRealTime(benchmark::State& state)
{
    state.counters["xRT"] = benchmark::Counter(0.05 * static_cast<double>(state.iterations()),
                                               benchmark::Counter::kIsRate);
}

void BM_PaintDisplay(benchmark::State& state)
{
    ui::FrequencyDisplay display;
    int block = 0;
    for (auto _ : state) {
        display.PaintDisplay(Inputs(block++));
        benchmark::DoNotOptimize(display.Image().constBits());
    }
    SetRealTime(state);
}
BENCHMARK(BM_PaintDisplay);

void BM_PaintMeter(benchmark::State& state)
{
    ui::SignalMeter meter;
    std::vector<std::vector<double>> traces;
    for (int i = 0; i < 64; ++i)
        traces.push_back(AgcTrace(i));
    int block = 0;
    for (auto _ : state) {
        meter.PaintMeter(traces[block++ % traces.size()].data());
        benchmark::DoNotOptimize(meter.Image().constBits());
    }
    SetRealTime(state);
}
BENCHMARK(BM_PaintMeter);

// What one block costs the main thread in pictures.
void BM_PaintDisplayAndMeterPerBlock(benchmark::State& state)
{
    ui::FrequencyDisplay display;
    ui::SignalMeter meter;
    std::vector<std::vector<double>> traces;
    for (int i = 0; i < 64; ++i)
        traces.push_back(AgcTrace(i));
    int block = 0;
    for (auto _ : state) {
        display.PaintDisplay(Inputs(block));
        meter.PaintMeter(traces[block % traces.size()].data());
        ++block;
        benchmark::DoNotOptimize(display.Image().constBits());
        benchmark::DoNotOptimize(meter.Image().constBits());
    }
    SetRealTime(state);
}
BENCHMARK(BM_PaintDisplayAndMeterPerBlock);

}  // namespace

int main(int argc, char** argv)
{
    // Text is drawn from glyphs rendered once at start; that needs a
    // platform but never a screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
