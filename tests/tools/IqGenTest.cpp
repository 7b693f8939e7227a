#include "tools/IqGen.h"

#include "dsp/Spectrum.h"
#include "recording/RawIqFile.h"
#include "recording/TestFiles.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>
#include <memory>

using tools::IqGenOptions;
using tools::ParseIqGenArgs;

namespace {

// The strongest spectrum bin of one generated block.
int PeakBin(const IqGenOptions& o)
{
    std::vector<int16_t> frames(recording::kRawBlockSamples);
    tools::GenerateIqBlock(o, 0, frames.data());
    std::vector<double> i(recording::kRawBlockFrames), q(recording::kRawBlockFrames);
    for (int n = 0; n < recording::kRawBlockFrames; ++n) {
        i[n] = frames[2 * n];
        q[n] = frames[2 * n + 1];
    }
    auto analyzer = std::make_unique<dsp::SpectrumAnalyzer>();
    std::vector<double> db(dsp::kSpectrumSize);
    analyzer->Analyze(i.data(), q.data(), db.data());
    return static_cast<int>(std::max_element(db.begin(), db.end()) - db.begin());
}

}  // namespace

TEST(IqGenTest, CarrierSitsAtItsOffsetInTheReceiversSpectrum)
{
    IqGenOptions o;
    o.tone = 0;
    o.offset = 1500;
    EXPECT_EQ(PeakBin(o), 64);
    o.offset = -1500;
    EXPECT_EQ(PeakBin(o), 1984);
    o.offset = -12000;
    EXPECT_EQ(PeakBin(o), 1536);
}

TEST(IqGenTest, AmEnvelopeFollowsTheTone)
{
    IqGenOptions o;
    o.offset = 3000;
    o.tone = 1000;
    o.depth = 0.5;
    o.amplitude = 10000;
    std::vector<int16_t> f(recording::kRawBlockSamples);
    tools::GenerateIqBlock(o, 0, f.data());
    auto env = [&](int n) { return std::hypot(double(f[2 * n]), double(f[2 * n + 1])); };
    EXPECT_NEAR(env(0), 15000, 1.0);  // tone at its peak
    EXPECT_NEAR(env(24), 5000, 1.0);  // half a period of 1 kHz later
    EXPECT_NEAR(env(48), 15000, 1.0);
    EXPECT_NEAR(env(12), 10000, 1.0);  // zero crossing of the tone
}

TEST(IqGenTest, BlocksContinueWithoutAPhaseJump)
{
    IqGenOptions o;
    o.tone = 0;
    o.offset = 777;
    std::vector<int16_t> a(recording::kRawBlockSamples), b(recording::kRawBlockSamples);
    tools::GenerateIqBlock(o, 41, a.data());
    tools::GenerateIqBlock(o, 42, b.data());
    // The sample after the last of block 41 is the first of block 42.
    const double step = 2 * M_PI * 777 / 48000.0;
    const double last = std::atan2(a[2 * 2399], a[2 * 2399 + 1]);
    const double next = std::atan2(b[0], b[1]);
    EXPECT_NEAR(std::remainder(next - last - step, 2 * M_PI), 0.0, 1e-3);
}

TEST(IqGenTest, ClipsAtFullScale)
{
    IqGenOptions o;
    o.amplitude = 32767;
    o.depth = 1.0;
    std::vector<int16_t> f(recording::kRawBlockSamples);
    tools::GenerateIqBlock(o, 0, f.data());
    EXPECT_EQ(*std::max_element(f.begin(), f.end()), 32767);
    EXPECT_EQ(*std::min_element(f.begin(), f.end()), -32767);
}

TEST(IqGenTest, ParsesOptions)
{
    IqGenOptions o;
    std::string e;
    ASSERT_TRUE(
        ParseIqGenArgs({"--seconds",       "1.01", "--center", "145000000", "--offset",    "-3000",
                        "--tone",          "700",  "--depth",  "80",        "--amplitude", "1000",
                        "--noise",         "5",    "--seed",   "9",         "--time",      "090507",
                        "--no-end-marker", "x.dat"},
                       o, &e))
        << e;
    EXPECT_EQ(o.blocks, 21);  // rounded up to whole blocks
    EXPECT_EQ(o.center, 145000000);
    EXPECT_EQ(o.offset, -3000);
    EXPECT_EQ(o.tone, 700);
    EXPECT_DOUBLE_EQ(o.depth, 0.8);
    EXPECT_DOUBLE_EQ(o.amplitude, 1000);
    EXPECT_DOUBLE_EQ(o.noise, 5);
    EXPECT_EQ(o.seed, 9u);
    EXPECT_TRUE(o.startGiven);
    EXPECT_EQ(o.start.hour, 9);
    EXPECT_EQ(o.start.minute, 5);
    EXPECT_EQ(o.start.second, 7);
    EXPECT_FALSE(o.endMarker);
    EXPECT_EQ(o.output, "x.dat");

    IqGenOptions p;
    ASSERT_TRUE(ParseIqGenArgs({"--blocks=7", "--seconds=100", "y.dat"}, p, &e));
    EXPECT_EQ(p.blocks, 7);
    IqGenOptions d;
    ASSERT_TRUE(ParseIqGenArgs({"z.dat"}, d, &e));
    EXPECT_EQ(d.blocks, 100);
    EXPECT_EQ(d.offset, -12000);
    EXPECT_EQ(d.center, 5012000);
}

TEST(IqGenTest, RefusesBadOptions)
{
    for (std::vector<std::string> args : {std::vector<std::string>{},
                                          {"a.dat", "b.dat"},
                                          {"--tone", "x", "a.dat"},
                                          {"--offset", "30000", "a.dat"},
                                          {"--depth", "101", "a.dat"},
                                          {"--time", "250000", "a.dat"},
                                          {"--time", "12345", "a.dat"},
                                          {"--seconds", "-1", "a.dat"},
                                          {"--blocks", "-3", "a.dat"},
                                          {"--amplitude", "nan", "a.dat"},
                                          {"--what", "1", "a.dat"},
                                          {"a.dat", "--tone"}}) {
        IqGenOptions o;
        std::string e;
        EXPECT_FALSE(ParseIqGenArgs(args, o, &e)) << (args.empty() ? "" : args[0]);
        EXPECT_FALSE(e.empty());
    }
}

TEST(IqGenTest, WritesARecordingThePlayerAccepts)
{
    TempDir dir;
    IqGenOptions o;
    o.output = dir / "g.dat";
    o.blocks = 3;
    o.center = 145000000;
    o.startGiven = true;
    o.start.hour = 23;
    o.start.minute = 59;
    o.start.second = 50;
    std::string e;
    ASSERT_TRUE(tools::WriteIqFile(o, &e)) << e;
    const auto bytes = ReadBytes(o.output);
    ASSERT_EQ(bytes.size(), 19u + 3u * 9600u + 16u);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 8, bytes.begin() + 19),
              (std::vector<uint8_t>{'2', '3', '5', '9', '5', '0', 0x00, 0x08, 0xA4, 0x86, 0x40}));

    auto player = std::make_unique<recording::RawPlayer>();
    ASSERT_EQ(player->Open(o.output).status, recording::RawHeaderStatus::Accepted);
    std::vector<int16_t> expected(recording::kRawBlockSamples);
    for (int k = 0; k < 3; ++k) {
        ASSERT_EQ(player->Pump(), recording::RawPlayer::Step::Block);
        tools::GenerateIqBlock(o, k, expected.data());
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), player->Frames())) << k;
    }
    EXPECT_EQ(player->Pump(), recording::RawPlayer::Step::FinalBlock);
    EXPECT_TRUE(player->EndMarkerSeen());

    o.endMarker = false;
    ASSERT_TRUE(tools::WriteIqFile(o, &e)) << e;
    EXPECT_EQ(ReadBytes(o.output).size(), 19u + 3u * 9600u);
    // Nothing but the file itself is left in the folder.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST(IqGenTest, UnwritableOutputLeavesNothing)
{
    TempDir dir;
    IqGenOptions o;
    o.output = dir.Path() / "no" / "g.dat";
    o.blocks = 1;
    std::string e;
    EXPECT_FALSE(tools::WriteIqFile(o, &e));
    EXPECT_NE(e.find(o.output.string()), std::string::npos) << e;
    o.output = dir.Path();
    EXPECT_FALSE(tools::WriteIqFile(o, &e));
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}
