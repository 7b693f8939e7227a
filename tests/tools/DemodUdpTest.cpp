// tesmar-demod --udp and --udp-fast as a decoder hears them: the chain's own
// decoder feed, every block in order, and direwolf decoding the packets of an
// FM recording streamed at real time.

#include "ProgramRun.h"
#include "dsp/SignalChain.h"
#include "recording/IqPlayer.h"
#include "tests/support/PacketRadio.h"
#include "tests/support/UdpListener.h"
#include "tools/Demod.h"

#include <chrono>
#include <thread>

namespace {

using tesmar::test::UdpListener;

const std::vector<std::string> kPackets = {"tesmar packet one", "tesmar packet two",
                                           "tesmar packet three"};

// The options each case reads, checked before anything runs.
TEST(DemodUdpOptions, DestinationAndOptionalOutput)
{
    struct Case {
        std::vector<std::string> args;
        bool ok;
        const char* host;
        int32_t port;
        bool fast;
        bool output;
    } cases[] = {
        {{"--udp", "7355", "in.dat"}, true, "127.0.0.1", 7355, false, false},
        {{"--udp-fast", "[::1]:7400", "in.dat", "out.wav"}, true, "::1", 7400, true, true},
        {{"--udp", "decoder:7356", "in.dat"}, true, "decoder", 7356, false, false},
        {{"--udp", "0", "in.dat"}, false, nullptr, 0, false, false},
        {{"--udp", "7355"}, false, nullptr, 0, false, false},
        {{"in.dat"}, false, nullptr, 0, false, false},
    };
    for (const Case& c : cases) {
        tools::DemodOptions o;
        std::string error;
        ASSERT_EQ(tools::ParseDemodArgs(c.args, o, &error), c.ok) << c.args[0] << ": " << error;
        if (!c.ok)
            continue;
        EXPECT_EQ(o.udp->host, c.host);
        EXPECT_EQ(o.udp->port, c.port);
        EXPECT_EQ(o.udpFast, c.fast);
        EXPECT_EQ(!o.output.empty(), c.output);
        EXPECT_TRUE(tools::ChainControlsFor(o).DecoderFeed);
    }
}

// --udp-fast: the datagrams are the chain's decoder feed for every block of
// the recording, in order, bit for bit, while VOL is at its stop and 3D on.
TEST_F(DemodFixture, UdpFastSendsTheChainsDecoderFeedForEveryBlock)
{
    const auto input = Make("am.dat", {"--blocks", "40", "--noise", "300"});
    UdpListener decoder;
    ASSERT_TRUE(decoder.Bound());
    const std::vector<std::string> settings = {"--set", "GainPos=-150", "--set", "DSP3D=1"};
    std::vector<std::string> args = settings;
    args.insert(args.end(), {"--udp-fast", std::to_string(decoder.Port()), input.string()});
    ProcResult r;
    std::thread run([&] { r = Demod(args, dir.Path()); });
    std::vector<uint8_t> stream;
    for (std::vector<uint8_t> d = decoder.Receive(20000); !d.empty(); d = decoder.Receive(2000)) {
        ASSERT_EQ(d.size(), 960u);
        stream.insert(stream.end(), d.begin(), d.end());
    }
    run.join();
    ASSERT_EQ(r.status, 0) << r.err;

    tools::DemodOptions o;
    std::string error;
    ASSERT_TRUE(tools::ParseDemodArgs(args, o, &error)) << error;
    dsp::ChainControls c = tools::ChainControlsFor(o);
    dsp::SignalChain chain(c);
    chain.Setup();
    recording::IqPlayer player;
    ASSERT_EQ(player.Open(input).status, recording::RawHeaderStatus::Accepted);
    std::size_t at = 0, blocks = 0;
    // The recording is whole blocks: the zero-padded block at its end marker
    // holds none of it and is not sent.
    for (auto step = player.Pump();
         step != recording::RawPlayer::Step::Idle && step != recording::RawPlayer::Step::FinalBlock;
         step = player.Pump(), ++blocks) {
        chain.ProcessBlock(player.Frames());
        for (int16_t s : chain.Outputs().DecoderAudio) {
            ASSERT_LT(at + 1, stream.size()) << "block " << blocks;
            ASSERT_EQ(int16_t(stream[at] | stream[at + 1] << 8), s) << "block " << blocks;
            at += 2;
        }
    }
    EXPECT_EQ(at, stream.size());
    EXPECT_EQ(blocks, 40u);
}

// --udp at real time: direwolf, listening on UDP, decodes every packet of an
// FM recording; no block went out before its time.
TEST_F(DemodFixture, DirewolfDecodesPacketsStreamedAtRealTime)
{
    if (!tesmar::test::PacketToolsInstalled())
        GTEST_SKIP() << "direwolf is not installed (scripts/deps installs it)";
    const std::vector<int16_t> audio = tesmar::test::PacketAudio(dir.Path(), kPackets);
    ASSERT_FALSE(audio.empty());
    const auto input = dir / "packets.dat";
    const int blocks = tesmar::test::WriteFmRecording(input, audio, -12000.0);
    ASSERT_GT(blocks, 0);
    const uint16_t port = tesmar::test::ClosedUdpPort();
    tesmar::test::Direwolf direwolf;
    ASSERT_TRUE(direwolf.Start(dir.Path(), port)) << direwolf.Output();
    const auto start = std::chrono::steady_clock::now();
    const ProcResult r = Demod({"--set", "RxMode=1", "--set", "IFBW=3", "--udp",
                                "127.0.0.1:" + std::to_string(port), input.string()},
                               dir.Path());
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_EQ(r.status, 0) << r.err;
    // Block n goes out no sooner than n blocks' time after the first.
    EXPECT_GE(took, std::chrono::milliseconds(50) * (blocks - 1));
    EXPECT_TRUE(direwolf.AwaitDecoded(kPackets, 20)) << direwolf.Output();
}

}  // namespace
