// A program whose close hangs: it sets up the termination signals with a
// deadline of one second, says "ready" and then, on the signal, hangs for
// good. With the argument "busy" its main thread hangs right after "ready",
// before it could ever read the signal. The deadline alone must end it.

#include "core/TerminationSignals.h"

#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {

[[noreturn]] void HangForGood()
{
    for (;;)
        std::this_thread::sleep_for(std::chrono::hours(1));
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    core::TerminationSignals termination(nullptr, std::chrono::milliseconds(1000));
    if (!termination.Active())
        return 3;
    QObject::connect(&termination, &core::TerminationSignals::TerminationRequested,
                     [](int) { HangForGood(); });
    std::puts("ready");
    std::fflush(stdout);
    if (argc > 1 && std::strcmp(argv[1], "busy") == 0)
        HangForGood();
    return app.exec();
}
