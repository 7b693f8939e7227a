#include "TestFiles.h"
#include "recording/FileStamp.h"
#include "recording/TimeText.h"

#include <climits>
#include <gtest/gtest.h>

using namespace recording;

TEST(RecordingNames, StemIsDateAndTime)
{
    EXPECT_EQ(RecordingStem(March3()), "20210303_153012_");
    LocalStamp early;
    early.year = 2024;
    early.month = 12;
    early.day = 9;
    early.hour = 0;
    early.minute = 5;
    early.second = 7;
    EXPECT_EQ(RecordingStem(early), "20241209_000507_");
}

TEST(RecordingNames, RawNameHoldsCentreInKilohertz)
{
    EXPECT_EQ(RawRecordingName(March3(), 7100000), "20210303_153012_7100.dat");
    EXPECT_EQ(RawRecordingName(March3(), 145000000), "20210303_153012_145000.dat");
    EXPECT_EQ(RawRecordingName(March3(), 7100999), "20210303_153012_7100.dat");
    EXPECT_EQ(RawRecordingName(March3(), 999), "20210303_153012_0.dat");
}

TEST(RecordingNames, WaveNameHoldsReceiveFrequencyInKilohertz)
{
    EXPECT_EQ(WaveRecordingName(March3(), -12000, 7100000), "20210303_153012_7088.wav");
    EXPECT_EQ(WaveRecordingName(March3(), -12000, 5012000), "20210303_153012_5000.wav");
    // Integer division truncates toward zero, also below zero.
    EXPECT_EQ(WaveRecordingName(March3(), -1500, 0), "20210303_153012_-1.wav");
    EXPECT_EQ(WaveRecordingName(March3(), -999, 0), "20210303_153012_0.wav");
    // Two extreme fields do not wrap around.
    EXPECT_EQ(WaveRecordingName(March3(), INT_MAX, INT_MAX), "20210303_153012_4294967.wav");
}

TEST(RecordingNames, LocalNowIsAPlausibleClock)
{
    const LocalStamp s = LocalNow();
    EXPECT_GE(s.year, 2020);
    EXPECT_GE(s.month, 1);
    EXPECT_LE(s.month, 12);
    EXPECT_LE(s.hour, 23);
    EXPECT_LE(s.second, 60);
}

TEST(TimeTextTest, CountsTwentyBlocksPerSecond)
{
    EXPECT_EQ(TimeText(0), "00:00:00");
    EXPECT_EQ(TimeText(19), "00:00:00");
    EXPECT_EQ(TimeText(20), "00:00:01");
    EXPECT_EQ(TimeText(20 * 59), "00:00:59");
    EXPECT_EQ(TimeText(20 * 60), "00:01:00");
    EXPECT_EQ(TimeText(20 * 3600 - 1), "00:59:59");
    EXPECT_EQ(TimeText(20 * 3600), "01:00:00");
}

TEST(TimeTextTest, PlaybackStartTimesAdvance)
{
    const int32_t at090507 = 20 * (9 * 3600 + 5 * 60 + 7);
    EXPECT_EQ(TimeText(at090507), "09:05:07");
    EXPECT_EQ(TimeText(at090507 + 20), "09:05:08");
    const int32_t at235950 = 20 * (23 * 3600 + 59 * 60 + 50);
    EXPECT_EQ(TimeText(at235950 + 199), "23:59:59");
    EXPECT_EQ(TimeText(at235950 + 200), "24:00:00");  // hours are not wrapped
    EXPECT_EQ(TimeText(20 * 3600 * 123), "123:00:00");
}

TEST(TimeTextTest, ExtremeCountsFitTheBuffer)
{
    char text[kTimeTextSize];
    WriteTimeText(INT32_MAX, text);
    EXPECT_STREQ(text, "29826:09:42");
    WriteTimeText(INT32_MIN, text);
    EXPECT_STREQ(text, "-29826:-9:-42");
}

TEST(EnsureFolderTest, CreatesOneLevel)
{
    TempDir dir;
    std::string error;
    EXPECT_TRUE(EnsureFolder(dir / "Raw", &error));
    EXPECT_TRUE(std::filesystem::is_directory(dir / "Raw"));
    EXPECT_TRUE(EnsureFolder(dir / "Raw", &error));  // already there
    EXPECT_FALSE(EnsureFolder(dir.Path() / "missing" / "Raw", &error));
    EXPECT_NE(error.find("missing"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
}

TEST(EnsureFolderTest, AFileInTheWayIsAnError)
{
    TempDir dir;
    WriteBytes(dir / "Wav", {1, 2, 3});
    std::string error;
    EXPECT_FALSE(EnsureFolder(dir / "Wav", &error));
    EXPECT_FALSE(error.empty());
}
