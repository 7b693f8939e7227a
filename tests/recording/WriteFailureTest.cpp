// A recording whose disk fills up: the failure is seen at the block, and the
// file is cut back to a valid file holding every whole block before it.

#include "TestFiles.h"
#include "recording/RawIqFile.h"
#include "recording/WavFile.h"
#include "tests/support/FileSizeLimit.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace recording;

namespace {

std::vector<int16_t> WaveBlock(int k)
{
    std::vector<int16_t> s(kWaveRecSamples);
    for (int i = 0; i < kWaveRecSamples; ++i)
        s[i] = static_cast<int16_t>(k * 1000 + i * 3 - 9000);
    return s;
}

std::vector<uint8_t> RawBlock(int k)
{
    std::vector<uint8_t> b(kRawBlockBytes);
    for (std::size_t i = 0; i < b.size(); ++i)
        b[i] = static_cast<uint8_t>(k * 31 + i * 7);
    return b;
}

TEST(WriteFailure, WaveFileKeepsEveryWholeBlockBeforeTheFullDisk)
{
    // Room for three blocks and a part of the fourth.
    for (const uint32_t partial : {1u, 400u, 799u}) {
        SCOPED_TRACE(partial);
        TempDir dir;
        WaveRecorder rec;
        ASSERT_TRUE(rec.Start(dir / "a.wav"));
        int written = 0;
        {
            // The disk stays full while the file is repaired.
            FileSizeLimit full(44 + 3 * 800 + partial);
            for (int k = 0; k < 10 && rec.RecordBlock(WaveBlock(k).data()); ++k)
                ++written;
            ASSERT_TRUE(rec.WriteFailed());
            EXPECT_NE(rec.LastError().find("a.wav"), std::string::npos) << rec.LastError();
            EXPECT_NE(rec.LastError().find(std::strerror(EFBIG)), std::string::npos);
            EXPECT_TRUE(rec.SalvageAfterFailure());
        }
        EXPECT_EQ(written, 3);
        EXPECT_FALSE(rec.IsOpen());
        EXPECT_EQ(rec.BlockCount(), 3);
        const auto b = ReadBytes(dir / "a.wav");
        ASSERT_EQ(b.size(), 44u + 3u * 800u);
        EXPECT_EQ(Le32(b, 4), 3u * 800u + 36u);
        EXPECT_EQ(Le32(b, 40), 3u * 800u);
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(std::memcmp(b.data() + 44 + 800 * k, WaveBlock(k).data(), 800), 0) << k;
        // The reason survives the repair, for the operator's message.
        EXPECT_NE(rec.LastError().find(std::strerror(EFBIG)), std::string::npos);
    }
}

TEST(WriteFailure, WaveFileCutInsideItsFirstBlockKeepsAnEmptyValidFile)
{
    TempDir dir;
    WaveRecorder rec;
    ASSERT_TRUE(rec.Start(dir / "a.wav"));
    {
        FileSizeLimit full(44 + 100);
        EXPECT_FALSE(rec.RecordBlock(WaveBlock(0).data()));
        EXPECT_TRUE(rec.SalvageAfterFailure());
    }
    EXPECT_EQ(rec.BlockCount(), 0);
    const auto b = ReadBytes(dir / "a.wav");
    ASSERT_EQ(b.size(), 44u);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
    EXPECT_EQ(Le32(b, 40), 0u);
}

TEST(WriteFailure, RawFileKeepsItsWholeBlocksAndEndsWithTheMarkerWhenItFits)
{
    struct Case {
        uint32_t partial;  // bytes of the third block the disk still takes
        bool marker;       // the 16-byte end marker fits after the cut
    };
    for (const Case c : {Case{5000, true}, Case{16, true}, Case{8, false}}) {
        SCOPED_TRACE(c.partial);
        TempDir dir;
        RawRecorder rec;
        ASSERT_TRUE(rec.Start(dir / "r.dat", LocalStamp{}, 5012000));
        bool failed = false;
        {
            // The disk stays full while the file is repaired.
            FileSizeLimit full(kRawHeaderSize + 2 * kRawBlockBytes + c.partial);
            // Buffered writes may show the failure a block late, or at the stop.
            for (int k = 0; k < 6 && !failed; ++k)
                failed = !rec.AppendBlock(RawBlock(k).data());
            if (!failed) {
                failed = !rec.Stop();
            }
            ASSERT_TRUE(failed);
            EXPECT_NE(rec.LastError().find("r.dat"), std::string::npos) << rec.LastError();
            EXPECT_TRUE(rec.SalvageAfterFailure());
        }
        EXPECT_EQ(rec.BlockCount(), 2);
        const auto b = ReadBytes(dir / "r.dat");
        const std::size_t data = kRawHeaderSize + 2 * kRawBlockBytes;
        ASSERT_EQ(b.size(), data + (c.marker ? 16u : 0u));
        for (int k = 0; k < 2; ++k)
            EXPECT_EQ(std::memcmp(b.data() + kRawHeaderSize + kRawBlockBytes * k,
                                  RawBlock(k).data(), kRawBlockBytes),
                      0);
        if (c.marker) {
            EXPECT_TRUE(std::equal(kRawEndMarker.begin(), kRawEndMarker.end(), b.begin() + data));
        }

        // The player reads the two blocks back, then its zero-padded last one.
        RawPlayer player;
        ASSERT_EQ(player.Open(dir / "r.dat").status, RawHeaderStatus::Accepted);
        EXPECT_EQ(player.Pump(), RawPlayer::Step::Block);
        EXPECT_EQ(player.Pump(), RawPlayer::Step::Block);
        EXPECT_EQ(std::memcmp(player.Frames(), RawBlock(1).data(), kRawBlockBytes), 0);
        EXPECT_EQ(player.Pump(), RawPlayer::Step::FinalBlock);
        EXPECT_EQ(player.EndMarkerSeen(), c.marker);
    }
}

TEST(WriteFailure, NothingToRepairOnADevice)
{
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    // The headers are flushed at the start, so the device refuses them there.
    WaveRecorder wave;
    EXPECT_FALSE(wave.Start("/dev/full"));
    EXPECT_FALSE(wave.RecordBlock(WaveBlock(0).data()));
    EXPECT_FALSE(wave.SalvageAfterFailure());
    EXPECT_FALSE(wave.IsOpen());

    RawRecorder raw;
    EXPECT_FALSE(raw.Start("/dev/full", LocalStamp{}, 1));
    EXPECT_FALSE(raw.Stop());
    EXPECT_FALSE(raw.SalvageAfterFailure());
    EXPECT_FALSE(raw.IsOpen());
}

}  // namespace
