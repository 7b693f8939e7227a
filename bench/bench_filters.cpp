// What one step of a filter-window drag costs the main thread, which also
// runs the signal chain: the redesign alone (IF: Chebyshev cascade; AF:
// 51-tap Kaiser FIR), and the whole step as the window runs it (edge value,
// redesign, "User" selected, the picture repainted). The window system merges
// queued pointer moves, so a fast drag adds about one step between two blocks,
// whose budget is 50 ms.
#include "dsp/SignalChain.h"
#include "ui/MainWindow.h"
#include "ui/windows/AfFilterWindow.h"
#include "ui/windows/IfFilterWindow.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

void BM_DesignIfFilter(benchmark::State& state)
{
    dsp::ChainControls c;
    c.IFBW = dsp::IfChoice::User;
    dsp::SignalChain chain(c);
    chain.Setup();
    int width = 1;
    for (auto _ : state) {
        c.PosIFBW = width;
        chain.DesignIFFilter();
        width = width % 200 + 1;
    }
}

void BM_DesignAfFilter(benchmark::State& state)
{
    dsp::ChainControls c;
    c.AFLPF = dsp::AfChoice::User;
    c.PosAFFC1 = 3;
    dsp::SignalChain chain(c);
    chain.Setup();
    int upper = 4;
    for (auto _ : state) {
        c.PosAFFC2 = upper;
        chain.DesignAFFilter();
        upper = upper == 100 ? 4 : upper + 1;
    }
}

// A pointer move onto the picture while dragging an edge, delivered to the
// picture control as Qt delivers it.
void Move(QWidget* picture, int x, int y)
{
    QMouseEvent move(QEvent::MouseMove, QPointF(x, y), picture->mapToGlobal(QPointF(x, y)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(picture, &move);
}

void Press(QWidget* picture, int x, int y)
{
    Move(picture, x, y);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(x, y), picture->mapToGlobal(QPointF(x, y)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(picture, &press);
}

template <class Window>
void DragStep(benchmark::State& state, bool af)
{
    QTemporaryDir dir;
    core::ReceiverPaths paths;
    paths.settingsFile = QDir(dir.path()).filePath("tesmar.ini").toStdString();
    paths.dataDirectory = dir.path().toStdString();
    paths.programDirectory = dir.path().toStdString();
    auto form = std::make_unique<ui::MainWindow>(paths, audio::AudioApi::Jack);
    Window window(form->Receiver());
    window.show();
    QWidget* picture = window.PictureBox();
    // Grab the upper (AF) or right (IF) edge where it is drawn.
    const int edge = window.Editor().Layout().right;
    Press(picture, edge, 30);
    // Back and forth over the whole range, every move a new value.
    const int lo = af ? 30 : 222;
    const int hi = af ? 410 : 420;
    int x = lo;
    int dx = af ? 4 : 1;
    for (auto _ : state) {
        Move(picture, x, 30);
        if (x + dx > hi || x + dx < lo)
            dx = -dx;
        x += dx;
    }
    window.close();
    form.reset();
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w))
            box->done(0);
}

void BM_IfDragStep(benchmark::State& state) { DragStep<ui::IfFilterWindow>(state, false); }
void BM_AfDragStep(benchmark::State& state) { DragStep<ui::AfFilterWindow>(state, true); }

}  // namespace

BENCHMARK(BM_DesignIfFilter)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DesignAfFilter)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_IfDragStep)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AfDragStep)->Unit(benchmark::kMicrosecond);

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
