#include "JackServer.h"

#include <jack/jack.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace audiotest {

namespace {

// The server of this process, for the exit paths that bypass TearDown.
std::atomic<pid_t> gServerPid{-1};

void SleepMs(long ms)
{
    timespec ts{ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

// Async-signal-safe: kill, waitpid and nanosleep only.
void KillServer(pid_t pid)
{
    if (pid <= 0)
        return;
    ::kill(pid, SIGCONT);  // a suspended server cannot act on SIGTERM
    ::kill(pid, SIGTERM);
    // SIGKILL only as the last resort, and late: a jackd killed while it
    // holds the lock of JACK's per-user metadata database (/dev/shm/jack_db-
    // UID) leaves it held, and every later JACK client of the user on the
    // machine then hangs in jack_client_open. A loaded machine may need
    // seconds for an orderly stop.
    for (int i = 0; i < 3000; ++i) {
        if (::waitpid(pid, nullptr, WNOHANG) == pid)
            return;
        SleepMs(10);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

void KillAtExit() { KillServer(gServerPid.exchange(-1)); }

void KillOnSignal(int sig)
{
    KillServer(gServerPid.exchange(-1));
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

void InstallExitPaths()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    std::atexit(KillAtExit);
    // Requests to end. Crashes are left to the sanitizers' own handlers; the
    // parent-death signal takes the server down with a crashed test.
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
        ::signal(sig, KillOnSignal);
}

bool Alive(pid_t pid) { return pid > 0 && ::waitpid(pid, nullptr, WNOHANG) == 0; }

// JACK registers every server in a table of eight slots in /dev/shm, and a
// server that does not shut down by itself (its test was killed by a time-out
// or a sanitizer) keeps its slot: after eight such deaths no server on the
// machine starts ("Too many servers already active"). jackd reclaims a dead
// server's slot only for a server of the same name, and ours never repeat, so
// the slots of our own dead servers are freed here. The layout is that of
// jack2's shm.h, checked against the header's own sizes before anything is
// touched.
void ReleaseSlotsOfDeadTestServers()
{
    constexpr std::size_t kServers = 8, kNameSize = 257, kHeader = 24;
    constexpr std::size_t kSlot = (sizeof(pid_t) + kNameSize + 3) / 4 * 4;
    const int fd = ::open("/dev/shm/jack-shm-registry", O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat st {};
    void* map = MAP_FAILED;
    if (::fstat(fd, &st) == 0 && std::size_t(st.st_size) >= kHeader + kServers * kSlot)
        map =
            ::mmap(nullptr, kHeader + kServers * kSlot, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    if (map == MAP_FAILED)
        return;
    auto* bytes = static_cast<unsigned char*>(map);
    uint32_t magic = 0, headerLength = 0;
    std::memcpy(&magic, bytes, 4);
    std::memcpy(&headerLength, bytes + 16, 4);
    if (magic == 0x4A41434B && headerLength == kHeader + kServers * kSlot) {  // "JACK"
        for (std::size_t i = 0; i < kServers; ++i) {
            unsigned char* slot = bytes + kHeader + i * kSlot;
            pid_t pid = 0;
            std::memcpy(&pid, slot, sizeof pid);
            const char* name = reinterpret_cast<const char*>(slot + sizeof(pid_t));
            const bool ours = ::strnlen(name, kNameSize) < kNameSize &&
                              std::strstr(name, ":tesmar-test-") != nullptr;
            if (pid > 0 && ours && ::kill(pid, 0) != 0 && errno == ESRCH)
                std::memset(slot, 0, kSlot);
        }
    }
    ::munmap(map, kHeader + kServers * kSlot);
}

}  // namespace

bool JackServer::Installed()
{
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':'))
        if (!dir.empty() && ::access((dir + "/jackd").c_str(), X_OK) == 0)
            return true;
    return false;
}

bool JackServer::Start(std::string& error)
{
    Stop();
    InstallExitPaths();
    ReleaseSlotsOfDeadTestServers();
    static int serial = 0;
    name_ = "tesmar-test-" + std::to_string(::getpid()) + "-" + std::to_string(++serial);
    return Launch(error);
}

bool JackServer::Restart(std::string& error)
{
    if (name_.empty())
        return Start(error);
    const std::string name = name_;
    Stop();
    name_ = name;
    return Launch(error);
}

bool JackServer::Launch(std::string& error)
{
    ::setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
    ::setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
    logPath_ = "/tmp/" + name_ + ".log";

    // Made before the fork: the child of a threaded process must not allocate.
    const std::string period = std::to_string(period_);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        error = std::string("fork: ") + std::strerror(errno);
        return false;
    }
    if (pid == 0) {
        // The server must not outlive the test, even one killed outright.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(127);
        const int log = ::open(logPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (log >= 0) {
            ::dup2(log, 1);
            ::dup2(log, 2);
        }
        ::execlp("jackd", "jackd", "-n", name_.c_str(), "--no-realtime", "-d", "dummy", "-r",
                 "48000", "-p", period.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    pid_ = pid;
    gServerPid.store(pid);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        if (!Alive(pid_)) {
            pid_ = -1;
            gServerPid.store(-1);
            std::ifstream log(logPath_);
            std::stringstream text;
            text << log.rdbuf();
            error = "jackd ended at start:\n" + text.str();
            return false;
        }
        jack_status_t status{};
        if (jack_client_t* probe = jack_client_open("probe", JackNoStartServer, &status)) {
            jack_client_close(probe);
            // The log only matters when the start fails; the server keeps
            // writing into the unlinked file.
            ::unlink(logPath_.c_str());
            return true;
        }
        SleepMs(20);
    }
    Stop();
    error = "jackd did not accept clients";
    return false;
}

void JackServer::Stop()
{
    if (pid_ <= 0)
        return;
    gServerPid.store(-1);
    KillServer(pid_);
    pid_ = -1;
    ::unlink(logPath_.c_str());
    // JACK leaves its semaphores and segments of a server it did not shut
    // down itself behind in /dev/shm; this server's name is ours alone.
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/dev/shm", ec)) {
        const std::string file = entry.path().filename().string();
        if (file.rfind("jack", 0) == 0 && file.find(name_) != std::string::npos)
            std::filesystem::remove(entry.path(), ec);
    }
}

void JackServer::Suspend()
{
    if (pid_ > 0)
        ::kill(pid_, SIGSTOP);
}

void JackServer::Resume()
{
    if (pid_ > 0)
        ::kill(pid_, SIGCONT);
}

}  // namespace audiotest
