#include "CoreFixture.h"

#include "core/TerminationSignals.h"

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

}  // namespace
}  // namespace core::test
