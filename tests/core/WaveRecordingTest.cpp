// The WAV recorder fed by the receiver's block path: what reaches the file,
// the time text, and a disk that fills up while recording.

#include "CoreFixture.h"

#include "dsp/SignalChain.h"
#include "recording/RawIqFile.h"
#include "tests/support/FileSizeLimit.h"

#include <cstring>
#include <vector>

namespace core::test {
namespace {

using tesmar::test::FileSizeLimit;

uint32_t Le32(const std::string& b, std::size_t at)
{
    return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 |
           uint32_t(uint8_t(b[at + 2])) << 16 | uint32_t(uint8_t(b[at + 3])) << 24;
}

class WaveRecordingTest : public CoreTest {
protected:
    // One block of loud noise: the squelch measures noise above 12 kHz, so it
    // closes on this unless the knob is at its left stop.
    void FeedNoise(int blocks)
    {
        std::vector<int16_t> b(recording::kRawBlockSamples);
        for (int n = 0; n < blocks; ++n) {
            for (int16_t& s : b) {
                seed_ = seed_ * 1664525u + 1013904223u;
                s = static_cast<int16_t>(int32_t(seed_ >> 16) % 20000 - 10000);
            }
            core::test::ReceiverProbe::HandleBlock(*rx_, b.data());
            // What the chain handed the recorder, in order.
            if (rx_->Outputs().RecFeedReady) {
                const auto& feed = rx_->Outputs().RecFeed;
                fed_.insert(fed_.end(), feed.begin(), feed.end());
            }
        }
    }

    std::filesystem::path WavFile()
    {
        for (const auto& e : std::filesystem::directory_iterator(Dir() / "Wav"))
            return e.path();
        return {};
    }

    uint32_t seed_ = 1;
    std::vector<int16_t> fed_;
};

TEST_F(WaveRecordingTest, OpenBlocksAreWrittenClosedOnesAreNotAndTheClockCountsWrittenBlocks)
{
    Receiver& rx = Started();
    int changes = 0;
    QObject::connect(&rx, &Receiver::WaveStateChanged, [&] { ++changes; });
    core::test::ReceiverProbe::SetKnobAngle(rx, Knob::Sql, 150);
    FeedNoise(10);  // the squelch settles closed
    ASSERT_FALSE(rx.Outputs().SqlBusy);

    ASSERT_TRUE(rx.WaveRecord(true));
    EXPECT_TRUE(rx.WaveRecording());
    EXPECT_TRUE(S().Recording);
    EXPECT_EQ(rx.WaveTimeText(), "00:00:00");
    const std::filesystem::path file = WavFile();
    FeedNoise(10);
    EXPECT_TRUE(fed_.empty());  // closed blocks reach nobody
    EXPECT_EQ(rx.WaveTimeText(), "00:00:00");

    core::test::ReceiverProbe::SetKnobAngle(rx, Knob::Sql, -150);  // open on every sample
    FeedNoise(20);
    EXPECT_EQ(rx.WaveTimeText(), "00:00:00");
    FeedNoise(1);
    EXPECT_EQ(rx.WaveTimeText(), "00:00:01");  // the 21st block
    const int k = 21;
    std::string bytes = ReadFile(file);
    ASSERT_EQ(bytes.size(), 44u + 800u * k);
    EXPECT_EQ(Le32(bytes, 4), 800u * k + 36);
    EXPECT_EQ(Le32(bytes, 40), 800u * k);
    ASSERT_EQ(fed_.size(), 400u * k);
    EXPECT_EQ(std::memcmp(bytes.data() + 44, fed_.data(), 800u * k), 0);

    changes = 0;
    ASSERT_TRUE(rx.WaveRecord(false));
    EXPECT_EQ(changes, 1);
    EXPECT_FALSE(rx.WaveRecording());
    EXPECT_FALSE(S().Recording);
    EXPECT_EQ(rx.WaveTimeText(), "00:00:01");  // the last time stays shown
    FeedNoise(3);
    EXPECT_EQ(ReadFile(file).size(), 44u + 800u * k);
    EXPECT_TRUE(errors_.empty());
}

TEST_F(WaveRecordingTest, AFullDiskStopsTheRecordingWithAMessageAndAValidFile)
{
    Receiver& rx = Started();
    ASSERT_TRUE(rx.WaveRecord(true));
    const std::filesystem::path file = WavFile();
    int changes = 0;
    bool errorBeforeStop = false;
    QObject::connect(&rx, &Receiver::WaveStateChanged, [&] {
        ++changes;
        // "REC" comes up before the message box opens over the window.
        if (!rx.WaveRecording() && changes == 6)
            errorBeforeStop = !errors_.empty();
    });
    {
        FileSizeLimit full(44 + 5 * 800 + 300);
        for (int n = 0; n < 8 && rx.WaveRecording(); ++n)
            FeedNoise(1);
    }
    EXPECT_FALSE(rx.WaveRecording());
    EXPECT_FALSE(S().Recording);
    EXPECT_EQ(changes, 6);  // five blocks, then the stop
    EXPECT_FALSE(errorBeforeStop);
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_TRUE(errors_[0].beep);
    const std::string& message = errors_[0].message;
    EXPECT_NE(message.find(file.string()), std::string::npos) << message;
    EXPECT_NE(message.find(std::strerror(EFBIG)), std::string::npos) << message;
    EXPECT_NE(message.find("00:00:00"), std::string::npos) << message;

    const std::string bytes = ReadFile(file);
    ASSERT_EQ(bytes.size(), 44u + 5 * 800u);
    EXPECT_EQ(Le32(bytes, 4), 5 * 800u + 36);
    EXPECT_EQ(Le32(bytes, 40), 5 * 800u);
    EXPECT_EQ(std::memcmp(bytes.data() + 44, fed_.data(), 5 * 800u), 0);

    // A new recording starts afresh.
    ASSERT_TRUE(rx.WaveRecord(true));
    EXPECT_EQ(rx.WaveTimeText(), "00:00:00");
    rx.WaveRecord(false);
}

}  // namespace
}  // namespace core::test
