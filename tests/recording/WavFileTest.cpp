#include "recording/WavFile.h"
#include "TestFiles.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace recording;

namespace {

std::vector<int16_t> Samples(int16_t seed)
{
    std::vector<int16_t> s(kWaveRecSamples);
    for (int i = 0; i < kWaveRecSamples; ++i)
        s[i] = static_cast<int16_t>(seed * 100 + i * 77 - 15000);
    s[0] = -32767;
    s[1] = 32767;
    return s;
}

void ExpectHeader(const std::vector<uint8_t>& b, uint32_t rate, uint16_t channels,
                  uint32_t dataLength, uint32_t riffSize)
{
    ASSERT_GE(b.size(), 44u);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
    EXPECT_EQ(Le32(b, 4), riffSize);
    EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 12), "WAVE");
    EXPECT_EQ(std::string(b.begin() + 12, b.begin() + 16), "fmt ");
    EXPECT_EQ(Le32(b, 16), 16u);
    EXPECT_EQ(Le16(b, 20), 1u);
    EXPECT_EQ(Le16(b, 22), channels);
    EXPECT_EQ(Le32(b, 24), rate);
    EXPECT_EQ(Le32(b, 28), rate * channels * 2u);
    EXPECT_EQ(Le16(b, 32), channels * 2u);
    EXPECT_EQ(Le16(b, 34), 16u);
    EXPECT_EQ(std::string(b.begin() + 36, b.begin() + 40), "data");
    EXPECT_EQ(Le32(b, 40), dataLength);
}

}  // namespace

TEST(WavHeader, RecorderFormatBytes)
{
    uint8_t h[kWavHeaderSize];
    EncodeWavHeader(h, 8000, 1, 0);
    const std::vector<uint8_t> b(h, h + kWavHeaderSize);
    ExpectHeader(b, 8000, 1, 0, 36);
    EXPECT_EQ(Le32(b, 28), 16000u);
    EXPECT_EQ(Le16(b, 32), 2u);
}

// WAV readers refuse a RIFF size of 0: an empty recording still says 36.
TEST(WaveRecorderTest, NoBlocksLeavesAnEmptyValidFile)
{
    TempDir dir;
    WaveRecorder rec;
    ASSERT_TRUE(rec.Start(dir / "a.wav"));
    EXPECT_TRUE(rec.IsOpen());
    EXPECT_STREQ(rec.TimeText(), "00:00:00");
    EXPECT_TRUE(rec.Stop());
    EXPECT_FALSE(rec.IsOpen());
    const auto b = ReadBytes(dir / "a.wav");
    EXPECT_EQ(b.size(), 44u);
    ExpectHeader(b, 8000, 1, 0, 36);
}

TEST(WaveRecorderTest, ValidAfterEveryBlock)
{
    TempDir dir;
    WaveRecorder rec;
    ASSERT_TRUE(rec.Start(dir / "a.wav"));
    std::vector<int16_t> all;
    for (int k = 1; k <= 5; ++k) {
        const auto s = Samples(static_cast<int16_t>(k));
        ASSERT_TRUE(rec.RecordBlock(s.data()));
        all.insert(all.end(), s.begin(), s.end());
        // Read while still open: what a crash at this moment would leave.
        const auto b = ReadBytes(dir / "a.wav");
        ASSERT_EQ(b.size(), 44u + 800u * k);
        ExpectHeader(b, 8000, 1, 800u * k, 800u * k + 36u);
        EXPECT_EQ(rec.BlockCount(), k);
    }
    EXPECT_TRUE(rec.Stop());
    const auto b = ReadBytes(dir / "a.wav");
    ASSERT_EQ(b.size(), 44u + 800u * 5);
    for (std::size_t i = 0; i < all.size(); ++i)
        ASSERT_EQ(static_cast<int16_t>(Le16(b, 44 + 2 * i)), all[i]) << i;
}

TEST(WaveRecorderTest, SeparateAppendAndUpdateAsTheChainCallsThem)
{
    TempDir dir;
    WaveRecorder rec;
    ASSERT_TRUE(rec.Start(dir / "a.wav"));
    const auto s = Samples(3);
    ASSERT_TRUE(rec.AppendBlock(s.data()));
    ASSERT_TRUE(rec.AppendBlock(s.data()));
    ASSERT_TRUE(rec.UpdateSizes(2 * 800));
    EXPECT_TRUE(rec.Stop());
    const auto b = ReadBytes(dir / "a.wav");
    EXPECT_EQ(b.size(), 44u + 1600u);
    ExpectHeader(b, 8000, 1, 1600, 1636);
}

TEST(WaveRecorderTest, TimeTextCountsRecordedBlocks)
{
    TempDir dir;
    WaveRecorder rec;
    ASSERT_TRUE(rec.Start(dir / "a.wav"));
    const auto s = Samples(1);
    ASSERT_TRUE(rec.RecordBlock(s.data()));
    EXPECT_STREQ(rec.TimeText(), "00:00:00");  // the first block
    for (int k = 2; k <= 20; ++k)
        ASSERT_TRUE(rec.RecordBlock(s.data()));
    EXPECT_STREQ(rec.TimeText(), "00:00:00");
    ASSERT_TRUE(rec.RecordBlock(s.data()));
    EXPECT_STREQ(rec.TimeText(), "00:00:01");  // the 21st block
    EXPECT_TRUE(rec.Stop());
    // A new recording starts its clock again.
    ASSERT_TRUE(rec.Start(dir / "b.wav"));
    EXPECT_STREQ(rec.TimeText(), "00:00:00");
    EXPECT_EQ(rec.BlockCount(), 0);
    EXPECT_TRUE(rec.Stop());
}

TEST(WaveRecorderTest, StartInFolderCreatesWavAndNamesTheFile)
{
    TempDir dir;
    WaveRecorder rec;
    ASSERT_TRUE(rec.StartInFolder(dir.Path(), March3(), -12000, 7100000));
    EXPECT_EQ(rec.FileName(), dir.Path() / "Wav" / "20210303_153012_7088.wav");
    EXPECT_TRUE(rec.Stop());
    EXPECT_EQ(ReadBytes(dir.Path() / "Wav" / "20210303_153012_7088.wav").size(), 44u);
}

TEST(WaveRecorderTest, UncreatableFileIsReported)
{
    TempDir dir;
    WaveRecorder rec;
    EXPECT_FALSE(rec.StartInFolder(dir.Path() / "gone", March3(), 0, 7100000));
    EXPECT_FALSE(rec.IsOpen());
    EXPECT_FALSE(rec.LastError().empty());
    const auto s = Samples(1);
    EXPECT_FALSE(rec.RecordBlock(s.data()));
    EXPECT_FALSE(rec.AppendBlock(s.data()));
    EXPECT_FALSE(rec.UpdateSizes(800));

    EXPECT_FALSE(rec.Start(dir.Path() / "gone" / "x.wav"));
    EXPECT_NE(rec.LastError().find("cannot create"), std::string::npos);
}

TEST(WavWriterTest, StereoOutputHeader)
{
    TempDir dir;
    WavWriter w;
    ASSERT_TRUE(w.Create(dir / "o.wav", 48000, 2));
    const std::vector<int16_t> frames = {1, -1, 2, -2, 32767, -32767};
    ASSERT_TRUE(w.Append(frames.data(), frames.size()));
    EXPECT_EQ(w.DataBytes(), 12u);
    ASSERT_TRUE(w.UpdateSizes(static_cast<uint32_t>(w.DataBytes())));
    ASSERT_TRUE(w.Close());
    const auto b = ReadBytes(dir / "o.wav");
    ASSERT_EQ(b.size(), 56u);
    ExpectHeader(b, 48000, 2, 12, 48);
    EXPECT_EQ(Le32(b, 28), 192000u);
    EXPECT_EQ(Le16(b, 32), 4u);
    EXPECT_EQ(static_cast<int16_t>(Le16(b, 44 + 2)), -1);
    EXPECT_EQ(static_cast<int16_t>(Le16(b, 44 + 10)), -32767);
}

TEST(WavWriterTest, NothingWrittenWithoutAFile)
{
    WavWriter w;
    const int16_t s[2] = {1, 2};
    EXPECT_FALSE(w.Append(s, 2));
    EXPECT_FALSE(w.UpdateSizes(4));
    EXPECT_TRUE(w.Close());
}
