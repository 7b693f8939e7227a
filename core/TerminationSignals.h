#pragma once

#include <QObject>

class QSocketNotifier;

namespace core {

// Turns SIGINT and SIGTERM into a signal on the main thread, so that the end
// of a desktop session or a Ctrl+C closes the main window as its close button
// does (settings saved, files closed). The signal handler only writes a byte
// to a socket pair; a socket notifier on the main thread reads it.
//
// One instance at a time; it restores the previous handlers when destroyed.
class TerminationSignals : public QObject {
    Q_OBJECT

public:
    explicit TerminationSignals(QObject* parent = nullptr);
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
};

}  // namespace core
