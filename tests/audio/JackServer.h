#pragma once

#include <sys/types.h>

#include <string>

namespace audiotest {

// A private JACK server with the dummy driver (48000 Hz, 2400-frame periods
// unless SetPeriod chose another length),
// started for one test and stopped by its process id. Its name carries our
// process id, so tests running side by side never meet, and it is exported as
// JACK_DEFAULT_SERVER so that every client of this process finds it.
//
// The server goes away with the test whatever happens: Stop() in the fixture's
// TearDown, an atexit handler and fatal-signal handlers in this process, and
// the kernel's parent-death signal should this process be killed outright.
class JackServer {
public:
    // jackd can be found on PATH.
    static bool Installed();

    JackServer() = default;
    JackServer(const JackServer&) = delete;
    JackServer& operator=(const JackServer&) = delete;
    ~JackServer() { Stop(); }

    // The period of the next Start, in frames.
    void SetPeriod(int frames) { period_ = frames; }
    int Period() const { return period_; }

    // Starts the server and waits until it accepts clients. On failure error
    // holds the reason and the server's own output.
    bool Start(std::string& error);
    // Starts it again under the name it had (a server that comes back).
    bool Restart(std::string& error);
    void Stop();
    bool Running() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }
    const std::string& Name() const { return name_; }

    // Freezes and thaws the whole server: its periods stop, so the devices
    // neither take nor give frames meanwhile.
    void Suspend();
    void Resume();

private:
    bool Launch(std::string& error);

    pid_t pid_ = -1;
    int period_ = 2400;
    std::string name_;
    std::string logPath_;
};

}  // namespace audiotest
