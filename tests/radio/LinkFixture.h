#pragma once

#include "PtyRadio.h"
#include "radio/RadioLink.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace radio::test {

// A link opened on a pseudo-terminal with the radio simulator behind it.
// Polls are driven by the test, one per simulated audio block, and the
// link's own stand-in poll is off unless a test turns it on.
class LinkFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        link.SetIdlePollEnabled(false);
        QObject::connect(&link, &RadioLink::RadioLinkOkChanged,
                         [this](bool on) { lampChanges.push_back(on); });
        QObject::connect(&link, &RadioLink::CommandFinished,
                         [this](bool ok) { finished.push_back(ok); });
        QObject::connect(&link, &RadioLink::PortLost, [this] { ++portLost; });
    }

    void Open(int32_t radioType = 0)
    {
        ASSERT_TRUE(link.OpenRadioPort(radio.Path(), radioType));
        ASSERT_TRUE(link.PortOpen());
    }

    // Sends bytes from the radio and waits until the link's port holds them,
    // so the next poll sees exactly these bytes.
    void Deliver(std::string_view bytes)
    {
        const qint64 target = link.BytesWaiting() + static_cast<qint64>(bytes.size());
        radio.Write(bytes);
        ASSERT_TRUE(RunUntil([&] { return link.BytesWaiting() >= target; }));
    }

    // Commands the link has written so far (waits for the count given).
    std::vector<std::string> Written(std::size_t atLeast = 0)
    {
        EXPECT_TRUE(radio.WaitForLines(atLeast));
        return radio.Lines();
    }

    // Nothing more than `count` lines and no stray bytes have been written.
    void ExpectNothingMoreWritten(std::size_t count)
    {
        PumpBriefly();
        radio.Drain();
        EXPECT_EQ(radio.Lines().size(), count);
    }

    // One audio block: the radio answers what it has read, the answers reach
    // the port, and the block's poll runs.
    void RespondAndPoll()
    {
        radio.Drain();
        const std::size_t sentBefore = radio.BytesSent();
        radio.AnswerNew();
        const qint64 target =
            link.BytesWaiting() + static_cast<qint64>(radio.BytesSent() - sentBefore);
        ASSERT_TRUE(RunUntil([&] { return link.BytesWaiting() >= target; }));
        link.PollRadioPort();
        radio.Drain();
    }

    void Polls(int n)
    {
        for (int i = 0; i < n; ++i)
            link.PollRadioPort();
    }

    // Lets the real time of the reply time-out pass since the last write:
    // polls alone never end a command before it.
    static void WaitOutTheReplyTime()
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(RadioLink::kReplyTimeoutMs));
    }

    // A command acknowledged, so that the lamp is lit.
    void LightLamp(std::string_view command = "AL~IQ0\r\n")
    {
        link.SendRadioCommand(command);
        Written(radio.Lines().size() + 1);
        radio.Drain();
        std::string echo(command);
        Deliver(echo + "OK\r\n");
        link.PollRadioPort();
        ASSERT_TRUE(link.RadioLinkOk());
        ASSERT_FALSE(link.CommandPending());
    }

    PtyRadio radio;
    RadioLink link;
    std::vector<bool> lampChanges;
    std::vector<bool> finished;
    int portLost = 0;
};

}  // namespace radio::test
