// The audio sender against real sockets on the loopback address: the format
// a decoder reads, every block in order, and trouble told once (a port
// nobody listens on, a name that does not resolve) while sending goes on
// without waiting.

#include "remote/AudioSender.h"
#include "remote/AudioDatagrams.h"
#include "tests/support/UdpListener.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

namespace {

using remote::AudioSender;
using tesmar::test::UdpListener;

constexpr int kBlock = 2400;

// Block b's sample n: every value of the 16 bits over the blocks, the sign
// bit and both bytes included.
int16_t SampleOf(int b, int n) { return static_cast<int16_t>(b * 7919 + n * 31 - 32768); }

std::vector<int16_t> BlockOf(int b)
{
    std::vector<int16_t> s(kBlock);
    for (int n = 0; n < kBlock; ++n)
        s[n] = SampleOf(b, n);
    return s;
}

// How often the status went to `state` over the changes taken.
struct Changes {
    int failing = 0, sending = 0;
    std::string problem;
    void Take(AudioSender& sender)
    {
        AudioSender::Status s;
        while (sender.TakeChange(&s)) {
            failing += s.state == AudioSender::State::Failing;
            sending += s.state == AudioSender::State::Sending;
            if (s.state == AudioSender::State::Failing)
                problem = s.problem;
        }
    }
};

TEST(AudioDatagrams, DestinationSyntax)
{
    struct Case {
        const char* text;
        const char* host;  // nullptr: refused
        int32_t port;
    } cases[] = {
        {"7355", "127.0.0.1", 7355},
        {"localhost:9000", "localhost", 9000},
        {"127.0.0.2:1", "127.0.0.2", 1},
        {"[::1]:65535", "::1", 65535},
        {"0", nullptr, 0},
        {"65536", nullptr, 0},
        {"host:", nullptr, 0},
        {":7355", nullptr, 0},
        {"::1:7355", nullptr, 0},
        {"[::1]", nullptr, 0},
        {"7355x", nullptr, 0},
        {"", nullptr, 0},
        {"deco\nder:7355", nullptr, 0},
        {"7355\n", nullptr, 0},
    };
    for (const Case& c : cases) {
        std::string error;
        const auto d = remote::ParseAudioDestination(c.text, &error);
        if (!c.host) {
            EXPECT_FALSE(d) << c.text;
            EXPECT_FALSE(error.empty()) << c.text;
            EXPECT_EQ(error.find('\n'), std::string::npos) << error;  // one line
            continue;
        }
        ASSERT_TRUE(d) << c.text << ": " << error;
        EXPECT_EQ(d->host, c.host);
        EXPECT_EQ(d->port, c.port);
        EXPECT_EQ(remote::ParseAudioDestination(remote::DestinationText(d->host, d->port), &error),
                  d)
            << c.text;
    }
}

TEST(AudioSender, EveryBlockInOrderAsSignedLittleEndianMono)
{
    UdpListener decoder;
    ASSERT_TRUE(decoder.Bound());
    AudioSender sender;
    sender.Start("127.0.0.1", decoder.Port());
    constexpr int kBlocks = 60;
    std::vector<uint8_t> stream;
    for (int b = 0; b < kBlocks; ++b) {
        sender.Send(BlockOf(b).data(), kBlock);
        for (const auto& d : decoder.TakeWaiting()) {
            ASSERT_EQ(d.size(), std::size_t(remote::kDatagramBytes));
            stream.insert(stream.end(), d.begin(), d.end());
        }
    }
    while (stream.size() < std::size_t(kBlocks) * kBlock * 2) {
        const std::vector<uint8_t> d = decoder.Receive(5000);
        ASSERT_FALSE(d.empty()) << "datagrams lost after " << stream.size() << " bytes";
        stream.insert(stream.end(), d.begin(), d.end());
    }
    ASSERT_EQ(stream.size(), std::size_t(kBlocks) * kBlock * 2);
    for (int b = 0; b < kBlocks; ++b)
        for (int n = 0; n < kBlock; ++n) {
            const std::size_t at = 2 * (std::size_t(b) * kBlock + n);
            const auto value = static_cast<int16_t>(stream[at] | stream[at + 1] << 8);
            ASSERT_EQ(value, SampleOf(b, n)) << "block " << b << " sample " << n;
        }
    EXPECT_EQ(sender.SentDatagrams(), kBlocks * 5);
    EXPECT_EQ(sender.DroppedDatagrams(), 0);
    Changes c;
    c.Take(sender);
    EXPECT_EQ(c.failing, 0);
}

// Nobody listens: the system refuses every other datagram, and the sender
// says so once; a decoder that starts listening there mends it, once.
TEST(AudioSender, ClosedPortToldOnceAndMendedOnce)
{
    const uint16_t port = tesmar::test::ClosedUdpPort();
    AudioSender sender;
    sender.Start("127.0.0.1", port);
    Changes c;
    const std::vector<int16_t> block = BlockOf(1);
    for (int b = 0; b < 100; ++b) {
        sender.Send(block.data(), kBlock);
        c.Take(sender);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(c.failing, 1);
    EXPECT_NE(c.problem.find("refused"), std::string::npos) << c.problem;
    EXPECT_GT(sender.DroppedDatagrams(), 0);

    UdpListener decoder(port);
    ASSERT_TRUE(decoder.Bound());
    for (int b = 0; b < AudioSender::kMendBlocks + 5; ++b) {
        sender.Send(block.data(), kBlock);
        c.Take(sender);
    }
    EXPECT_EQ(c.failing, 1);
    EXPECT_EQ(c.sending, 1);
    EXPECT_EQ(sender.CurrentStatus().state, AudioSender::State::Sending);
    EXPECT_FALSE(decoder.TakeWaiting().empty());
}

// A name under the reserved .invalid domain never resolves: blocks are
// dropped without waiting while it is looked up, and the failure is told
// once however many blocks follow, the look-ups tried again meanwhile
// included.
TEST(AudioSender, NameThatDoesNotResolveToldOnce)
{
    AudioSender sender;
    sender.Start("no-such-decoder.invalid", 7355);
    EXPECT_EQ(sender.CurrentStatus().state, AudioSender::State::Resolving);
    Changes c;
    const std::vector<int16_t> block = BlockOf(2);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (sender.CurrentStatus().state == AudioSender::State::Resolving &&
           std::chrono::steady_clock::now() < until) {
        sender.Send(block.data(), kBlock);
        c.Take(sender);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    for (int b = 0; b < 2 * AudioSender::kLookupAgainBlocks + 100; ++b) {
        sender.Send(block.data(), kBlock);
        c.Take(sender);
        if (b > AudioSender::kLookupAgainBlocks)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(c.failing, 1);
    EXPECT_NE(c.problem.find("no-such-decoder.invalid"), std::string::npos) << c.problem;
    EXPECT_EQ(sender.SentDatagrams(), 0);
}

}  // namespace
