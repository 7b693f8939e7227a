#include "core/TerminationSignals.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <semaphore.h>
#include <sys/socket.h>
#include <unistd.h>

namespace core {
namespace {

// [0] is written by the handler, [1] read on the main thread.
int g_pipe[2] = {-1, -1};
struct sigaction g_oldInt;
struct sigaction g_oldTerm;

// The deadline's watchdog: the handler posts the semaphore (safe in a signal
// handler), the thread then waits out the deadline unless told to stop.
sem_t g_signalled;
std::atomic<bool> g_watching{false};
volatile sig_atomic_t g_firstSignal = 0;
std::mutex g_stopMutex;
std::condition_variable g_stopChanged;
bool g_stop = false;

extern "C" void OnTerminationSignal(int signalNumber)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    // Non-blocking: a flood of signals can fill the socket, never stall here.
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[0], &byte, 1);
    if (g_watching.load(std::memory_order_relaxed)) {
        if (g_firstSignal == 0)
            g_firstSignal = signalNumber;
        ::sem_post(&g_signalled);
    }
    errno = saved;
}

void Watch(std::chrono::milliseconds deadline)
{
    while (::sem_wait(&g_signalled) != 0 && errno == EINTR) {
    }
    std::unique_lock lock(g_stopMutex);
    if (g_stopChanged.wait_for(lock, deadline, [] { return g_stop; }))
        return;
    const int signalNumber = g_firstSignal;
    char message[160];
    const int length = std::snprintf(message, sizeof message,
                                     "tesmar: still running %lld ms after signal %d; ending now\n",
                                     static_cast<long long>(deadline.count()), signalNumber);
    if (length > 0) {
        [[maybe_unused]] const ssize_t n =
            ::write(STDERR_FILENO, message, static_cast<std::size_t>(length));
    }
    ::_exit(128 + signalNumber);
}

}  // namespace

TerminationSignals::TerminationSignals(QObject* parent, std::chrono::milliseconds deadline)
    : QObject(parent)
{
    if (g_pipe[0] >= 0)
        return;  // another instance holds the handlers
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_pipe) != 0) {
        g_pipe[0] = g_pipe[1] = -1;
        return;
    }
    ::fcntl(g_pipe[0], F_SETFL, ::fcntl(g_pipe[0], F_GETFL) | O_NONBLOCK);
    ::fcntl(g_pipe[1], F_SETFL, ::fcntl(g_pipe[1], F_GETFL) | O_NONBLOCK);

    notifier_ = new QSocketNotifier(g_pipe[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TerminationSignals::OnReadable);

    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    if (deadline.count() > 0 && ::sem_init(&g_signalled, 0, 0) == 0) {
        g_stop = false;
        g_firstSignal = 0;
        watchdog_ = std::thread(Watch, deadline);
        g_watching = true;
    }
    const bool ok = ::sigaction(SIGINT, &action, &g_oldInt) == 0 &&
                    ::sigaction(SIGTERM, &action, &g_oldTerm) == 0;
    active_ = ok;
}

TerminationSignals::~TerminationSignals()
{
    if (!notifier_)
        return;
    ::sigaction(SIGINT, &g_oldInt, nullptr);
    ::sigaction(SIGTERM, &g_oldTerm, nullptr);
    if (watchdog_.joinable()) {
        g_watching = false;
        {
            std::lock_guard lock(g_stopMutex);
            g_stop = true;
        }
        g_stopChanged.notify_all();
        ::sem_post(&g_signalled);
        watchdog_.join();
        ::sem_destroy(&g_signalled);
    }
    delete notifier_;
    notifier_ = nullptr;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void TerminationSignals::OnReadable()
{
    unsigned char bytes[16];
    const ssize_t n = ::read(g_pipe[1], bytes, sizeof bytes);
    for (ssize_t i = 0; i < n; ++i)
        emit TerminationRequested(bytes[i]);
}

}  // namespace core
