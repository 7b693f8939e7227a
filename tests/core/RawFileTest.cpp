#include "CoreFixture.h"

#include "dsp/SignalChain.h"
#include "recording/RawIqFile.h"

#include <array>
#include <cstring>

namespace core::test {
namespace {

using Block = std::array<int16_t, recording::kRawBlockSamples>;

Block Numbered(int b)
{
    Block block{};
    for (int i = 0; i < recording::kRawBlockSamples; ++i)
        block[static_cast<std::size_t>(i)] = static_cast<int16_t>(1 + b * 100 + i % 50);
    return block;
}

class RawFiles : public CoreTest {
protected:
    // A recording of k numbered blocks, started at `stamp`, centred on `center`.
    std::filesystem::path Record(int k, int32_t center, bool withMarker = true, int hour = 9,
                                 int minute = 5, int second = 7)
    {
        const std::filesystem::path file = Dir() / "take.dat";
        recording::RawRecorder rec;
        recording::LocalStamp stamp;
        stamp.hour = hour;
        stamp.minute = minute;
        stamp.second = second;
        EXPECT_TRUE(rec.Start(file, stamp, center));
        for (int b = 0; b < k; ++b) {
            const Block block = Numbered(b);
            EXPECT_TRUE(rec.AppendBlock(block.data()));
        }
        if (withMarker)
            EXPECT_TRUE(rec.Stop());
        else
            EXPECT_TRUE(rec.Abandon());
        return file;
    }

    // The blocks the receiver processed, copied as they went through.
    void Watch(Receiver& rx)
    {
        QObject::connect(&rx, &Receiver::BlockProcessed, [this, &rx] {
            Block b;
            std::memcpy(b.data(), rx.LastBlockInput(), sizeof b);
            seen_.push_back(b);
            times_.push_back(rx.RawTimeText().toStdString());
        });
    }

    std::vector<Block> seen_;
    std::vector<std::string> times_;
};

TEST_F(RawFiles, KBlocksPlayThenOneBlockOfZerosAndTheCentreReturns)
{
    WriteIni("[Wave]\nFreqCenter=7100000\n[Etc]\nMemName=Tower\n");
    Receiver& rx = Started();
    Watch(rx);
    S().DragTune = true;
    const std::filesystem::path file = Record(3, 145000000);
    rx.OpenRawFile(file);
    ASSERT_TRUE(rx.RawPlaying());
    EXPECT_EQ(S().RawFileName, file.string());
    EXPECT_TRUE(rx.PlayDown());
    EXPECT_TRUE(rx.PlayEnabled());
    EXPECT_FALSE(rx.RecEnabled());
    EXPECT_FALSE(rx.OpenEnabled());
    EXPECT_EQ(S().FreqCenter, 145000000);
    EXPECT_EQ(S().SavedCenter, 7100000);
    EXPECT_FALSE(S().MemoryMode);
    EXPECT_FALSE(S().DragTune);
    ASSERT_EQ(seen_.size(), 1u);  // the first block at once
    EXPECT_EQ(times_[0], "09:05:07");

    rx.PumpRawPlayback();
    rx.PumpRawPlayback();
    EXPECT_TRUE(rx.RawPlaying());
    rx.PumpRawPlayback();  // the marker
    EXPECT_FALSE(rx.RawPlaying());
    EXPECT_FALSE(rx.PlayDown());
    EXPECT_TRUE(rx.RecEnabled());
    EXPECT_TRUE(rx.OpenEnabled());
    EXPECT_TRUE(rx.PlayEnabled());
    EXPECT_EQ(S().FreqCenter, 7100000);
    ASSERT_EQ(seen_.size(), 4u);
    for (int b = 0; b < 3; ++b)
        EXPECT_EQ(seen_[static_cast<std::size_t>(b)], Numbered(b)) << b;
    EXPECT_EQ(seen_[3], Block{});
    rx.PumpRawPlayback();  // nothing plays: nothing happens
    EXPECT_EQ(seen_.size(), 4u);
    EXPECT_EQ(rx.ProcessedBlocks(), 4u);

    // Play replays the same file.
    rx.Play(true);
    EXPECT_TRUE(rx.RawPlaying());
    EXPECT_EQ(seen_.size(), 5u);
    EXPECT_EQ(seen_[4], Numbered(0));
}

TEST_F(RawFiles, PlaybackTimeRunsFromTheRecordingsStart)
{
    Receiver& rx = Started();
    Watch(rx);
    rx.OpenRawFile(Record(45, 7100000, true, 23, 59, 50));
    while (rx.RawPlaying())
        rx.PumpRawPlayback();
    ASSERT_EQ(times_.size(), 46u);
    EXPECT_EQ(times_[0], "23:59:50");
    EXPECT_EQ(times_[20], "23:59:51");
    EXPECT_EQ(times_[40], "23:59:52");
}

TEST_F(RawFiles, AFileWithoutMarkerEndsAtItsPhysicalEnd)
{
    Receiver& rx = Started();
    Watch(rx);
    rx.OpenRawFile(Record(2, 7100000, false));
    for (int i = 0; i < 5 && rx.RawPlaying(); ++i)
        rx.PumpRawPlayback();
    EXPECT_FALSE(rx.RawPlaying());
    EXPECT_FALSE(rx.PlayDown());
    EXPECT_EQ(S().FreqCenter, 5012000);
    ASSERT_EQ(seen_.size(), 3u);
    EXPECT_EQ(seen_[1], Numbered(1));
    EXPECT_EQ(seen_[2], Block{});
}

TEST_F(RawFiles, TheUserStopsPlayback)
{
    Receiver& rx = Started();
    rx.OpenRawFile(Record(5, 145000000));
    ASSERT_TRUE(rx.RawPlaying());
    rx.Play(false);
    EXPECT_FALSE(rx.RawPlaying());
    EXPECT_FALSE(rx.PlayDown());
    EXPECT_TRUE(rx.RecEnabled());
    EXPECT_EQ(S().FreqCenter, 5012000);
    EXPECT_TRUE(rx.RawTimeText().isEmpty());
}

TEST_F(RawFiles, ClosingDuringPlaybackSavesTheRadiosCentre)
{
    Receiver& rx = Started();
    rx.OpenRawFile(Record(5, 145000000));
    ASSERT_EQ(S().FreqCenter, 145000000);
    ASSERT_TRUE(rx.Shutdown({}));
    EXPECT_FALSE(rx.RawPlaying());
    EXPECT_NE(ReadFile(IniPath()).find("FreqCenter=5012000\n"), std::string::npos);
}

TEST_F(RawFiles, HeadersThatAreRefused)
{
    Receiver& rx = Started();
    Watch(rx);
    WriteFile(Dir() / "new.dat", std::string("Tesmar\x01\0"
                                             "090507\0\0\0\0\0",
                                             19));
    rx.OpenRawFile(Dir() / "new.dat");
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_EQ(errors_[0].message, "Tesmar can not read this format.");
    EXPECT_TRUE(errors_[0].beep);
    EXPECT_FALSE(rx.RawPlaying());
    EXPECT_FALSE(rx.PlayDown());
    EXPECT_TRUE(rx.RecEnabled());
    EXPECT_TRUE(rx.OpenEnabled());

    WriteFile(Dir() / "sound.wav", std::string("RIFF\x24\0\0\0WAVEfmt ", 16));
    rx.OpenRawFile(Dir() / "sound.wav");
    ASSERT_EQ(errors_.size(), 2u);
    EXPECT_EQ(errors_[1].message, "This data is not to use for Tesmar.");

    // A file that is not there: Play comes up, nothing is said.
    rx.OpenRawFile(Dir() / "gone.dat");
    EXPECT_EQ(errors_.size(), 2u);
    EXPECT_FALSE(rx.PlayDown());
    EXPECT_TRUE(seen_.empty());
    EXPECT_EQ(S().FreqCenter, 5012000);
}

TEST_F(RawFiles, PlayAndRecExcludeEachOther)
{
    Receiver& rx = Started();
    rx.OpenRawFile(Record(5, 7100000));
    ASSERT_TRUE(rx.RawPlaying());
    rx.Rec(true);  // disabled while playing
    EXPECT_FALSE(rx.RawRecording());
    rx.OpenRawFile(Dir() / "other.dat");  // so is Open
    EXPECT_EQ(S().RawFileName, (Dir() / "take.dat").string());
    rx.Play(false);

    rx.Rec(true);
    ASSERT_TRUE(rx.RawRecording());
    rx.Play(true);  // disabled while recording
    EXPECT_FALSE(rx.RawPlaying());
    EXPECT_FALSE(rx.PlayDown());
    rx.Rec(false);
}

}  // namespace
}  // namespace core::test
