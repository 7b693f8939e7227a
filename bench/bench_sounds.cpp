// The keypad's sounds against the main thread, with the receiver running on a
// private JACK server (dummy driver) and "beep1.wav".."beep3.wav" present:
//   TenDigitsInASecond  ten keys typed within one second while the event loop
//                       runs; "longest_stall_ms" is the longest time the main
//                       thread spent in one turn of its loop (a key with its
//                       sound request, or the events then pending).
//   SoundRequest        one keypad key ("CE", always a click) with its sound
//                       request; "max_ms" is the slowest of them (on a shared,
//                       loaded machine the maximum includes preemption).
// Needs jackd on PATH (scripts/deps installs jackd2).
#include "JackServer.h"
#include "audio/SoundPlayer.h"
#include "core/Receiver.h"
#include "tests/core/ReceiverProbe.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// A 16-bit mono click of 60 ms at 48000 Hz.
void WriteClick(const std::string& file, double hz)
{
    const uint32_t frames = 48000 * 60 / 1000, bytes = frames * 2;
    std::ofstream out(file, std::ios::binary);
    auto le = [&](uint32_t v, int n) {
        for (int i = 0; i < n; ++i)
            out.put(char((v >> (8 * i)) & 0xFF));
    };
    out << "RIFF";
    le(bytes + 36, 4);
    out << "WAVEfmt ";
    le(16, 4), le(1, 2), le(1, 2), le(48000, 4), le(96000, 4), le(2, 2), le(16, 2);
    out << "data";
    le(bytes, 4);
    for (uint32_t i = 0; i < frames; ++i)
        le(uint16_t(int16_t(8000 * std::sin(2 * M_PI * hz * i / 48000.0))), 2);
}

// The receiver on its own server, set up once for all benchmarks.
struct Rig {
    audiotest::JackServer server;
    QTemporaryDir dir;
    std::unique_ptr<core::Receiver> rx;
    bool ok = false;

    Rig()
    {
        std::string error;
        if (!audiotest::JackServer::Installed() || !server.Start(error)) {
            std::fprintf(stderr, "no private JACK server: %s\n", error.c_str());
            return;
        }
        const std::string d = dir.path().toStdString();
        WriteClick(d + "/beep1.wav", 1000);
        WriteClick(d + "/beep2.wav", 1500);
        WriteClick(d + "/beep3.wav", 500);
        std::ofstream(d + "/tesmar.ini") << "[Wave]\nInput=0\nOutput=0\n";
        core::ReceiverPaths paths;
        paths.settingsFile = d + "/tesmar.ini";
        paths.dataDirectory = d;
        paths.programDirectory = d;
        rx = std::make_unique<core::Receiver>(paths);
        rx->SetAudioApi(audio::AudioApi::Jack);
        rx->Start();
        const auto deadline = Clock::now() + std::chrono::seconds(20);
        while (!core::test::ReceiverProbe::Sounds(*rx).StreamOpen() && Clock::now() < deadline)
            QCoreApplication::processEvents();
        ok = core::test::ReceiverProbe::Sounds(*rx).StreamOpen() &&
             core::test::ReceiverProbe::CaptureOpen(*rx);
        if (!ok)
            std::fprintf(stderr, "the receiver's streams did not open\n");
    }
    ~Rig()
    {
        if (rx)
            rx->CloseDevices();
        rx.reset();
        server.Stop();
    }
};

Rig& TheRig()
{
    static Rig rig;
    return rig;
}

void TenDigitsInASecond(benchmark::State& state)
{
    Rig& rig = TheRig();
    if (!rig.ok) {
        state.SkipWithError("no receiver on a private JACK server");
        return;
    }
    double longest = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        int typed = 0;
        while (Clock::now() - start < std::chrono::seconds(1)) {
            const auto turn = Clock::now();
            if (typed < 10 && turn - start >= typed * std::chrono::milliseconds(100))
                rig.rx->KeypadKey(48 + (typed++ % 10));
            QCoreApplication::processEvents();
            longest = std::max(longest, Ms(Clock::now() - turn));
            QThread::usleep(500);
        }
        rig.rx->KeypadKey(27);  // "CE": the next round types afresh
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
    state.counters["longest_stall_ms"] = longest;
    state.counters["blocks"] = double(core::test::ReceiverProbe::ProcessedBlocks(*rig.rx));
}
BENCHMARK(TenDigitsInASecond)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

void SoundRequest(benchmark::State& state)
{
    Rig& rig = TheRig();
    if (!rig.ok) {
        state.SkipWithError("no receiver on a private JACK server");
        return;
    }
    double slowest = 0;
    rig.rx->KeypadKey(27);  // the click's file read once, as at the first key
    for (auto _ : state) {
        const auto t = Clock::now();
        rig.rx->KeypadKey(27);
        slowest = std::max(slowest, Ms(Clock::now() - t));
        state.PauseTiming();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["max_ms"] = slowest;
}
BENCHMARK(SoundRequest)->Iterations(2000)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
