#include "CoreFixture.h"

#include "core/TerminationSignals.h"

#include <QProcess>

#include <csignal>

namespace core::test {
namespace {

TEST(TerminationSignals, SigtermAndSigintArriveOnTheMainThread)
{
    TerminationSignals handlers;
    ASSERT_TRUE(handlers.Active());
    std::vector<int> received;
    QObject::connect(&handlers, &TerminationSignals::TerminationRequested,
                     [&](int n) { received.push_back(n); });
    ASSERT_EQ(::raise(SIGTERM), 0);
    ASSERT_TRUE(RunUntil([&] { return received.size() == 1; }));
    ASSERT_EQ(::raise(SIGINT), 0);
    ASSERT_TRUE(RunUntil([&] { return received.size() == 2; }));
    EXPECT_EQ(received, (std::vector<int>{SIGTERM, SIGINT}));
}

TEST(TerminationSignals, TheHandlersAreGivenBack)
{
    struct sigaction before {};
    ::sigaction(SIGTERM, nullptr, &before);
    {
        TerminationSignals handlers;
        ASSERT_TRUE(handlers.Active());
        TerminationSignals second;  // one at a time
        EXPECT_FALSE(second.Active());
    }
    struct sigaction after {};
    ::sigaction(SIGTERM, nullptr, &after);
    EXPECT_EQ(after.sa_handler, before.sa_handler);
    // A new instance works again.
    TerminationSignals again;
    EXPECT_TRUE(again.Active());
}

// A close that hangs, or a main thread stuck before it could even read the
// signal, must not keep the program from ending: a logout or a service stop
// would otherwise wait for the SIGKILL that comes some seconds later.
TEST(TerminationSignals, TheDeadlineEndsAProgramThatDoesNotEnd)
{
    for (const char* where : {"close", "busy"}) {
        SCOPED_TRACE(where);
        QProcess helper;
        helper.start(QString::fromStdString(TESMAR_TERMINATION_HANG_HELPER), {where});
        ASSERT_TRUE(helper.waitForStarted());
        ASSERT_TRUE(helper.waitForReadyRead(30000));
        ASSERT_EQ(helper.readLine().trimmed(), "ready");
        ASSERT_EQ(::kill(static_cast<pid_t>(helper.processId()), SIGTERM), 0);
        const bool ended = helper.waitForFinished(5000);
        if (!ended) {
            helper.kill();
            helper.waitForFinished();
        }
        ASSERT_TRUE(ended);
        EXPECT_EQ(helper.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(helper.exitCode(), 128 + SIGTERM);
        EXPECT_TRUE(helper.readAllStandardError().contains("ending now"));
    }
}

}  // namespace
}  // namespace core::test
