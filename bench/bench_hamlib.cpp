// The Hamlib link against the main thread.
//
// BM_MainThreadPause: the main thread runs its event loop as between blocks
// while the link polls a radio; "max_pause_us" is the longest any one call of
// the link's own (a tuning request and the queued results it delivers) held
// the main thread, "calls" how many were timed. Against rigctld's dummy radio
// (polled, retuned every 20 ms) and against a serial radio that never answers
// (each call of the worker waits out the model's time-out).
//
// BM_KnobToRead: from rigctld's taking a new frequency from another client
// (the knob turned) to the link's reporting it on the main thread:
// "mean_ms" and "max_ms" over the turns.
//
// BM_PollCost: the CPU time of the whole process, as a share of one core,
// while the link polls rigctld every HamlibRig::kPollIntervalMs and the main
// thread idles; "rigctld_%" is the server's share for the same polls.
#include "radio/HamlibRig.h"
#include "tests/radio/HamlibRadios.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <netinet/in.h>
#include <pty.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double ProcessCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double ChildCpuSeconds(pid_t pid)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
    std::FILE* f = std::fopen(path, "r");
    if (f == nullptr)
        return 0;
    unsigned long utime = 0, stime = 0;
    // Fields 14 and 15; the name in field 2 has no blanks for rigctld.
    const int n = std::fscanf(f, "%*d %*s %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu",
                              &utime, &stime);
    std::fclose(f);
    return n == 2 ? double(utime + stime) / double(sysconf(_SC_CLK_TCK)) : 0;
}

// Runs the event loop for `seconds`, retuning every 20 ms; the longest of
// the link's own calls and deliveries on this thread.
void RunAndTime(benchmark::State& state, radio::HamlibRig& rig, double seconds)
{
    double maxUs = 0;
    int64_t calls = 0;
    QObject::connect(&rig, &radio::HamlibRig::FrequencyRead, [&](int64_t) { ++calls; });
    for (auto _ : state) {
        const auto end = Clock::now() + std::chrono::duration<double>(seconds);
        int64_t hz = 7000000;
        while (Clock::now() < end) {
            const auto t0 = Clock::now();
            rig.SetFrequency(hz += 10);
            const auto t1 = Clock::now();
            maxUs = std::max(maxUs, std::chrono::duration<double, std::micro>(t1 - t0).count());
            ++calls;
            // The deliveries: queued calls into the link's slots.
            const auto t2 = Clock::now();
            QCoreApplication::sendPostedEvents(&rig);
            const auto t3 = Clock::now();
            maxUs = std::max(maxUs, std::chrono::duration<double, std::micro>(t3 - t2).count());
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            QThread::msleep(20);
        }
    }
    state.counters["max_pause_us"] = maxUs;
    state.counters["calls"] = double(calls);
}

void BM_MainThreadPause_Rigctld(benchmark::State& state)
{
    radio::test::Rigctld server;
    if (!server.Start()) {
        state.SkipWithError("rigctld did not start");
        return;
    }
    radio::HamlibRig rig;
    rig.Open(2, server.Address(), 0);
    RunAndTime(state, rig, 5.0);
}
BENCHMARK(BM_MainThreadPause_Rigctld)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_MainThreadPause_SilentRadio(benchmark::State& state)
{
    int master = -1, slave = -1;
    termios raw{};
    cfmakeraw(&raw);
    char name[256] = {};
    if (openpty(&master, &slave, name, &raw, nullptr) != 0) {
        state.SkipWithError("openpty failed");
        return;
    }
    {
        radio::HamlibRig rig;
        rig.Open(2028, name, 9600);  // a Kenwood TS-480 that never answers
        RunAndTime(state, rig, 6.0);
    }
    close(master);
    close(slave);
}
BENCHMARK(BM_MainThreadPause_SilentRadio)->Iterations(1)->Unit(benchmark::kMillisecond);

// One command to rigctld over a socket of its own, as another program sends
// it; true when it answered "RPRT 0".
bool SendToRigctld(int port, const std::string& line)
{
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    bool ok = connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
              write(s, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    char reply[64] = {};
    ok = ok && read(s, reply, sizeof reply - 1) > 0 && std::string(reply).find("RPRT 0") == 0;
    close(s);
    return ok;
}

void BM_KnobToRead(benchmark::State& state)
{
    radio::test::Rigctld server;
    if (!server.Start()) {
        state.SkipWithError("rigctld did not start");
        return;
    }
    const int port = std::stoi(server.Address().substr(server.Address().find(':') + 1));
    radio::HamlibRig rig;
    int64_t lastRead = 0;
    QObject::connect(&rig, &radio::HamlibRig::FrequencyRead, [&](int64_t hz) { lastRead = hz; });
    rig.Open(2, server.Address(), 0);
    QElapsedTimer up;
    up.start();
    while (!rig.LinkUp() && up.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    double sumMs = 0, maxMs = 0;
    int turns = 0;
    for (auto _ : state) {
        for (int i = 0; i < 40; ++i) {
            const int64_t hz = 7000000 + 100 * (turns + 1);
            if (!SendToRigctld(port, "F " + std::to_string(hz) + "\n")) {
                state.SkipWithError("rigctld refused F");
                return;
            }
            const auto t0 = Clock::now();
            while (lastRead != hz && Clock::now() - t0 < std::chrono::seconds(2))
                QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
            const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
            sumMs += ms;
            maxMs = std::max(maxMs, ms);
            ++turns;
            // Turns land anywhere in the poll's cycle.
            QThread::msleep(37);
        }
    }
    state.counters["mean_ms"] = sumMs / turns;
    state.counters["max_ms"] = maxMs;
}
BENCHMARK(BM_KnobToRead)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_PollCost(benchmark::State& state)
{
    radio::test::Rigctld server;
    if (!server.Start()) {
        state.SkipWithError("rigctld did not start");
        return;
    }
    radio::HamlibRig rig;
    rig.Open(2, server.Address(), 0);
    QElapsedTimer up;
    up.start();
    while (!rig.LinkUp() && up.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    const double seconds = 10.0;
    double ours = 0, theirs = 0;
    for (auto _ : state) {
        const double cpu0 = ProcessCpuSeconds(), child0 = ChildCpuSeconds(server.Pid());
        const auto end = Clock::now() + std::chrono::duration<double>(seconds);
        while (Clock::now() < end) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            QThread::msleep(50);
        }
        ours = ProcessCpuSeconds() - cpu0;
        theirs = ChildCpuSeconds(server.Pid()) - child0;
    }
    state.counters["cpu_%"] = 100.0 * ours / seconds;
    state.counters["rigctld_%"] = 100.0 * theirs / seconds;
    state.counters["polls_per_s"] = 1000.0 / radio::HamlibRig::kPollIntervalMs;
}
BENCHMARK(BM_PollCost)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
