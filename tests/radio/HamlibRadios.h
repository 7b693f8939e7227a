#pragma once

#include <QProcess>
#include <QSocketNotifier>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace radio::test {

// Hamlib's own dummy radio served by a rigctld of the test's, on a free
// local port. The process always ends with the fixture (SIGTERM, then
// SIGKILL), also when a test fails half-way.
class Rigctld {
public:
    Rigctld();
    ~Rigctld();

    // "127.0.0.1:PORT", as Tesmar's Hamlib port names it.
    std::string Address() const;
    // Starts (again, on the same port) and waits until it accepts.
    bool Start();
    void Stop();
    // One command of Hamlib's own client against it ("f", "F 7100000", "m",
    // "M USB 0"); its output, lines joined by '\n'.
    std::string Rigctl(const std::string& arguments) const;
    // The server's process, for the benchmark's reading of its CPU time.
    qint64 Pid() const { return process_.processId(); }

private:
    uint16_t port_ = 0;
    QProcess process_;
};

// A TCP server on a free local port that accepts connections and never
// answers: the kernel completes every handshake into the listening socket's
// backlog, and nothing is ever read. Connections() counts those made so far.
class BlackHole {
public:
    BlackHole();
    ~BlackHole();
    BlackHole(const BlackHole&) = delete;
    BlackHole& operator=(const BlackHole&) = delete;

    std::string Address() const;
    // Takes the connections waiting in the backlog (kept open, unanswered).
    int Connections();

private:
    int listener_ = -1;
    uint16_t port_ = 0;
    std::vector<int> accepted_;
};

// A Kenwood CAT radio (the TS-480's command set: ID, FA, IF, MD, ...) on the
// far end of a pseudo-terminal, answered from the test's event loop. Its
// device is reached through a link of a fixed name, so that a radio
// unplugged and plugged in again comes back under the name the program opened.
class KenwoodPty {
public:
    explicit KenwoodPty(std::filesystem::path link);
    ~KenwoodPty();

    std::string Path() const { return link_.string(); }
    // The radio's dial and its Kenwood mode code (1 LSB, 2 USB, 3 CW, 4 FM, 5 AM).
    int64_t frequency = 14074000;
    int mode = 2;
    // Reads every command, answers none.
    bool silent = false;

    // The device goes away (both ends closed) and, with PlugIn, comes back.
    void Unplug();
    void PlugIn();

private:
    void Take();
    void Answer(const std::string& command);

    std::filesystem::path link_;
    int master_ = -1;
    int slave_ = -1;
    std::string partial_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace radio::test
