#include "CoreFixture.h"

#include "core/RawTransport.h"
#include "recording/IqTestFiles.h"
#include "recording/RawIqFile.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <ctime>
#include <thread>

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

// A recording of k numbered blocks in `dir`, started at hour:minute:second,
// centred on `center`.
std::filesystem::path Record(const std::filesystem::path& dir, int k, int32_t center,
                             bool withMarker = true, int hour = 9, int minute = 5, int second = 7)
{
    const std::filesystem::path file = dir / "take.dat";
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

// The transport on its own, as the receiver holds it: its state record, a
// sound card without devices (stopping and restarting capture do nothing),
// and a sink that keeps every block it is handed.
class RawTransportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        state_.RawFileName = (Dir() / "RawData.dat").string();
        transport_.Reset();
        QObject::connect(&transport_, &RawTransport::Refused,
                         [this](const QString& m) { refused_.push_back(m.toStdString()); });
    }

    std::filesystem::path Dir() const { return dir_.Path(); }

    TempDir dir_;
    ReceiverState state_;
    audio::AudioEngine audio_;
    std::vector<Block> seen_;
    std::vector<std::string> times_;
    std::vector<std::string> refused_;
    RawTransport transport_{state_, dir_.Path(), audio_, [this](const int16_t* frames) {
                                Block b;
                                std::memcpy(b.data(), frames, sizeof b);
                                seen_.push_back(b);
                                times_.emplace_back(transport_.TimeText());
                            }};
};

TEST_F(RawTransportTest, KBlocksPlayThenOneBlockOfZerosAndTheCentreReturns)
{
    RawTransport& t = transport_;
    state_.FreqCenter = 7100000;
    state_.MemoryMode = true;
    state_.DragTune = true;
    const std::filesystem::path file = Record(Dir(), 3, 145000000);
    t.Open(file);
    ASSERT_TRUE(t.Playing());
    EXPECT_EQ(state_.RawFileName, file.string());
    EXPECT_TRUE(t.PlayDown());
    EXPECT_TRUE(t.PlayEnabled());
    EXPECT_FALSE(t.RecEnabled());
    EXPECT_FALSE(t.OpenEnabled());
    EXPECT_EQ(state_.FreqCenter, 145000000);
    EXPECT_EQ(state_.SavedCenter, 7100000);
    EXPECT_FALSE(state_.MemoryMode);
    EXPECT_FALSE(state_.DragTune);
    ASSERT_EQ(seen_.size(), 1u);  // the first block at once
    EXPECT_EQ(times_[0], "09:05:07");

    t.Pump();
    t.Pump();
    EXPECT_TRUE(t.Playing());
    t.Pump();  // the marker
    EXPECT_FALSE(t.Playing());
    EXPECT_FALSE(t.PlayDown());
    EXPECT_TRUE(t.RecEnabled());
    EXPECT_TRUE(t.OpenEnabled());
    EXPECT_TRUE(t.PlayEnabled());
    EXPECT_EQ(state_.FreqCenter, 7100000);
    ASSERT_EQ(seen_.size(), 4u);
    for (int b = 0; b < 3; ++b)
        EXPECT_EQ(seen_[static_cast<std::size_t>(b)], Numbered(b)) << b;
    EXPECT_EQ(seen_[3], Block{});
    t.Pump();  // nothing plays: nothing happens
    EXPECT_EQ(seen_.size(), 4u);

    // Play replays the same file.
    t.Play(true);
    EXPECT_TRUE(t.Playing());
    EXPECT_EQ(seen_.size(), 5u);
    EXPECT_EQ(seen_[4], Numbered(0));
}

TEST_F(RawTransportTest, PlaybackTimeRunsFromTheRecordingsStart)
{
    transport_.Open(Record(Dir(), 45, 7100000, true, 23, 59, 50));
    while (transport_.Playing())
        transport_.Pump();
    ASSERT_EQ(times_.size(), 46u);
    EXPECT_EQ(times_[0], "23:59:50");
    EXPECT_EQ(times_[20], "23:59:51");
    EXPECT_EQ(times_[40], "23:59:52");
}

TEST_F(RawTransportTest, AFileWithoutMarkerEndsAtItsPhysicalEnd)
{
    transport_.Open(Record(Dir(), 2, 7100000, false));
    for (int i = 0; i < 5 && transport_.Playing(); ++i)
        transport_.Pump();
    EXPECT_FALSE(transport_.Playing());
    EXPECT_FALSE(transport_.PlayDown());
    EXPECT_EQ(state_.FreqCenter, 5012000);
    ASSERT_EQ(seen_.size(), 3u);
    EXPECT_EQ(seen_[1], Numbered(1));
    EXPECT_EQ(seen_[2], Block{});
}

TEST_F(RawTransportTest, TheUserStopsPlayback)
{
    transport_.Open(Record(Dir(), 5, 145000000));
    ASSERT_TRUE(transport_.Playing());
    transport_.Play(false);
    EXPECT_FALSE(transport_.Playing());
    EXPECT_FALSE(transport_.PlayDown());
    EXPECT_TRUE(transport_.RecEnabled());
    EXPECT_EQ(state_.FreqCenter, 5012000);
    EXPECT_TRUE(transport_.TimeText().empty());
}

TEST_F(RawTransportTest, HeadersThatAreRefused)
{
    RawTransport& t = transport_;
    core::test::WriteFile(Dir() / "new.dat", std::string("Tesmar\x01\0"
                                                         "090507\0\0\0\0\0",
                                                         19));
    t.Open(Dir() / "new.dat");
    ASSERT_EQ(refused_.size(), 1u);
    EXPECT_EQ(refused_[0], "Tesmar can not read this format.");
    EXPECT_FALSE(t.Playing());
    EXPECT_FALSE(t.PlayDown());
    EXPECT_TRUE(t.RecEnabled());
    EXPECT_TRUE(t.OpenEnabled());

    core::test::WriteFile(Dir() / "sound.wav", std::string("RIFF\x24\0\0\0WAVEfmt ", 16));
    t.Open(Dir() / "sound.wav");
    ASSERT_EQ(refused_.size(), 2u);
    // A WAV file may be an IQ recording: a damaged one is told what is wrong.
    EXPECT_EQ(refused_[1], "sound.wav: WAV header cut short before its data chunk");
    core::test::WriteFile(Dir() / "notes.txt", "nothing to play");
    t.Open(Dir() / "notes.txt");
    ASSERT_EQ(refused_.size(), 3u);
    EXPECT_EQ(refused_[2], "This data is not to use for Tesmar.");
    refused_.pop_back();

    // A file that is not there: Play comes up, nothing is said.
    t.Open(Dir() / "gone.dat");
    EXPECT_EQ(refused_.size(), 2u);
    EXPECT_FALSE(t.PlayDown());
    EXPECT_TRUE(seen_.empty());
    EXPECT_EQ(state_.FreqCenter, 5012000);
}

TEST_F(RawTransportTest, PlayAndRecExcludeEachOther)
{
    RawTransport& t = transport_;
    t.Open(Record(Dir(), 5, 7100000));
    ASSERT_TRUE(t.Playing());
    t.Rec(true);  // disabled while playing
    EXPECT_FALSE(t.Recording());
    t.Open(Dir() / "other.dat");  // so is Open
    EXPECT_EQ(state_.RawFileName, (Dir() / "take.dat").string());
    t.Play(false);

    t.Rec(true);
    ASSERT_TRUE(t.Recording());
    t.Play(true);  // disabled while recording
    EXPECT_FALSE(t.Playing());
    EXPECT_FALSE(t.PlayDown());
    t.Rec(false);
}

// Waits until the wall clock shows another second than `from`, so that two
// recordings never get the same name.
void WaitForNextSecond()
{
    const recording::LocalStamp from = recording::LocalNow();
    while (recording::LocalNow().second == from.second)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

TEST_F(RawTransportTest, MonitorReleasesRecOnScreenAndRecAgainEndsTheOpenRecording)
{
    RawTransport& t = transport_;
    t.SetMonitor(true);
    t.Rec(true);
    EXPECT_FALSE(state_.MonitorOn);  // one group: Rec releases Monitor
    ASSERT_TRUE(t.Recording());
    EXPECT_TRUE(t.RecDown());
    EXPECT_FALSE(t.PlayEnabled());
    EXPECT_FALSE(t.OpenEnabled());
    const std::filesystem::path first = state_.RawFileName;
    EXPECT_EQ(first.parent_path(), Dir() / "Raw");

    // Captured blocks go into the file.
    const Block block = Numbered(1);
    t.RecordBlock(block.data());

    t.SetMonitor(true);
    EXPECT_TRUE(state_.MonitorOn);
    EXPECT_FALSE(t.RecDown());
    EXPECT_TRUE(t.Recording());  // only the button came up
    EXPECT_FALSE(t.PlayEnabled());
    EXPECT_FALSE(t.OpenEnabled());

    WaitForNextSecond();
    t.Rec(true);
    ASSERT_TRUE(t.Recording());
    EXPECT_TRUE(t.RecDown());
    EXPECT_FALSE(state_.MonitorOn);
    const std::filesystem::path second = state_.RawFileName;
    EXPECT_NE(first, second);

    // The first recording ended as a normal stop ends it: with its marker.
    const std::string bytes = ReadFile(first);
    ASSERT_EQ(bytes.size(), std::size_t(recording::kRawHeaderSize + sizeof(Block) + 16));
    EXPECT_EQ(std::memcmp(bytes.data() + recording::kRawHeaderSize, block.data(), sizeof block), 0);
    EXPECT_TRUE(std::equal(recording::kRawEndMarker.begin(), recording::kRawEndMarker.end(),
                           reinterpret_cast<const uint8_t*>(bytes.data()) +
                               recording::kRawHeaderSize + sizeof(Block)));

    t.Rec(false);
    EXPECT_FALSE(t.Recording());
    EXPECT_TRUE(t.PlayEnabled());
    EXPECT_TRUE(t.OpenEnabled());
    EXPECT_EQ(state_.RawFileName, second.string());
    EXPECT_EQ(ReadFile(second).size(), std::size_t(recording::kRawHeaderSize + 16));
}

TEST_F(RawTransportTest, ARecordingThatCannotBeCreatedLeavesRecUp)
{
    core::test::WriteFile(Dir() / "Raw", "a file where the folder belongs");
    transport_.Rec(true);
    EXPECT_FALSE(transport_.Recording());
    EXPECT_FALSE(transport_.RecDown());
    EXPECT_TRUE(transport_.OpenEnabled());
    EXPECT_TRUE(refused_.empty());  // nothing is reported
}

// Through the receiver: what the transport means for the rest of it.
using RawFilesInTheReceiver = CoreTest;

TEST_F(RawFilesInTheReceiver, PlayedBlocksGoThroughTheBlockPathAndRefusalsAreShown)
{
    Receiver& rx = Started();
    std::vector<std::string> times;
    QObject::connect(&rx, &Receiver::BlockProcessed,
                     [&] { times.push_back(rx.RawTimeText().toStdString()); });
    rx.OpenRawFile(Record(Dir(), 3, 145000000));
    ASSERT_TRUE(rx.RawPlaying());
    while (rx.RawPlaying())
        rx.PumpRawPlayback();
    EXPECT_EQ(rx.ProcessedBlocks(), 4u);
    EXPECT_EQ(times.front(), "09:05:07");
    EXPECT_TRUE(times.back().empty());  // the zero block follows the end

    WriteFile(Dir() / "new.dat", std::string("Tesmar\x01\0"
                                             "090507\0\0\0\0\0",
                                             19));
    rx.OpenRawFile(Dir() / "new.dat");
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_EQ(errors_[0].message, "Tesmar can not read this format.");
    EXPECT_TRUE(errors_[0].beep);
}

TEST_F(RawFilesInTheReceiver, ClosingDuringPlaybackSavesTheRadiosCentre)
{
    Receiver& rx = Started();
    rx.OpenRawFile(Record(Dir(), 5, 145000000));
    ASSERT_EQ(S().FreqCenter, 145000000);
    ASSERT_TRUE(rx.Shutdown({}));
    EXPECT_FALSE(rx.RawPlaying());
    EXPECT_NE(ReadFile(IniPath()).find("FreqCenter=5012000\n"), std::string::npos);
}

// Catches band buttons that retune the radio (or do nothing) while a wide
// recording plays, a display that keeps the recording's centre instead of
// the slice's, a slice moved past the recording's edge, a start time not
// shown, and a centre not restored when playback ends.
TEST_F(RawFilesInTheReceiver, BandButtonsMoveTheSliceOfAWideRecording)
{
    Receiver& rx = Started();
    const int32_t radioCentre = S().FreqCenter;
    // 192 kHz: the slice's centre may lie up to 72 kHz either side.
    const int64_t start = recording::UnixMsFromUtc(2026, 12, 7, 10, 11, 12, 0);
    const auto file = iqtest::Write(
        Dir(), {iqtest::Container::Sdriq, recording::SampleType::S16LE, 192000, 7100000, start},
        iqtest::Signal(192000, 192000 / 2, {{-12000}}));
    rx.OpenRawFile(file);
    ASSERT_TRUE(rx.RawPlaying()) << (errors_.empty() ? "" : errors_[0].message);
    EXPECT_EQ(S().FreqCenter, 7100000);
    const std::time_t seconds = static_cast<std::time_t>(start / 1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    char expected[16];
    std::snprintf(expected, sizeof expected, "%02d:%02d:%02d", local.tm_hour, local.tm_min,
                  local.tm_sec);
    rx.PumpRawPlayback();
    EXPECT_EQ(rx.RawTimeText().toStdString(), expected);

    const struct {
        int d;
        bool moves;
        int32_t centre;
    } steps[] = {{1, true, 7148000},
                 {1, false, 7148000},
                 {-1, true, 7100000},
                 {-1, true, 7052000},
                 {-1, false, 7052000}};
    for (const auto& s : steps) {
        EXPECT_EQ(rx.MoveBand(s.d), s.moves);
        EXPECT_EQ(S().FreqCenter, s.centre);
    }
    while (rx.RawPlaying())
        rx.PumpRawPlayback();
    EXPECT_EQ(S().FreqCenter, radioCentre);
    EXPECT_TRUE(errors_.empty());
}

}  // namespace
}  // namespace core::test
