// The main thread's whole work for one block as the running application
// does it: the receiver's block path (chain, output queue, recorders, serial
// poll) and the main window's repaint of the display and the meter; with the
// spectrum window showing (1000 x 600) also the analysis and its redraw, and
// in the last case the event loop's paint of every picture to the (offscreen)
// screen. Prints "xRT": how many times faster than real time (50 ms / block).
#include "dsp/SignalChain.h"
#include "ui/MainWindow.h"
#include "ui/windows/SpectrumWindow.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
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
    r.SetKnobAngle(core::Knob::Vol, 0);
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
    for (auto _ : state) {
        r.HandleBlock(band.data() + (block % 20) * dsp::kBlockSamples);
        if (paint)
            QApplication::processEvents();
        ++block;
    }
    state.counters["xRT"] = benchmark::Counter(0.05 * static_cast<double>(state.iterations()),
                                               benchmark::Counter::kIsRate);
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

}  // namespace

BENCHMARK(BM_MainThreadBlock)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);

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
