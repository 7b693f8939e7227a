// The main thread's whole work for one block as the running application
// does it: the receiver's block path (chain, output queue, recorders, serial
// poll) and the main window's repaint of the display and the meter; with the
// spectrum window showing (1000 x 600) also the analysis and its redraw, and
// in the last case the event loop's paint of every picture to the (offscreen)
// screen. Then the spectrum window's redraw alone at 1000 x 600: the traces'
// history, the strip with three traces of 2046 segments, the waterfall's
// scroll and new row, both pictures ready to show.
// Prints, besides Google Benchmark's own columns, "xRT" (how many times faster
// than real time, 50 ms per block) and "allocs" (heap allocations per block,
// counted by this binary's operator new).
#include "AllocationCounter.h"
#include "audio/BlockRing.h"
#include "core/Receiver.h"
#include "dsp/SignalChain.h"
#include "dsp/Spectrum.h"
#include "tests/core/ReceiverProbe.h"
#include "ui/MainWindow.h"
#include "ui/windows/SpectrumWindow.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

namespace {

std::vector<int16_t> Band(int blocks)
{
    std::vector<int16_t> frames(static_cast<size_t>(blocks) * dsp::kBlockSamples);
    const double tau = 2.0 * M_PI;
    for (size_t n = 0; n < frames.size() / 2; ++n) {
        const double t = n / 48000.0;
        const double am = 6000.0 * (1.0 + 0.6 * std::sin(tau * 700.0 * t));
        frames[2 * n] =
            static_cast<int16_t>(am * std::sin(tau * -12000.0 * t) + 200.0 * std::sin(1e3 * t * t));
        frames[2 * n + 1] = static_cast<int16_t>(am * std::cos(tau * -12000.0 * t));
    }
    return frames;
}

using Spectrum = std::array<double, core::kSpectrumBins>;

// Spectra as the analysis gives them: noise around a few carriers of
// different strengths, so that the traces jump as they do on the air.
std::vector<Spectrum> Spectra(int count)
{
    dsp::SpectrumAnalyzer analyzer;
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 30.0);
    std::vector<double> i(dsp::kSpectrumSize);
    std::vector<double> q(dsp::kSpectrumSize);
    std::vector<Spectrum> spectra(static_cast<size_t>(count));
    const double carriers[][2] = {{-12000.0, 6000.0}, {3500.0, 800.0}, {17250.0, 150.0}};
    for (int s = 0; s < count; ++s) {
        for (int n = 0; n < dsp::kSpectrumSize; ++n) {
            double re = noise(random);
            double im = noise(random);
            for (const auto& c : carriers) {
                const double phase = 2.0 * M_PI * c[0] * (s * 2400 + n) / 48000.0;
                re += c[1] * std::sin(phase);
                im += c[1] * std::cos(phase);
            }
            i[static_cast<size_t>(n)] = std::round(re);
            q[static_cast<size_t>(n)] = std::round(im);
        }
        analyzer.Analyze(i.data(), q.data(), spectra[static_cast<size_t>(s)].data());
    }
    return spectra;
}

void SetCounters(benchmark::State& state, size_t allocations)
{
    state.counters["xRT"] = benchmark::Counter(0.05 * static_cast<double>(state.iterations()),
                                               benchmark::Counter::kIsRate);
    state.counters["allocs"] =
        static_cast<double>(allocations) / static_cast<double>(state.iterations());
}

void BM_MainThreadBlock(benchmark::State& state)
{
    QTemporaryDir dir;
    core::ReceiverPaths paths;
    paths.settingsFile = (QDir(dir.path()).filePath("tesmar.ini")).toStdString();
    paths.dataDirectory = dir.path().toStdString();
    paths.programDirectory = QCoreApplication::applicationDirPath().toStdString();
    // No sound card here: the devices fail to open and the blocks are fed
    // by hand, exactly as the capture path hands them over.
    auto form = std::make_unique<ui::MainWindow>(paths, audio::AudioApi::Jack);
    core::Receiver& r = form->Receiver();
    core::test::ReceiverProbe::SetKnobAngle(r, core::Knob::Vol, 0);
    const int64_t mode = state.range(0);
    if (mode != 0) {
        r.SetCanceller(true);
        r.SetNoiseReduction(true);
        r.Set3D(true);
        r.SetSpectrumVisible(true);
    }
    std::unique_ptr<ui::SpectrumWindow> spectrum;
    if (mode >= 2) {
        spectrum = std::make_unique<ui::SpectrumWindow>(r);
        ui::SecondaryWindows windows;
        windows.spectrum = spectrum.get();
        form->SetSecondaryWindows(windows);
        spectrum->resize(1000, 600);
        form->show();
        spectrum->show();
        QApplication::processEvents();
    }
    const bool paint = mode == 3;
    static const std::vector<int16_t> band = Band(20);
    size_t block = 0;
    alloc::Scope allocations;
    for (auto _ : state) {
        core::test::ReceiverProbe::HandleBlock(r, band.data() + (block % 20) * dsp::kBlockSamples);
        if (paint)
            QApplication::processEvents();
        ++block;
    }
    SetCounters(state, allocations.Allocations());
    const char* const labels[] = {"AM, switches off", "AM, AN+NR+3D+spectrum analysis",
                                  "AM, AN+NR+3D+spectrum window",
                                  "AM, AN+NR+3D+spectrum window, painted"};
    state.SetLabel(labels[mode]);
    spectrum.reset();
    form.reset();
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w))
            box->done(0);
}

// paint != 0: the event loop runs after every block, so both pictures also
// reach the (offscreen) screen.
void BM_SpectrumRedraw(benchmark::State& state)
{
    QTemporaryDir dir;
    core::ReceiverPaths paths;
    paths.settingsFile = QDir(dir.path()).filePath("tesmar.ini").toStdString();
    paths.dataDirectory = dir.path().toStdString();
    paths.programDirectory = dir.path().toStdString();
    core::Receiver receiver(paths);
    receiver.SetAudioApi(audio::AudioApi::Jack);  // no sound card: the devices fail quietly
    receiver.Start();
    core::test::ReceiverProbe::State(receiver).FreqCenter = 145000000;

    ui::SpectrumWindow window(receiver);
    window.resize(1000, 600);
    window.show();
    QApplication::processEvents();
    const bool paint = state.range(0) != 0;
    static const std::vector<Spectrum> spectra = Spectra(32);
    window.Redraw(spectra[0].data());  // warm-up

    size_t block = 0;
    alloc::Scope allocations;
    for (auto _ : state) {
        core::test::ReceiverProbe::State(receiver).FreqTune =
            -20000 + static_cast<int32_t>(block % 400) * 100;
        window.Redraw(spectra[block % spectra.size()].data());
        if (paint)
            QApplication::processEvents();
        benchmark::DoNotOptimize(window.WaterfallImage().constBits());
        ++block;
    }
    SetCounters(state, allocations.Allocations());
    state.SetLabel(paint ? "redraw and paint, 1000 x 600" : "redraw, 1000 x 600");
}

// The playback queue's share of one block: the main thread queues it and the
// device takes it in periods of 600 frames (no threads: the cost of the
// bookkeeping, not of waiting).
void BM_PlaybackQueue(benchmark::State& state)
{
    auto ring =
        std::make_unique<audio::PlaybackRing<audio::kPlaybackBlocks>>(audio::kPlaybackLagBlocks, 1);
    const std::vector<int16_t> band = Band(1);
    const audio::BlockView block(band.data(), audio::kBlockSamples);
    std::vector<int16_t> out(600 * audio::kChannels);
    int64_t now = 1'000'000'000;
    for (auto _ : state) {
        ring->Push(block, now, false);
        for (int k = 0; k < 4; ++k) {
            now += 12'500'000;
            ring->Read(out.data(), 600, now);
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetLabel("one block in, four periods out");
}

}  // namespace

BENCHMARK(BM_PlaybackQueue)->Unit(benchmark::kNanosecond);
BENCHMARK(BM_MainThreadBlock)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SpectrumRedraw)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
