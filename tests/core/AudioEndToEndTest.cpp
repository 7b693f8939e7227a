#include "CoreFixture.h"

#include "JackRig.h"
#include "JackServer.h"
#include "audio/AudioEngine.h"
#include "core/RawTransport.h"
#include "core/SettingsChoices.h"
#include "core/UdpAudio.h"
#include "dsp/SignalChain.h"
#include "recording/RawIqFile.h"
#include "recording/WavFile.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/PacketRadio.h"
#include "tests/support/UdpListener.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <sstream>

namespace core::test {
namespace {

using audiotest::JackRig;
using audiotest::JackServer;
using Block = std::array<int16_t, recording::kRawBlockSamples>;
constexpr int64_t kFrames = recording::kRawBlockFrames;

// The receiver on a private JACK server with the dummy driver; the test's
// own client "rig" is the radio (its outputs feed the capture) and the
// speakers (its inputs record the playback).
class AudioEndToEnd : public CoreTest {
protected:
    void SetUp() override
    {
        if (!JackServer::Installed())
            GTEST_SKIP() << "jackd is not installed (scripts/deps installs jackd2)";
        std::string error;
        server_.SetPeriod(period_);
        ASSERT_TRUE(audiotest::StartServerWithRig(server_, rig_, error)) << error;
        audio::AudioEngine lister;
        lister.SetApi(audio::AudioApi::Jack);
        rigInput_ = int(lister.InputDeviceNames().indexOf(QStringLiteral("rig"))) + 1;
        rigOutput_ = int(lister.OutputDeviceNames().indexOf(QStringLiteral("rig"))) + 1;
        ASSERT_GT(rigInput_, 0);
        ASSERT_GT(rigOutput_, 0);
    }

    void TearDown() override
    {
        if (rx_)
            rx_->CloseDevices();
        rx_.reset();
        rig_.Close();
        server_.Stop();
    }

    // Start with these devices, the volume up and every processed block's
    // input kept; the reference chain starts from the state after Start().
    Receiver& StartOn(int input, int output, const std::string& more = "")
    {
        WriteIni("[Wave]\nInput=" + std::to_string(input) + "\nOutput=" + std::to_string(output) +
                 "\nGainPos=0\n" + more);
        Receiver& rx = Make();
        QObject::connect(&rx, &Receiver::BlockProcessed, [this, &rx] {
            Block b;
            std::memcpy(b.data(), core::test::ReceiverProbe::LastBlockInput(rx), sizeof b);
            inputs_.push_back(b);
        });
        rx.Start();
        reference_ = rx.State();
        startErrors_ = errors_;
        errors_.clear();
        return rx;
    }

    // What ProcessBlock computes for every block the receiver processed.
    std::vector<Block> ReferenceOutputs()
    {
        dsp::SignalChain chain(reference_);
        chain.Setup();
        std::vector<Block> out;
        for (const Block& in : inputs_) {
            chain.ProcessBlock(in.data());
            Block o;
            std::memcpy(o.data(), chain.Outputs().OutFrames.data(), sizeof o);
            out.push_back(o);
        }
        return out;
    }

    // Walks the recording in block steps from the place where the first
    // reference block with sound appears: each step holds the next reference
    // block, or silence where the device found nothing queued; a run of
    // blocks the device dropped to catch up with a backlog (start-up, a
    // stalled main thread) is counted in `skipped` (blocks of silence among
    // them cannot be told from a pause and are not). Returns how many
    // reference blocks were found in order, bit for bit, or skipped. Once the
    // device has played everything, the blocks never heard after the last
    // one heard were skipped too (a skip cannot be seen before the next
    // block with sound: there may be none).
    std::size_t MatchedInOrder(const std::vector<Block>& ref, std::string& why,
                               std::size_t& skipped, bool allPlayed = false) const
    {
        constexpr std::size_t kMaxRun = audio::kPlaybackBlocks;
        const int64_t recorded = rig_.Recorded();
        const int16_t* rec = rig_.RecordedFrames();
        auto equalAt = [&](int64_t pos, const Block& b) {
            return std::memcmp(rec + 2 * pos, b.data(), sizeof b) == 0;
        };
        auto silentAt = [&](int64_t pos) {
            for (int64_t i = 0; i < 2 * kFrames; ++i)
                if (rec[2 * pos + i] != 0)
                    return false;
            return true;
        };
        auto withSound = [&](std::size_t from, std::size_t to) {
            std::size_t n = 0;
            for (std::size_t k = from; k < to; ++k)
                n += ref[k] != Block{} ? 1 : 0;
            return n;
        };
        // The reference block heard at pos after skipping fewer than `run`
        // from j on, or ref.size().
        auto heardAt = [&](int64_t pos, std::size_t j, std::size_t run) {
            for (std::size_t k = j; k < ref.size() && k < j + run; ++k)
                if (equalAt(pos, ref[k]))
                    return k;
            return ref.size();
        };
        skipped = 0;
        int64_t start = -1;
        std::size_t j = ref.size();
        for (int64_t pos = 0; pos + kFrames <= recorded && start < 0; ++pos)
            if (!silentAt(pos) && (j = heardAt(pos, 0, ref.size())) < ref.size())
                start = pos;
        if (start < 0) {
            why = "no processed block with sound was ever played";
            return 0;
        }
        skipped = withSound(0, j);
        int64_t silent = 0;
        for (int64_t pos = start; pos + kFrames <= recorded && j < ref.size(); pos += kFrames) {
            if (silentAt(pos)) {
                if (ref[j] == Block{})
                    ++j;
                else
                    ++silent;
                continue;
            }
            const std::size_t k = heardAt(pos, j, kMaxRun);
            if (k == ref.size()) {
                std::ostringstream s;
                s << "block " << j << " differs at frame " << pos << " (lag " << start
                  << " frames)";
                why = s.str();
                return j;
            }
            skipped += withSound(j, k);
            j = k + 1;
        }
        if (allPlayed && j < ref.size()) {
            skipped += withSound(j, ref.size());
            j = ref.size();
        }
        std::ostringstream s;
        s << "recording of " << recorded << " frames ends; lag " << start << " frames, " << silent
          << " silent blocks on the way, " << skipped << " skipped";
        why = s.str();
        return j;
    }

    // A raw recording of `blocks` blocks whose samples the rig's pattern never
    // has; its blocks are kept in take_.
    std::filesystem::path WriteTake(int blocks)
    {
        const std::filesystem::path file = Dir() / "take.dat";
        recording::RawRecorder rec;
        EXPECT_TRUE(rec.Start(file, recording::LocalStamp{}, 5012000));
        take_.clear();
        Block b{};
        for (int n = 0; n < blocks; ++n) {
            for (std::size_t i = 0; i < b.size(); ++i)
                b[i] = static_cast<int16_t>(((int(i) * 37 + n * 1000) % 8000) - 4000);
            EXPECT_TRUE(rec.AppendBlock(b.data()));
            take_.push_back(b);
        }
        EXPECT_TRUE(rec.Stop());
        return file;
    }

    // The blocks processed from `start` on are the take's, in order, then
    // the zero-padded block that ends it.
    void ExpectOnlyTheTakeFrom(std::size_t start)
    {
        ASSERT_GE(inputs_.size(), start + take_.size() + 1);
        for (std::size_t b = 0; b < take_.size(); ++b)
            ASSERT_EQ(inputs_[start + b], take_[b]) << "block " << b << " of the take";
        EXPECT_EQ(inputs_[start + take_.size()], Block{});
    }

    // Stops live input, so that nothing more is processed, and waits until
    // the speakers have had every processed block; returns how many of them
    // arrived bit for bit and in order, or were dropped by the device to
    // catch up (and counted).
    std::size_t HeardInOrder(Receiver& rx, std::string& why)
    {
        ReceiverProbe::Audio(rx).StopCapture();
        QCoreApplication::processEvents();
        const std::vector<Block> ref = ReferenceOutputs();
        audio::AudioEngine& engine = ReceiverProbe::Audio(rx);
        int64_t emptyAt = -1;
        RunUntil(
            [&] {
                if (engine.PlaybackBlocksWaiting() != 0)
                    emptyAt = -1;
                else if (emptyAt < 0)
                    emptyAt = rig_.Recorded();
                return emptyAt >= 0 && rig_.Recorded() >= emptyAt + 3 * kFrames;
            },
            20000);
        std::size_t skipped = 0;
        const std::size_t matched = MatchedInOrder(ref, why, skipped, true);
        why += " (" + std::to_string(matched) + " of " + std::to_string(ref.size()) + " blocks)";
        // Every block not heard is one the device says it dropped.
        EXPECT_LE(skipped, ReceiverProbe::Audio(rx).SkippedOutputBlocks()) << why;
        return matched;
    }

    // The frames of count reference blocks from first on, and the frames the
    // rig recorded, each without its silent frames (the device plays silence
    // where it found nothing queued, and the server where our client missed
    // a period on a loaded machine): how many of the blocks' frames the
    // recording holds in order, from the place where the first is heard.
    int64_t HeardInOrderOfSound(const std::vector<Block>& ref, std::size_t first,
                                std::size_t count) const
    {
        auto sound = [](const int16_t* frames, int64_t n, std::vector<uint32_t>& out) {
            for (int64_t i = 0; i < n; ++i)
                if (frames[2 * i] != 0 || frames[2 * i + 1] != 0)
                    out.push_back(uint32_t(uint16_t(frames[2 * i])) |
                                  uint32_t(uint16_t(frames[2 * i + 1])) << 16);
        };
        std::vector<uint32_t> expected, heard;
        for (std::size_t b = first; b < first + count; ++b)
            sound(ref[b].data(), kFrames, expected);
        sound(rig_.RecordedFrames(), rig_.Recorded(), heard);
        const auto at =
            std::search(heard.begin(), heard.end(), expected.begin(),
                        expected.begin() + std::min<std::ptrdiff_t>(64, expected.size()));
        if (at == heard.end())
            return 0;
        const auto end = std::mismatch(expected.begin(), expected.end(), at, heard.end());
        return end.first - expected.begin();
    }

    int period_ = 2400;  // the server's, in frames
    JackServer server_;
    JackRig rig_;
    int rigInput_ = 0;
    int rigOutput_ = 0;
    std::vector<Block> inputs_;
    std::vector<Block> take_;
    ReceiverState reference_;
};

TEST_F(AudioEndToEnd, PlaysExactlyWhatTheChainComputes)
{
    Receiver& rx = StartOn(rigInput_, rigOutput_, "RxMode=3\nIFBW=1\nFreqTune=-3000\n");
    ASSERT_TRUE(startErrors_.empty());
    ASSERT_TRUE(errors_.empty()) << errors_[0].message;
    ASSERT_TRUE(core::test::ReceiverProbe::CaptureOpen(rx));
    ASSERT_TRUE(core::test::ReceiverProbe::PlaybackOpen(rx));
    ASSERT_TRUE(RunUntil([&] { return core::test::ReceiverProbe::ProcessedBlocks(rx) >= 40; }));
    std::string why;
    const std::size_t heard = HeardInOrder(rx, why);
    EXPECT_EQ(heard, inputs_.size()) << why;
    rx.CloseDevices();

    // The capture gave the rig's pattern, block after block.
    ASSERT_GE(inputs_.size(), 40u);
    // (The rig's ports are connected a moment after the stream starts, so the
    // first blocks may be silence: how many depends on the server's load.)
    std::size_t firstFed = 0;
    while (firstFed < inputs_.size() &&
           audiotest::PatternPosition(inputs_[firstFed][0], inputs_[firstFed][1]) < 0)
        ++firstFed;
    ASSERT_LT(firstFed, inputs_.size());
    const int64_t first = audiotest::PatternPosition(inputs_[firstFed][0], inputs_[firstFed][1]);
    for (std::size_t b = firstFed; b < inputs_.size(); ++b)
        ASSERT_EQ(audiotest::PatternPosition(inputs_[b][0], inputs_[b][1]),
                  first + int64_t(b - firstFed) * kFrames)
            << b;
    EXPECT_EQ(ReceiverProbe::Audio(rx).DroppedOutputBlocks(), 0u);
}

TEST_F(AudioEndToEnd, RawRecordingPlaysBackThroughTheReceiver)
{
    Receiver& rx = StartOn(rigInput_, rigOutput_);
    ASSERT_TRUE(RunUntil([&] { return core::test::ReceiverProbe::ProcessedBlocks(rx) >= 5; }));
    rx.Rec(true);
    ASSERT_TRUE(rx.RawRecording());
    const std::size_t recStart = inputs_.size();
    ASSERT_TRUE(
        RunUntil([&] { return core::test::ReceiverProbe::ProcessedBlocks(rx) >= recStart + 20; }));
    rx.Rec(false);
    const std::size_t recEnd = inputs_.size();
    const std::filesystem::path file = S().RawFileName;

    // The file holds exactly the blocks processed while it was open.
    const std::string bytes = ReadFile(file);
    const std::size_t k = recEnd - recStart;
    ASSERT_EQ(bytes.size(), recording::kRawHeaderSize + k * sizeof(Block) + 16);
    for (std::size_t b = 0; b < k; ++b)
        ASSERT_EQ(std::memcmp(bytes.data() + recording::kRawHeaderSize + b * sizeof(Block),
                              inputs_[recStart + b].data(), sizeof(Block)),
                  0)
            << b;

    // Played back, the same blocks go through the chain again, paced by the
    // playback device, then one block of zeros, and live input resumes.
    // (Live blocks may follow at once: the check below comes when the event
    // loop has had its turn, and live input may have resumed a block before.)
    ASSERT_TRUE(rx.PlayEnabled());
    const std::size_t playStart = inputs_.size();
    rx.Play(true);
    ASSERT_TRUE(rx.RawPlaying());
    EXPECT_FALSE(core::test::ReceiverProbe::CaptureRunning(rx));
    ASSERT_TRUE(RunUntil([&] { return !rx.RawPlaying(); }));
    EXPECT_TRUE(core::test::ReceiverProbe::CaptureRunning(rx));
    ASSERT_GE(inputs_.size(), playStart + k + 1);
    for (std::size_t b = 0; b < k; ++b)
        ASSERT_EQ(inputs_[playStart + b], inputs_[recStart + b]) << b;
    EXPECT_EQ(inputs_[playStart + k], Block{});

    const std::size_t total = inputs_.size() + 10;
    ASSERT_TRUE(RunUntil([&] { return core::test::ReceiverProbe::ProcessedBlocks(rx) >= total; }));

    // Live, played and live again: what the speakers got is what the chain
    // computed for all of it.
    std::string why;
    EXPECT_EQ(HeardInOrder(rx, why), inputs_.size()) << why;
    rx.CloseDevices();
}

// ------------------------------------------------------------ audio over UDP

// The receiver's settings file sending audio over UDP to host:port.
std::string UdpSection(const std::string& host, uint16_t port)
{
    return "[UDP]\nUdpOn=1\nUdpHost=" + host + "\nUdpPort=" + std::to_string(port) + "\n";
}

// Every datagram waiting at the decoder, appended to `stream`; false on one
// that is not a fifth of a block.
bool Drain(tesmar::test::UdpListener& decoder, std::vector<uint8_t>& stream)
{
    for (const std::vector<uint8_t>& d : decoder.TakeWaiting()) {
        if (d.size() != 960)
            return false;
        stream.insert(stream.end(), d.begin(), d.end());
    }
    return true;
}

// Live IQ through the JACK server: a decoder on the loopback address gets
// each processed block's decoder feed, every block, in order, as 16-bit
// little-endian mono, bit for bit what the chain computes; VOL turned to its
// stop halfway changes nothing there.
TEST_F(AudioEndToEnd, UdpGetsEveryBlockInOrderWhateverVolSays)
{
    tesmar::test::UdpListener decoder;
    ASSERT_TRUE(decoder.Bound());
    Receiver& rx =
        StartOn(rigInput_, rigOutput_,
                "RxMode=3\nIFBW=1\nFreqTune=-3000\n" + UdpSection("127.0.0.1", decoder.Port()));
    EXPECT_EQ(rx.Udp().StatusText().toStdString(),
              "Audio over UDP to 127.0.0.1:" + std::to_string(decoder.Port()));
    std::vector<uint8_t> stream;
    bool whole = true;
    ASSERT_TRUE(RunUntil([&] {
        whole &= Drain(decoder, stream);
        return ReceiverProbe::ProcessedBlocks(rx) >= 30;
    }));
    rx.TurnKnob(Knob::Vol, -150);
    ASSERT_EQ(S().VolGain, 0.0);
    ASSERT_TRUE(RunUntil([&] {
        whole &= Drain(decoder, stream);
        return ReceiverProbe::ProcessedBlocks(rx) >= 60;
    }));
    ReceiverProbe::Audio(rx).StopCapture();
    QCoreApplication::processEvents();
    const std::size_t expected = inputs_.size() * kFrames * 2;
    RunUntil(
        [&] {
            whole &= Drain(decoder, stream);
            return stream.size() >= expected;
        },
        10000);
    ASSERT_TRUE(whole);
    ASSERT_EQ(stream.size(), expected);
    EXPECT_EQ(rx.Udp().Sender().DroppedDatagrams(), 0);

    dsp::SignalChain chain(reference_);
    chain.Setup();
    for (std::size_t b = 0; b < inputs_.size(); ++b) {
        chain.ProcessBlock(inputs_[b].data());
        const auto& feed = chain.Outputs().DecoderAudio;
        for (std::size_t n = 0; n < feed.size(); ++n) {
            const std::size_t at = 2 * (b * feed.size() + n);
            ASSERT_EQ(int16_t(stream[at] | stream[at + 1] << 8), feed[n])
                << "block " << b << " sample " << n;
        }
    }
}

// A port nobody listens on, a host name that does not resolve: told once
// however many blocks follow, and the loudspeakers hear every block.
class UdpTrouble : public AudioEndToEnd {
protected:
    void ExpectToldOnceAndEveryBlockHeard(const std::string& host, uint16_t port)
    {
        Receiver& rx = StartOn(rigInput_, rigOutput_, UdpSection(host, port));
        const QString to =
            QString::fromStdString("Audio over UDP to " + host + ":" + std::to_string(port) + ": ");
        int failures = 0;
        QString told;
        QObject::connect(&rx.Udp(), &UdpAudio::StatusChanged, [&](const QString& text) {
            failures += text.startsWith(to);
            told = text;
        });
        ASSERT_TRUE(RunUntil([&] { return failures > 0; }));
        const uint64_t since = ReceiverProbe::ProcessedBlocks(rx);
        ASSERT_TRUE(RunUntil([&] { return ReceiverProbe::ProcessedBlocks(rx) >= since + 40; }));
        EXPECT_EQ(failures, 1) << told.toStdString();
        EXPECT_EQ(rx.Udp().StatusText(), told);
        std::string why;
        EXPECT_EQ(HeardInOrder(rx, why), inputs_.size()) << why;
    }
};

TEST_F(UdpTrouble, AClosedPort)
{
    ExpectToldOnceAndEveryBlockHeard("127.0.0.1", tesmar::test::ClosedUdpPort());
}

// A name under the reserved .invalid domain.
TEST_F(UdpTrouble, AHostNameThatDoesNotResolve)
{
    ExpectToldOnceAndEveryBlockHeard("no-such-decoder.invalid", 7355);
}

// A raw recording of packets on an FM carrier plays through the receiver,
// and direwolf, listening on UDP, decodes every packet.
TEST_F(AudioEndToEnd, DirewolfDecodesPacketsFromAPlayedFmRecording)
{
    if (!tesmar::test::PacketToolsInstalled())
        GTEST_SKIP() << "direwolf is not installed (scripts/deps installs it)";
    const std::vector<std::string> packets = {"tesmar live one", "tesmar live two"};
    const std::vector<int16_t> audio = tesmar::test::PacketAudio(Dir(), packets);
    ASSERT_FALSE(audio.empty());
    const std::filesystem::path file = Dir() / "packets.dat";
    ASSERT_GT(tesmar::test::WriteFmRecording(file, audio, -12000.0), 0);
    const uint16_t port = tesmar::test::ClosedUdpPort();
    tesmar::test::Direwolf direwolf;
    ASSERT_TRUE(direwolf.Start(Dir(), port)) << direwolf.Output();

    Receiver& rx =
        StartOn(rigInput_, rigOutput_, "RxMode=1\nIFBW=3\n" + UdpSection("127.0.0.1", port));
    rx.OpenRawFile(file);
    rx.Play(true);
    ASSERT_TRUE(rx.RawPlaying());
    ASSERT_TRUE(RunUntil([&] { return !rx.RawPlaying(); }));
    EXPECT_TRUE(direwolf.AwaitDecoded(packets, 20)) << direwolf.Output();
}

int64_t SilentFrames(const Block& b)
{
    int64_t n = 0;
    for (std::size_t i = 0; i < b.size(); i += 2)
        n += b[i] == 0 && b[i + 1] == 0 ? 1 : 0;
    return n;
}

// The server may run at any period, shorter or longer than a block: a file
// that plays is heard whole, frame after frame, at real time: nothing
// dropped, repeated or reordered, only silence where the main thread was
// late (an underrun) or, on a loaded machine, where the server ran a period
// without our client.
class AudioEndToEndAtPeriod : public AudioEndToEnd, public ::testing::WithParamInterface<int> {
protected:
    AudioEndToEndAtPeriod() { period_ = GetParam(); }
};

TEST_P(AudioEndToEndAtPeriod, EveryBlockOfAPlayedFileIsHeardInOrderAtRealTime)
{
    Receiver& rx = StartOn(rigInput_, rigOutput_);
    ASSERT_TRUE(RunUntil([&] { return core::test::ReceiverProbe::ProcessedBlocks(rx) >= 10; }));
    audio::AudioEngine& engine = ReceiverProbe::Audio(rx);
    const uint64_t underruns = engine.Underruns();
    const uint64_t xruns = engine.DeviceXruns();
    const uint64_t skipped = engine.SkippedOutputBlocks();
    const int live = engine.PlaybackBlocksWaiting();
    const std::size_t playStart = inputs_.size();
    rx.OpenRawFile(WriteTake(40));
    ASSERT_TRUE(rx.RawPlaying());
    ASSERT_TRUE(RunUntil([&] { return !rx.RawPlaying(); }));
    // Every block of the file went to the device: the only blocks dropped
    // meanwhile are live ones queued before it (the file's come first in the
    // queue until they have played).
    EXPECT_LE(engine.SkippedOutputBlocks() - skipped, uint64_t(live));
    EXPECT_EQ(engine.DroppedOutputBlocks(), 0u);
    ExpectOnlyTheTakeFrom(playStart);

    const std::vector<Block> ref = ReferenceOutputs();
    for (std::size_t b = 0; b < take_.size(); ++b)
        ASSERT_NE(ref[playStart + b], Block{}) << "the take's block " << b << " plays silence";
    int64_t total = 0;
    for (std::size_t b = playStart; b < playStart + take_.size(); ++b)
        total += kFrames - SilentFrames(ref[b]);
    int64_t heard = 0;
    RunUntil(
        [&] {
            heard = HeardInOrderOfSound(ref, playStart, take_.size());
            return heard == total && engine.PlaybackBlocksWaiting() == 0;
        },
        20000);
    // The rig heard each frame once, in order, unless the server
    // itself ran periods without our client (it then passes on what the
    // port held, which no client can mend).
    if (engine.DeviceXruns() == xruns) {
        EXPECT_EQ(heard, total) << "frames with sound, the first " << heard / kFrames
                                << " blocks' worth in order";
    } else {
        RecordProperty("device_xruns", std::to_string(engine.DeviceXruns() - xruns));
    }
    RecordProperty("underruns", std::to_string(engine.Underruns() - underruns));
    rx.CloseDevices();
}

INSTANTIATE_TEST_SUITE_P(Periods, AudioEndToEndAtPeriod, ::testing::Values(256, 1024, 2400, 4800),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::to_string(info.param) + "Frames";
                         });

TEST_F(AudioEndToEnd, ACaptureDeviceThatCannotOpenIsReportedAndPlaybackGoesOn)
{
    Receiver& rx = StartOn(99, rigOutput_);
    EXPECT_TRUE(startErrors_.empty());
    EXPECT_EQ(rx.SoundNoticeText(),
              QStringLiteral("Can not open the recoding device. ") + audio::kDeviceAwaitedMessage);
    EXPECT_FALSE(core::test::ReceiverProbe::CaptureOpen(rx));
    ASSERT_TRUE(core::test::ReceiverProbe::PlaybackOpen(rx));

    // Raw playback needs only the playback device to advance.
    const std::filesystem::path file = WriteTake(12);
    rx.OpenRawFile(file);
    ASSERT_TRUE(RunUntil([&] { return !rx.RawPlaying(); }));
    EXPECT_EQ(inputs_.size(), 13u);
    std::string why;
    EXPECT_EQ(HeardInOrder(rx, why), inputs_.size()) << why;

    // The settings dialog's lists number the devices as the receiver opens them.
    EXPECT_EQ(rx.InputDeviceNames().indexOf(QStringLiteral("rig")) + 1, rigInput_);
    EXPECT_EQ(rx.OutputDeviceNames().indexOf(QStringLiteral("rig")) + 1, rigOutput_);
    rx.CloseDevices();
}

// The server gone while the receiver starts (killed a moment before): the
// start used to say so in two boxes and never try again, and the settings
// dialog's lists, made meanwhile, offered the defaults alone for good.
TEST_F(AudioEndToEnd, AServerGoneAtTheStartBringsTheStreamsAndTheDeviceListsWhenItIsBack)
{
    rig_.Close();
    server_.Stop();
    Receiver& rx = StartOn(rigInput_, rigOutput_);
    EXPECT_TRUE(startErrors_.empty());
    EXPECT_TRUE(rx.SoundDeviceLost());
    core::SettingsChoices choices(rx, Remote());
    QObject::connect(&rx, &Receiver::SoundDevicesRecovered,
                     [&choices] { choices.TakeRecoveredDevices(); });
    EXPECT_EQ(choices.OutputEntries().indexOf(QStringLiteral("rig")), -1);

    std::string error;
    ASSERT_TRUE(server_.Restart(error)) << error;
    ASSERT_TRUE(rig_.Open("rig", 2, 2));
    ASSERT_TRUE(RunUntil([&] { return !rx.SoundDeviceLost(); }, 60000));
    EXPECT_TRUE(core::test::ReceiverProbe::CaptureOpen(rx));
    EXPECT_TRUE(core::test::ReceiverProbe::PlaybackOpen(rx));
    ASSERT_TRUE(RunUntil([&] { return core::test::ReceiverProbe::ProcessedBlocks(rx) >= 3; }));
    EXPECT_EQ(choices.InputEntries().indexOf(QStringLiteral("rig")), rigInput_);
    EXPECT_EQ(choices.OutputEntries().indexOf(QStringLiteral("rig")), rigOutput_);
    EXPECT_EQ(choices.Output(), rigOutput_);
    rx.CloseDevices();
}

TEST_F(AudioEndToEnd, ADeviceRestartDuringPlaybackLeavesTheFileAloneOnTheChain)
{
    Receiver& rx = StartOn(rigInput_, rigOutput_);
    ASSERT_TRUE(RunUntil([&] { return core::test::ReceiverProbe::ProcessedBlocks(rx) >= 5; }));
    int finished = 0;
    QObject::connect(&rx, &Receiver::DeviceRestartFinished, [&] { ++finished; });
    const std::size_t playStart = inputs_.size();
    rx.OpenRawFile(WriteTake(60));  // three seconds, well past the restart
    ASSERT_TRUE(rx.RawPlaying());

    rx.RestartDevices(rigInput_, rigOutput_);
    ASSERT_TRUE(RunUntil([&] { return finished == 1; }));
    ASSERT_TRUE(rx.RawPlaying());
    EXPECT_TRUE(core::test::ReceiverProbe::CaptureOpen(rx));
    EXPECT_FALSE(core::test::ReceiverProbe::CaptureRunning(rx));

    ASSERT_TRUE(RunUntil([&] { return !rx.RawPlaying(); }));
    EXPECT_TRUE(
        core::test::ReceiverProbe::CaptureRunning(rx));  // live input is back after the file
    ExpectOnlyTheTakeFrom(playStart);
    EXPECT_TRUE(errors_.empty()) << errors_[0].message;
    rx.CloseDevices();
}

TEST_F(AudioEndToEnd, PlaybackGoesOnWhenCaptureCannotReopenAfterARestart)
{
    Receiver& rx = StartOn(rigInput_, rigOutput_);
    int finished = 0;
    QObject::connect(&rx, &Receiver::DeviceRestartFinished, [&] { ++finished; });
    const std::size_t playStart = inputs_.size();
    rx.OpenRawFile(WriteTake(40));
    ASSERT_TRUE(rx.RawPlaying());

    rx.RestartDevices(99, rigOutput_);
    ASSERT_TRUE(RunUntil([&] { return finished == 1; }));
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_EQ(errors_[0].message, "Can not open the recoding device");
    EXPECT_FALSE(core::test::ReceiverProbe::CaptureOpen(rx));
    ASSERT_TRUE(core::test::ReceiverProbe::PlaybackOpen(rx));

    ASSERT_TRUE(RunUntil([&] { return !rx.RawPlaying(); }));
    ExpectOnlyTheTakeFrom(playStart);
    EXPECT_EQ(inputs_.size(), playStart + take_.size() + 1);
    EXPECT_EQ(errors_.size(), 1u);
    rx.CloseDevices();
}

TEST_F(AudioEndToEnd, WaveRecordingOfTheRunningReceiverHoldsEveryOpenSquelchBlock)
{
    Receiver& rx = StartOn(rigInput_, rigOutput_);  // SQL at its left stop: always open
    ASSERT_TRUE(RunUntil([&] { return core::test::ReceiverProbe::ProcessedBlocks(rx) >= 5; }));
    std::vector<int16_t> fed;
    QObject::connect(&rx, &Receiver::BlockProcessed, [&] {
        if (rx.WaveRecording() && rx.Outputs().RecFeedReady)
            fed.insert(fed.end(), rx.Outputs().RecFeed.begin(), rx.Outputs().RecFeed.end());
    });
    ASSERT_TRUE(rx.WaveRecord(true));
    ASSERT_TRUE(RunUntil([&] { return fed.size() >= 30u * recording::kWaveRecSamples; }));
    rx.WaveRecord(false);
    rx.CloseDevices();

    const std::size_t k = fed.size() / recording::kWaveRecSamples;
    const std::string bytes = ReadFile(*std::filesystem::directory_iterator(Dir() / "Wav"));
    ASSERT_EQ(bytes.size(), 44u + 800u * k);
    uint32_t riff = 0, data = 0;
    std::memcpy(&riff, bytes.data() + 4, 4);
    std::memcpy(&data, bytes.data() + 40, 4);
    EXPECT_EQ(data, 800u * k);
    EXPECT_EQ(riff, 800u * k + 36);
    EXPECT_EQ(std::memcmp(bytes.data() + 44, fed.data(), 800u * k), 0);
    EXPECT_TRUE(errors_.empty());
}

TEST_F(AudioEndToEnd, ARawRecordingOnAFullDiskStopsWithAMessageAndEndsItsFile)
{
    Receiver& rx = StartOn(rigInput_, rigOutput_);
    ASSERT_TRUE(RunUntil([&] { return core::test::ReceiverProbe::ProcessedBlocks(rx) >= 5; }));
    int buttonChanges = 0;
    QObject::connect(&rx, &Receiver::RawButtonsChanged, [&] { ++buttonChanges; });
    std::size_t recStart = 0;
    {
        tesmar::test::FileSizeLimit full(recording::kRawHeaderSize + 5 * sizeof(Block) + 3000);
        rx.Rec(true);
        recStart = inputs_.size();
        ASSERT_TRUE(rx.RawRecording());
        ASSERT_TRUE(RunUntil([&] { return !rx.RawRecording(); }));
    }
    rx.CloseDevices();
    EXPECT_FALSE(rx.RecDown());
    EXPECT_TRUE(rx.PlayEnabled());
    EXPECT_TRUE(rx.OpenEnabled());
    EXPECT_GE(buttonChanges, 2);
    const std::filesystem::path file = S().RawFileName;
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_TRUE(errors_[0].beep);
    EXPECT_NE(errors_[0].message.find(file.string()), std::string::npos) << errors_[0].message;
    EXPECT_NE(errors_[0].message.find(std::strerror(EFBIG)), std::string::npos);

    // Five whole blocks, the ones the chain got while recording, then the marker.
    const std::string bytes = ReadFile(file);
    ASSERT_EQ(bytes.size(), recording::kRawHeaderSize + 5 * sizeof(Block) + 16);
    for (std::size_t b = 0; b < 5; ++b)
        ASSERT_EQ(std::memcmp(bytes.data() + recording::kRawHeaderSize + b * sizeof(Block),
                              inputs_[recStart + b].data(), sizeof(Block)),
                  0)
            << b;
    EXPECT_EQ(std::memcmp(bytes.data() + bytes.size() - 16, recording::kRawEndMarker.data(), 16),
              0);
}

// The main thread is held up longer than the capture ring lasts (1.6 s) while
// a raw recording runs: the file cannot have the input lost meanwhile, and the
// operator learns so when the recording ends, with the file and the amount.
TEST_F(AudioEndToEnd, ARawRecordingThatLostInputSaysSoWhenItEnds)
{
    Receiver& rx = StartOn(rigInput_, rigOutput_);
    ASSERT_TRUE(RunUntil([&] { return core::test::ReceiverProbe::ProcessedBlocks(rx) >= 3; }));
    rx.Rec(true);
    ASSERT_TRUE(rx.RawRecording());
    const uint64_t lostBefore = ReceiverProbe::Audio(rx).LostInputBlocks();
    static std::vector<std::string> logged;
    logged.clear();
    // (The stall also changes the playback lag, which the audio category logs.)
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext& context, const QString& text) {
            if (!context.category || QLatin1String(context.category) != "tesmar.audio")
                logged.push_back(text.toStdString());
        });
    QThread::msleep(2500);
    const uint64_t processed = core::test::ReceiverProbe::ProcessedBlocks(rx);
    ASSERT_TRUE(
        RunUntil([&] { return core::test::ReceiverProbe::ProcessedBlocks(rx) >= processed + 40; }));
    qInstallMessageHandler(previous);
    EXPECT_TRUE(errors_.empty());  // nothing is shown while it records...
    ASSERT_EQ(logged.size(), 1u);  // ...but the log has it at once
    EXPECT_NE(logged[0].find(S().RawFileName), std::string::npos) << logged[0];
    rx.Rec(false);
    const uint64_t lost = ReceiverProbe::Audio(rx).LostInputBlocks() - lostBefore;
    ASSERT_GE(lost, 1u);
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_TRUE(errors_[0].beep);
    EXPECT_EQ(errors_[0].message, IncompleteRecordingMessage(S().RawFileName, lost).toStdString());

    // The next recording starts with a clean slate.
    rx.Rec(true);
    ASSERT_TRUE(
        RunUntil([&] { return core::test::ReceiverProbe::ProcessedBlocks(rx) >= processed + 45; }));
    rx.Rec(false);
    EXPECT_EQ(errors_.size(), 1u);
}

}  // namespace
}  // namespace core::test
