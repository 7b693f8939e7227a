#include "recording/RawIqFile.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

using namespace recording;

namespace {

LocalStamp At(int h, int m, int s)
{
    LocalStamp t;
    t.year = 2021;
    t.month = 3;
    t.day = 3;
    t.hour = h;
    t.minute = m;
    t.second = s;
    return t;
}

std::vector<uint8_t> Block(uint8_t seed)
{
    std::vector<uint8_t> b(kRawBlockBytes);
    for (std::size_t i = 0; i < b.size(); ++i)
        b[i] = static_cast<uint8_t>(seed + i * 7);
    return b;
}

}  // namespace

TEST(RawHeader, LayoutOfMarkerTimeAndCentre)
{
    const auto h = EncodeRawHeader(At(9, 5, 7), 145000000);
    const std::vector<uint8_t> expected = {'T', 'e', 's', 'm', 'a',  'r',  0,    0,    '0', '9',
                                           '0', '5', '0', '7', 0x00, 0x08, 0xA4, 0x86, 0x40};
    EXPECT_EQ(std::vector<uint8_t>(h.begin(), h.end()), expected);
}

TEST(RawHeader, CentreIsFiveBytesMostSignificantFirst)
{
    const auto h = EncodeRawHeader(At(23, 59, 50), 7100000);
    EXPECT_EQ(std::vector<uint8_t>(h.begin() + 8, h.begin() + 14),
              (std::vector<uint8_t>{'2', '3', '5', '9', '5', '0'}));
    EXPECT_EQ(std::vector<uint8_t>(h.begin() + 14, h.end()),
              (std::vector<uint8_t>{0x00, 0x00, 0x6C, 0x56, 0x60}));
    const auto big = EncodeRawHeader(At(0, 0, 0), (int64_t{1} << 40) - 2);
    EXPECT_EQ(std::vector<uint8_t>(big.begin() + 14, big.end()),
              (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 0xFE}));
}

TEST(RawHeader, CentreOutsideFiveBytesIsClamped)
{
    const auto neg = EncodeRawHeader(At(0, 0, 0), -5);
    EXPECT_EQ(std::vector<uint8_t>(neg.begin() + 14, neg.end()), std::vector<uint8_t>(5, 0x00));
    const auto huge = EncodeRawHeader(At(0, 0, 0), int64_t{1} << 41);
    EXPECT_EQ(std::vector<uint8_t>(huge.begin() + 14, huge.end()), std::vector<uint8_t>(5, 0xFF));
}

TEST(RawHeader, CheckDecodesTimeAndCentre)
{
    const auto h = EncodeRawHeader(At(9, 5, 7), 145000000);
    const RawHeaderCheck c = CheckRawHeader(h.data(), h.size());
    EXPECT_EQ(c.status, RawHeaderStatus::Accepted);
    EXPECT_EQ(c.message, nullptr);
    EXPECT_EQ(c.blockCount, 20 * (9 * 3600 + 5 * 60 + 7));
    EXPECT_EQ(c.freqCenter, 145000000);
}

TEST(RawHeader, EighthByteIsNotExamined)
{
    auto h = EncodeRawHeader(At(1, 2, 3), 7100000);
    h[7] = 0x5A;
    EXPECT_EQ(CheckRawHeader(h.data(), h.size()).status, RawHeaderStatus::Accepted);
}

TEST(RawHeader, NonZeroSeventhByteIsAnotherFormat)
{
    auto h = EncodeRawHeader(At(1, 2, 3), 7100000);
    h[6] = 1;
    const RawHeaderCheck c = CheckRawHeader(h.data(), h.size());
    EXPECT_EQ(c.status, RawHeaderStatus::WrongFormat);
    EXPECT_STREQ(c.message, "Tesmar can not read this format.");
}

TEST(RawHeader, OtherFilesAreNotForTesmar)
{
    const std::vector<uint8_t> wav = {'R', 'I', 'F', 'F', 0,   0,   0,  0, 'W', 'A',
                                      'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0};
    const RawHeaderCheck c = CheckRawHeader(wav.data(), wav.size());
    EXPECT_EQ(c.status, RawHeaderStatus::NotTesmar);
    EXPECT_STREQ(c.message, "This data is not to use for Tesmar.");
    // The marker is compared exactly, case included.
    const std::vector<uint8_t> lower = {'t', 'e', 's', 'm', 'a', 'r', 0, 0};
    EXPECT_EQ(CheckRawHeader(lower.data(), lower.size()).status, RawHeaderStatus::NotTesmar);
    EXPECT_EQ(CheckRawHeader(wav.data(), 0).status, RawHeaderStatus::NotTesmar);
    const std::vector<uint8_t> cut = {'T', 'e', 's'};
    EXPECT_EQ(CheckRawHeader(cut.data(), cut.size()).status, RawHeaderStatus::NotTesmar);
}

TEST(RawHeader, CutOffHeaderCannotBeRead)
{
    const auto h = EncodeRawHeader(At(1, 2, 3), 7100000);
    for (std::size_t size : {6u, 7u, 8u, 14u, 18u}) {
        const RawHeaderCheck c = CheckRawHeader(h.data(), size);
        EXPECT_EQ(c.status, RawHeaderStatus::WrongFormat) << size;
        EXPECT_STREQ(c.message, "Tesmar can not read this format.");
    }
}

TEST(RawRecorderTest, WritesHeaderBlocksAndEndMarker)
{
    TempDir dir;
    RawRecorder rec;
    ASSERT_TRUE(rec.Start(dir / "r.dat", At(9, 5, 7), 145000000));
    EXPECT_TRUE(rec.IsOpen());
    std::vector<uint8_t> expected;
    const auto header = EncodeRawHeader(At(9, 5, 7), 145000000);
    expected.insert(expected.end(), header.begin(), header.end());
    for (uint8_t k = 0; k < 3; ++k) {
        const auto b = Block(k);
        ASSERT_TRUE(rec.AppendBlock(b.data()));
        expected.insert(expected.end(), b.begin(), b.end());
    }
    EXPECT_TRUE(rec.Stop());
    EXPECT_FALSE(rec.IsOpen());
    expected.insert(expected.end(), kRawEndMarker.begin(), kRawEndMarker.end());
    const auto bytes = ReadBytes(dir / "r.dat");
    EXPECT_EQ(bytes.size(), 19u + 3u * 9600u + 16u);
    EXPECT_EQ(bytes, expected);
}

TEST(RawRecorderTest, EndMarkerBytes)
{
    const std::vector<uint8_t> expected = {0x42, 0xE2, 0x98, 0xFE, 0x7B, 0x9B, 0xCC, 0x37,
                                           0x92, 0x4B, 0x1A, 0x91, 0x52, 0xA7, 0x04, 0x8C};
    EXPECT_EQ(std::vector<uint8_t>(kRawEndMarker.begin(), kRawEndMarker.end()), expected);
}

TEST(RawRecorderTest, AbandonLeavesNoEndMarker)
{
    TempDir dir;
    RawRecorder rec;
    ASSERT_TRUE(rec.Start(dir / "r.dat", At(0, 0, 0), 5012000));
    const auto b = Block(9);
    ASSERT_TRUE(rec.AppendBlock(b.data()));
    EXPECT_TRUE(rec.Abandon());
    EXPECT_EQ(ReadBytes(dir / "r.dat").size(), 19u + 9600u);
}

TEST(RawRecorderTest, TimeTextStartsAtZeroAndAdvancesEveryTwentyBlocks)
{
    TempDir dir;
    RawRecorder rec;
    ASSERT_TRUE(rec.Start(dir / "r.dat", At(12, 0, 0), 5012000));
    EXPECT_STREQ(rec.TimeText(), "00:00:00");
    const auto b = Block(1);
    ASSERT_TRUE(rec.AppendBlock(b.data()));
    EXPECT_STREQ(rec.TimeText(), "00:00:00");
    EXPECT_EQ(rec.BlockCount(), 1);
    for (int i = 1; i < 20; ++i)
        ASSERT_TRUE(rec.AppendBlock(b.data()));
    EXPECT_STREQ(rec.TimeText(), "00:00:00");  // the 20th block
    ASSERT_TRUE(rec.AppendBlock(b.data()));
    EXPECT_STREQ(rec.TimeText(), "00:00:01");  // the 21st
    EXPECT_EQ(rec.BlockCount(), 21);
    EXPECT_TRUE(rec.Stop());
}

TEST(RawRecorderTest, StartInFolderCreatesRawAndNamesTheFile)
{
    TempDir dir;
    RawRecorder rec;
    ASSERT_TRUE(rec.StartInFolder(dir.Path(), At(15, 30, 12), 7100000));
    const auto expected = dir.Path() / "Raw" / "20210303_153012_7100.dat";
    EXPECT_EQ(rec.FileName(), expected);
    EXPECT_TRUE(rec.Stop());
    EXPECT_EQ(ReadBytes(expected).size(), 19u + 16u);
    // A second recording goes into the existing folder.
    ASSERT_TRUE(rec.StartInFolder(dir.Path(), At(15, 30, 13), 7100000));
    EXPECT_TRUE(rec.Stop());
    EXPECT_TRUE(std::filesystem::exists(dir.Path() / "Raw" / "20210303_153013_7100.dat"));
}

TEST(RawRecorderTest, UncreatableFileIsReported)
{
    TempDir dir;
    RawRecorder rec;
    EXPECT_FALSE(rec.StartInFolder(dir.Path() / "gone", At(1, 1, 1), 7100000));
    EXPECT_FALSE(rec.IsOpen());
    EXPECT_EQ(rec.FileName(), dir.Path() / "gone" / "Raw" / "20210303_010101_7100.dat");
    EXPECT_FALSE(rec.LastError().empty());
    const auto b = Block(0);
    EXPECT_FALSE(rec.AppendBlock(b.data()));
    EXPECT_FALSE(rec.Stop());

    EXPECT_FALSE(rec.Start(dir.Path() / "gone" / "x.dat", At(1, 1, 1), 1));
    EXPECT_NE(rec.LastError().find("cannot create"), std::string::npos);
}

TEST(RawRecorderTest, StartingAgainEndsTheOpenRecordingNormally)
{
    TempDir dir;
    RawRecorder rec;
    ASSERT_TRUE(rec.Start(dir / "a.dat", At(1, 1, 1), 1));
    ASSERT_TRUE(rec.Start(dir / "b.dat", At(1, 1, 2), 1));
    EXPECT_TRUE(rec.Stop());
    const auto a = ReadBytes(dir / "a.dat");
    ASSERT_EQ(a.size(), 19u + 16u);
    EXPECT_TRUE(std::equal(kRawEndMarker.begin(), kRawEndMarker.end(), a.begin() + 19));
}
