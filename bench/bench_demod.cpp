// tesmar-demod as a user runs it: the whole process on 300 s of the demo band
// (a raw recording on tmpfs), writing to tmpfs, with one thread and with the
// pipeline. "everything on": canceller, noise reduction, 3D, the recorder's
// output and the spectrum output; "plain": AM with the switches off. Prints
// "xRT" (times faster than real time). Run the five repetitions the targets
// are stated for with
//   build/bin/tesmar-bench-demod --benchmark_repetitions=5 --benchmark_report_aggregates_only
// on a machine otherwise idle: the load average at the start is in the
// context lines. Where other work cannot be stopped, `chrt -f 10` before the
// command gives the runs (the programs it starts inherit it) the cores first.
#include "tools/IqGen.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr double kSeconds = 300.0;

// A folder on tmpfs (/dev/shm where there is one), removed at exit.
struct Workspace {
    fs::path dir;
    fs::path input;
    std::string error;

    Workspace()
    {
        const fs::path base =
            fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
        std::string pattern = (base / "tesmar-bench-demod-XXXXXX").string();
        if (!mkdtemp(pattern.data())) {
            error = "cannot make a folder in " + base.string();
            return;
        }
        dir = pattern;
        tools::IqGenOptions o;
        o.output = dir / "band.dat";
        o.demo = true;
        o.blocks = static_cast<int64_t>(kSeconds / 0.05);
        o.startGiven = true;
        if (tools::WriteIqFile(o, &error))
            input = o.output;
    }
    ~Workspace()
    {
        std::error_code ec;
        if (!dir.empty())
            fs::remove_all(dir, ec);
    }
};

Workspace& Work()
{
    static Workspace w;
    return w;
}

// Runs tesmar-demod; false when it could not start or failed.
bool RunProgram(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(TESMAR_DEMOD_EXE));
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, TESMAR_DEMOD_EXE, nullptr, nullptr, argv.data(), environ) != 0)
        return false;
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Range 0: everything on (1) or plain AM (0); range 1: --threads.
void BM_DemodProcess(benchmark::State& state)
{
    Workspace& w = Work();
    if (w.input.empty()) {
        state.SkipWithError(w.error.c_str());
        return;
    }
    const bool everything = state.range(0) != 0;
    std::vector<std::string> args = {"--threads", std::to_string(state.range(1)), "--set",
                                     "GainPos=0"};
    if (everything) {
        for (const char* s : {"DSPAN=1", "DSPNR=1", "DSP3D=1"})
            args.insert(args.end(), {"--set", s});
        args.insert(args.end(), {"--record", (w.dir / "rec.wav").string(), "--spectrum",
                                 (w.dir / "spectrum.f64").string()});
    }
    args.insert(args.end(), {w.input.string(), (w.dir / "out.wav").string()});
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (!RunProgram(args)) {
            state.SkipWithError("tesmar-demod failed");
            return;
        }
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    state.counters["xRT"] = benchmark::Counter(kSeconds * static_cast<double>(state.iterations()),
                                               benchmark::Counter::kIsRate);
    state.SetLabel(std::string(everything ? "everything on" : "plain AM") + ", " +
                   std::to_string(state.range(1)) + " thread(s)");
}

}  // namespace

BENCHMARK(BM_DemodProcess)
    ->ArgsProduct({{1, 0}, {1, 2}})
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    double load[3] = {};
    if (getloadavg(load, 3) == 3) {
        char text[64];
        std::snprintf(text, sizeof text, "%.2f %.2f %.2f", load[0], load[1], load[2]);
        benchmark::AddCustomContext("load average", text);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
