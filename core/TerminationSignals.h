#pragma once

#include <QObject>

#include <chrono>
#include <thread>

class QSocketNotifier;

namespace core {

// Turns SIGINT and SIGTERM into a signal on the main thread, so that the end
// of a desktop session or a Ctrl+C closes the main window as its close button
// does (settings saved, files closed). The signal handler only writes a byte
// to a socket pair; a socket notifier on the main thread reads it.
//
// With a deadline, a program that has not ended that long after the first
// signal ends itself (exit status 128 + the signal's number), whatever holds
// it up: the clock is started by the signal handler, so a main thread that
// hangs cannot stop it. A logout or a service stop then never waits for the
// SIGKILL that follows.
//
// One instance at a time; it restores the previous handlers when destroyed.
class TerminationSignals : public QObject {
    Q_OBJECT

public:
    explicit TerminationSignals(QObject* parent = nullptr,
                                std::chrono::milliseconds deadline = std::chrono::milliseconds{0});
    ~TerminationSignals() override;

    // False when the socket pair or the handlers could not be set up.
    bool Active() const { return active_; }

signals:
    // Connect to the main window's close().
    void TerminationRequested(int signalNumber);

private:
    void OnReadable();

    QSocketNotifier* notifier_ = nullptr;
    bool active_ = false;
    std::thread watchdog_;
};

}  // namespace core
