// Remote control on the main thread.
//
// BM_RoundTrip: one command's round trip on loopback, from the client's
// write to its having read the whole reply, against the running receiver
// (the client sits in the same thread and waits in the event loop, as the
// receiver's own thread does between blocks).
//
// BM_BlockWithPollingClients: the main thread's CPU time per 50 ms block
// period with four clients polling "f" and "m" every 50 ms, and without
// them; the clients are switched on and off every 20 blocks within one run,
// so that both figures see the same machine load. "block_us" is the block's
// own work (the block path and the main window's repaint), "block_extra_%"
// what the clients change in it; "serve_us" is the event loop's added work
// between blocks (the clients served), also as a share of the block's work.
#include "core/Receiver.h"
#include "core/RemoteControl.h"
#include "dsp/SignalChain.h"
#include "tests/core/ReceiverProbe.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <ctime>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

core::ReceiverPaths Paths(const QTemporaryDir& dir)
{
    core::ReceiverPaths paths;
    paths.settingsFile = QDir(dir.path()).filePath("tesmar.ini").toStdString();
    paths.dataDirectory = dir.path().toStdString();
    paths.programDirectory = QCoreApplication::applicationDirPath().toStdString();
    return paths;
}

int Connect(uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Blocking: sends the line, reads until `lines` line ends have come.
bool Ask(int fd, const std::string& line, int lines)
{
    if (::send(fd, line.data(), line.size(), MSG_NOSIGNAL) != ssize_t(line.size()))
        return false;
    char buf[4096];
    for (int seen = 0; seen < lines;) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            return false;
        for (ssize_t i = 0; i < n; ++i)
            seen += buf[i] == '\n';
    }
    return true;
}

double ThreadCpuSeconds()
{
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

void CloseBoxes()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w))
            box->done(0);
}

struct Command {
    const char* line;
    int replyLines;
    const char* label;
};
const Command kCommands[] = {
    {"f\n", 1, "f"},
    {"m\n", 2, "m"},
    {"F 5001000\n", 1, "F inside the band"},
    {"M USB 2400\n", 1, "M USB 2400"},
    {"\\dump_state\n", 47, "\\dump_state"},
};

void BM_RoundTrip(benchmark::State& state)
{
    QTemporaryDir dir;
    core::Receiver receiver(Paths(dir));
    receiver.SetAudioApi(audio::AudioApi::Jack);  // no sound card: the devices fail quietly
    receiver.Start();
    core::RemoteControl remote(receiver);
    remote.UseForThisRun(0);
    const int fd = Connect(remote.Port());
    if (fd < 0) {
        state.SkipWithError("cannot connect");
        return;
    }
    const Command& c = kCommands[state.range(0)];
    const std::string line = c.line;
    char buf[4096];
    for (auto _ : state) {
        ::send(fd, line.data(), line.size(), MSG_NOSIGNAL);
        for (int seen = 0; seen < c.replyLines;) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            const ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
            for (ssize_t i = 0; i < n; ++i)
                seen += buf[i] == '\n';
        }
    }
    ::close(fd);
    state.SetLabel(c.label);
}

// A logging program's poll: "f" and "m" every 50 ms while `active`.
class PollingClient {
public:
    PollingClient(uint16_t port, const std::atomic<bool>& active, const std::atomic<bool>& stop)
        : thread_([this, port, &active, &stop] { Run(port, active, stop); })
    {}
    ~PollingClient() { thread_.join(); }
    long Polls() const { return polls_.load(); }
    bool Done() const { return done_.load(); }

private:
    void Run(uint16_t port, const std::atomic<bool>& active, const std::atomic<bool>& stop)
    {
        const int fd = Connect(port);
        if (fd < 0) {
            done_.store(true);
            return;
        }
        auto next = Clock::now();
        while (!stop.load()) {
            next += std::chrono::milliseconds(50);
            if (active.load() && Ask(fd, "f\n", 1) && Ask(fd, "m\n", 2))
                ++polls_;
            std::this_thread::sleep_until(next);
        }
        ::close(fd);
        done_.store(true);
    }

    std::atomic<long> polls_{0};
    std::atomic<bool> done_{false};
    std::thread thread_;
};

std::vector<int16_t> Band(int blocks)
{
    std::vector<int16_t> frames(static_cast<size_t>(blocks) * dsp::kBlockSamples);
    const double tau = 2.0 * M_PI;
    for (size_t n = 0; n < frames.size() / 2; ++n) {
        const double t = n / 48000.0;
        const double am = 6000.0 * (1.0 + 0.6 * std::sin(tau * 700.0 * t));
        frames[2 * n] = static_cast<int16_t>(am * std::sin(tau * -12000.0 * t));
        frames[2 * n + 1] = static_cast<int16_t>(am * std::cos(tau * -12000.0 * t));
    }
    return frames;
}

void BM_BlockWithPollingClients(benchmark::State& state)
{
    QTemporaryDir dir;
    auto form = std::make_unique<ui::MainWindow>(Paths(dir), audio::AudioApi::Jack);
    CloseBoxes();
    form->show();
    core::Receiver& r = form->Receiver();
    core::test::ReceiverProbe::SetKnobAngle(r, core::Knob::Vol, 0);
    auto remote = std::make_unique<core::RemoteControl>(r);
    remote->UseForThisRun(0);
    const int clients = int(state.range(0));
    std::atomic<bool> active{false};
    std::atomic<bool> stop{false};
    std::vector<std::unique_ptr<PollingClient>> polling;
    for (int i = 0; i < clients; ++i)
        polling.push_back(std::make_unique<PollingClient>(remote->Port(), active, stop));

    static const std::vector<int16_t> band = Band(20);
    constexpr int kPhase = 20;  // blocks with, then without the clients
    // Per phase (0 without, 1 with the clients): the block's own work and
    // the event loop's until the next block.
    double blockCpu[2] = {0.0, 0.0};
    double loopCpu[2] = {0.0, 0.0};
    long blocks[2] = {0, 0};
    long activeBlocks = 0;
    long block = 0;
    auto due = Clock::now();
    for (auto _ : state) {
        const bool withClients = clients > 0 && (block / kPhase) % 2 == 1;
        active.store(withClients);
        activeBlocks += withClients;
        const double start = ThreadCpuSeconds();
        core::test::ReceiverProbe::HandleBlock(r, band.data() + (block % 20) * dsp::kBlockSamples);
        // The repaints the block asked for.
        QCoreApplication::processEvents();
        const double handled = ThreadCpuSeconds();
        // The event loop until the next block is due: the clients are served here.
        due += std::chrono::milliseconds(50);
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(due - Clock::now());
        if (wait.count() > 0) {
            QEventLoop loop;
            QTimer::singleShot(int(wait.count()), Qt::PreciseTimer, &loop, &QEventLoop::quit);
            loop.exec();
        }
        // The first block of a phase still sees the other phase's last polls.
        if (block % kPhase != 0) {
            blockCpu[withClients] += handled - start;
            loopCpu[withClients] += ThreadCpuSeconds() - handled;
            ++blocks[withClients];
        }
        ++block;
    }
    // A client may be waiting for its reply: the event loop serves it until
    // every client has seen the stop.
    stop.store(true);
    const auto allDone = [&] {
        return std::all_of(polling.begin(), polling.end(), [](auto& p) { return p->Done(); });
    };
    while (!allDone())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    long polls = 0;
    for (auto& p : polling)
        polls += p->Polls();
    polling.clear();

    const auto perBlockUs = [&](const double(&cpu)[2], int phase) {
        return blocks[phase] > 0 ? cpu[phase] / double(blocks[phase]) * 1e6 : 0.0;
    };
    const double quietBlock = perBlockUs(blockCpu, 0);
    const double quietLoop = perBlockUs(loopCpu, 0);
    state.counters["block_us"] = quietBlock;
    state.counters["idle_us"] = quietLoop;
    if (clients > 0 && blocks[1] > 0) {
        const double busyBlock = perBlockUs(blockCpu, 1);
        const double busyLoop = perBlockUs(loopCpu, 1);
        // The block's own work with the clients about, against without.
        state.counters["block_extra_%"] = (busyBlock - quietBlock) / quietBlock * 100.0;
        // Serving them: the event loop's added work per block period.
        state.counters["serve_us"] = busyLoop - quietLoop;
        state.counters["serve_%_of_block"] = (busyLoop - quietLoop) / quietBlock * 100.0;
        // Each client's "f" and "m" once per block period it was on.
        state.counters["polls/block"] = double(polls) / double(activeBlocks);
    }
    state.SetLabel(clients > 0 ? "4 clients polling f and m every 50 ms, switched on and off"
                               : "no clients");
    remote.reset();  // before the receiver it serves
    form.reset();
    CloseBoxes();
}

}  // namespace

BENCHMARK(BM_RoundTrip)->DenseRange(0, 4)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_BlockWithPollingClients)
    ->Arg(4)
    ->Iterations(400)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

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
