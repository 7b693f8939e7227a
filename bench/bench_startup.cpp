// The whole program's start and exit, each run a process of its own on a
// private JACK server (dummy driver), offscreen, from a copy of the program
// folder (meter face, sounds, demo band beside it):
//   LaunchToFirstPaint  from the launch to the main window's first paint, as
//                       the program says it on standard error (the
//                       tesmar.startup logging category);
//   TerminateToExit     from SIGTERM, a moment after that paint, to the end of
//                       the process.
// Five runs each; the median is the figure (wanted: under 1 s and under
// 0.5 s). "load1" is the machine's load average during the runs: the machine
// may be shared, and a loaded one starts slower. Needs jackd on PATH.
#include "JackServer.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

struct Rig {
    audiotest::JackServer server;
    fs::path dir;
    bool ok = false;

    Rig()
    {
        std::string error;
        if (!audiotest::JackServer::Installed() || !server.Start(error)) {
            std::fprintf(stderr, "no private JACK server: %s\n", error.c_str());
            return;
        }
        char templ[] = "/tmp/tesmar-bench-startup-XXXXXX";
        if (!::mkdtemp(templ))
            return;
        dir = templ;
        const fs::path built = fs::path(TESMAR_EXE).parent_path();
        fs::create_directories(dir / "program");
        fs::create_directories(dir / "home");
        fs::permissions(dir / "home", fs::perms::owner_all);
        for (const char* name : {"tesmar", "Meter.bmp", "beep1.wav", "beep2.wav", "beep3.wav",
                                 "RawData.dat", "Icon.png"})
            if (fs::exists(built / name))
                fs::copy_file(built / name, dir / "program" / name);
        std::ofstream(dir / "program" / "tesmar.ini") << "[Wave]\nInput=0\nOutput=0\n";
        ok = true;
    }
    ~Rig()
    {
        server.Stop();
        if (!dir.empty()) {
            std::error_code ec;
            fs::remove_all(dir, ec);
        }
    }
};

Rig& TheRig()
{
    static Rig rig;
    return rig;
}

// One run of the program: launched, watched until its first paint, ended by
// SIGTERM. Never outlives the benchmark (parent-death signal, and a run that
// never paints is ended too).
struct Run {
    double paint = -1;  // seconds from the launch, -1 when never painted
    double exit = -1;   // seconds from SIGTERM to the end
    int status = -1;
};

Run RunOnce(const Rig& rig)
{
    Run run;
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return run;
    const std::string program = (rig.dir / "program" / "tesmar").string();
    const std::string home = (rig.dir / "home").string();
    const Clock::time_point launched = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        ::dup2(pipeFds[1], 2);
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        ::setenv("QT_LOGGING_RULES", "tesmar.startup.info=true", 1);
        ::setenv("HOME", home.c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", home.c_str(), 1);
        ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    if (pid < 0) {
        ::close(pipeFds[0]);
        return run;
    }
    std::string seen;
    const Clock::time_point deadline = launched + std::chrono::seconds(20);
    while (Clock::now() < deadline) {
        pollfd p{pipeFds[0], POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        char buffer[4096];
        const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
        if (n <= 0)
            break;
        seen.append(buffer, std::size_t(n));
        if (seen.find("main window painted") != std::string::npos) {
            run.paint = Seconds(Clock::now() - launched);
            break;
        }
    }
    // Running a moment, devices flowing, before it is told to end.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const Clock::time_point terminated = Clock::now();
    ::kill(pid, SIGTERM);
    // The pipe is drained meanwhile, so that no write of the program blocks.
    while (true) {
        if (::waitpid(pid, &run.status, WNOHANG) == pid)
            break;
        pollfd p{pipeFds[0], POLLIN, 0};
        if (::poll(&p, 1, 1) > 0) {
            char buffer[4096];
            if (::read(pipeFds[0], buffer, sizeof buffer) <= 0)
                ::usleep(1000);
        }
    }
    run.exit = Seconds(Clock::now() - terminated);
    ::close(pipeFds[0]);
    if (run.paint < 0)
        std::fprintf(stderr, "tesmar never painted; it said:\n%s\n", seen.c_str());
    return run;
}

double Load1()
{
    double load[1] = {0};
    return ::getloadavg(load, 1) == 1 ? load[0] : -1;
}

void Measure(benchmark::State& state, bool exit)
{
    Rig& rig = TheRig();
    if (!rig.ok) {
        state.SkipWithError("no JACK server or program folder");
        return;
    }
    for (auto _ : state) {
        const Run run = RunOnce(rig);
        if (run.paint < 0 || !WIFEXITED(run.status) || WEXITSTATUS(run.status) != 0) {
            state.SkipWithError("the program did not paint or did not end with status 0");
            return;
        }
        state.SetIterationTime(exit ? run.exit : run.paint);
    }
    state.counters["load1"] = Load1();
}

void LaunchToFirstPaint(benchmark::State& state) { Measure(state, false); }
void TerminateToExit(benchmark::State& state) { Measure(state, true); }

}  // namespace

BENCHMARK(LaunchToFirstPaint)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(TerminateToExit)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(5)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
