#pragma once

// Waiting with the Qt event loop running, so that the queued calls, timers
// and socket notifiers of the code under test get their turn. Every wait is
// bounded: a fault shows as a failed condition, never as a hung test.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <functional>

namespace tesmar::test {

// Runs the event loop until pred holds; false when the generous guard ran out.
inline bool RunUntil(const std::function<bool()>& pred, int guardMs = 30000)
{
    const QDeadlineTimer guard(guardMs);
    while (!pred()) {
        if (guard.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QCoreApplication::sendPostedEvents();
        QThread::usleep(200);
    }
    return true;
}

// Lets queued events run for a moment (a few loop passes).
inline void PumpBriefly()
{
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(1000);
    }
}

}  // namespace tesmar::test
