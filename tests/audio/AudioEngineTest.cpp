#include "audio/AudioEngine.h"
#include "audio/DeviceStream.h"
#include "audio/SoundPlayer.h"
#include "tests/support/TempDir.h"

#include "JackRig.h"
#include "JackServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using audio::AudioApi;
using audio::AudioEngine;
using audio::Block;
using audio::BlockView;
using audio::kBlockFrames;
using audiotest::JackRig;
using audiotest::JackServer;
using audiotest::Pattern;
using audiotest::PatternPosition;

// Generous limits that only end a test that would otherwise hang; nothing
// here depends on how fast the machine is.
constexpr int kPatienceSeconds = 60;

// A block of the rig's pattern, starting at pattern position first.
Block PatternBlock(int64_t first)
{
    Block b{};
    for (int i = 0; i < kBlockFrames; ++i) {
        const auto p = Pattern(first + i);
        b[2 * i] = p.left;
        b[2 * i + 1] = p.right;
    }
    return b;
}

// The position of the pattern block b holds, or -1 when it holds anything
// else (silence at the start of a stream, for one).
int64_t PatternBlockPosition(BlockView b)
{
    const int64_t first = PatternPosition(b[0], b[1]);
    if (first < 0)
        return -1;
    for (int i = 0; i < kBlockFrames; ++i) {
        const auto p = Pattern(first + i);
        if (b[2 * i] != p.left || b[2 * i + 1] != p.right)
            return -1;
    }
    return first;
}

// A 16-bit mono WAV file of a quiet tone, `seconds` long.
void WriteTone(const std::filesystem::path& file, int seconds)
{
    const uint32_t rate = 48000, bytes = rate * 2 * uint32_t(seconds);
    auto le = [](uint32_t v, int n) {
        std::string s;
        for (int i = 0; i < n; ++i)
            s += char((v >> (8 * i)) & 0xFF);
        return s;
    };
    std::ofstream out(file, std::ios::binary);
    out << "RIFF" << le(bytes + 36, 4) << "WAVEfmt " << le(16, 4) << le(1, 2) << le(1, 2)
        << le(rate, 4) << le(rate * 2, 4) << le(2, 2) << le(16, 2) << "data" << le(bytes, 4);
    for (uint32_t i = 0; i < bytes / 2; ++i)
        out << le(uint16_t(int16_t(1000 * std::sin(i * 0.1))), 2);
}

// The trivial processing of the echo tests: left and right trade places.
Block Swapped(BlockView in)
{
    Block out{};
    for (int i = 0; i < kBlockFrames; ++i) {
        out[2 * i] = in[2 * i + 1];
        out[2 * i + 1] = in[2 * i];
    }
    return out;
}

class AudioEngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!JackServer::Installed())
            GTEST_SKIP() << "jackd is not installed (scripts/deps installs jackd2): "
                            "the sound-card tests need a private JACK server";
        std::string error;
        ASSERT_TRUE(StartServerWithRig(server_, rig_, error)) << error;
        ASSERT_TRUE(PortsAppear("rig:", 4));
        engine_ = std::make_unique<AudioEngine>();
        engine_->SetApi(AudioApi::Jack);
        QObject::connect(engine_.get(), &AudioEngine::DeviceError,
                         [this](const QString& message) { errors_ << message; });
    }

    void TearDown() override
    {
        server_.Resume();  // a test that stopped it and failed half-way
        if (engine_)
            engine_->disconnect();
        engine_.reset();
        mono_.Close();
        rig_.Close();
        server_.Stop();
    }

    // The server adds new ports to its graph at its next period; a device is
    // listed only from then on.
    bool PortsAppear(const std::string& prefix, std::size_t count) const
    {
        return WaitWithoutEvents([&] { return rig_.PortsStartingWith(prefix).size() == count; });
    }

    static int Number(const QStringList& list, const char* name)
    {
        const int index = int(list.indexOf(QString::fromLatin1(name)));
        return index < 0 ? -1 : index + 1;
    }
    int RigInput() const { return Number(engine_->InputDeviceNames(), "rig"); }
    int RigOutput() const { return Number(engine_->OutputDeviceNames(), "rig"); }

    // Runs the event loop until done() holds; false when patience ran out.
    template <class Done>
    static bool RunUntil(Done done, int seconds = kPatienceSeconds)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }
    // Waits without running the event loop: posted calls pile up meanwhile.
    template <class Done>
    static bool WaitWithoutEvents(Done done, int seconds = kPatienceSeconds)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }
    static void RunFor(int ms)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms) {
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    // Another client learns of a new connection when the server has passed
    // it on, which a busy machine does late: wait for it before judging.
    void ExpectConnections(const std::string& port, const std::vector<std::string>& expected) const
    {
        WaitWithoutEvents([&] { return rig_.ConnectionsOf(port) == expected; });
        EXPECT_EQ(rig_.ConnectionsOf(port), expected) << port;
    }

    // A new stream's connection to the rig takes effect at one of the
    // server's next periods; a block played before then never reaches the
    // rig. A slow build (the thread sanitizer's) gets there late, so a test
    // that looks for the first sound the rig hears waits two periods first.
    void LetTheConnectionsSettle()
    {
        const int64_t at = rig_.Recorded();
        ASSERT_TRUE(RunUntil([&] { return rig_.Recorded() >= at + 2 * kBlockFrames; }));
    }

    // The first recorded frame that is not silence, or -1.
    int64_t FirstSoundAt() const
    {
        const int16_t* rec = rig_.RecordedFrames();
        const int64_t n = rig_.Recorded();
        for (int64_t j = 0; j < n; ++j)
            if (rec[2 * j] != 0 || rec[2 * j + 1] != 0)
                return j;
        return -1;
    }

    JackServer server_;
    JackRig rig_;
    JackRig mono_;
    std::unique_ptr<AudioEngine> engine_;
    QStringList errors_;
};

TEST_F(AudioEngineTest, TheSoundSystemIsJackWhileAServerRuns)
{
    EXPECT_TRUE(audio::JackServerRunning());
    EXPECT_EQ(audio::ResolveAudioApi(AudioApi::Automatic), AudioApi::Jack);
    EXPECT_EQ(audio::ResolveAudioApi(AudioApi::Alsa), AudioApi::Alsa);

    AudioEngine automatic;
    ASSERT_TRUE(automatic.OpenCapture(0));
    EXPECT_EQ(automatic.ActiveApi(), AudioApi::Jack);
    automatic.CloseCapture();

    rig_.Close();
    server_.Stop();
    EXPECT_FALSE(audio::JackServerRunning());
    EXPECT_NE(audio::ResolveAudioApi(AudioApi::Automatic), AudioApi::Jack);
}

TEST_F(AudioEngineTest, DeviceNumbersFollowTheListsAndZeroIsTheDefault)
{
    const QStringList inputs = engine_->InputDeviceNames();
    const QStringList outputs = engine_->OutputDeviceNames();
    EXPECT_EQ(inputs, QStringList({"system", "rig"}));
    EXPECT_EQ(outputs, QStringList({"system", "rig"}));

    ASSERT_TRUE(engine_->OpenCapture(0));
    auto ports = rig_.PortsStartingWith("tesmar-capture:");
    ASSERT_EQ(ports.size(), 2u);
    ExpectConnections(ports[0], {"system:capture_1"});
    ExpectConnections(ports[1], {"system:capture_2"});

    // Our own open stream is a JACK client too, but never a list entry: the
    // numbers of the other devices stay as the settings dialog showed them.
    EXPECT_EQ(engine_->OutputDeviceNames(), outputs);
    EXPECT_EQ(engine_->InputDeviceNames(), inputs);

    ASSERT_TRUE(engine_->OpenPlayback(2));
    ports = rig_.PortsStartingWith("tesmar-playback:");
    ASSERT_EQ(ports.size(), 2u);
    ExpectConnections(ports[0], {"rig:in_1"});
    ExpectConnections(ports[1], {"rig:in_2"});
    EXPECT_EQ(engine_->Output(), 2);

    // Reopening with entry 2 moves the capture stream to the rig.
    ASSERT_TRUE(engine_->OpenCapture(2));
    ports = rig_.PortsStartingWith("tesmar-capture:");
    ASSERT_EQ(ports.size(), 2u);
    ExpectConnections(ports[0], {"rig:out_1"});
    EXPECT_EQ(engine_->Input(), 2);

    ASSERT_TRUE(engine_->OpenPlayback(0));
    ports = rig_.PortsStartingWith("tesmar-playback:");
    ASSERT_EQ(ports.size(), 2u);
    ExpectConnections(ports[0], {"system:playback_1"});
    EXPECT_TRUE(errors_.isEmpty());
}

// The keypad's sounds play through a stream of their own, which JACK lists as
// a client like any other; it must never become a list entry either.
TEST_F(AudioEngineTest, TheKeypadSoundStreamIsNeverListed)
{
    const QStringList inputs = engine_->InputDeviceNames();
    const QStringList outputs = engine_->OutputDeviceNames();
    tesmar::test::TempDir dir;
    WriteTone(dir / "beep.wav", 5);
    audio::SoundPlayer sounds(AudioApi::Jack);
    sounds.Open();
    ASSERT_TRUE(WaitWithoutEvents([&] { return sounds.StreamOpen(); }));
    ASSERT_TRUE(sounds.Play((dir / "beep.wav").string()));
    ASSERT_TRUE(PortsAppear("tesmar-sounds:", 2));
    EXPECT_EQ(engine_->InputDeviceNames(), inputs);
    EXPECT_EQ(engine_->OutputDeviceNames(), outputs);
    sounds.Stop();
}

TEST_F(AudioEngineTest, NumbersPastTheListCannotOpen)
{
    EXPECT_FALSE(engine_->OpenCapture(3));
    EXPECT_FALSE(engine_->OpenCapture(-1));
    EXPECT_FALSE(engine_->OpenPlayback(3));
    EXPECT_EQ(errors_,
              QStringList({"Can not open the recoding device", "Can not open the recoding device",
                           "Can not open the play device"}));
    EXPECT_FALSE(engine_->CaptureOpen());
    EXPECT_FALSE(engine_->PlaybackOpen());
    EXPECT_TRUE(rig_.PortsStartingWith("tesmar-").empty());
    EXPECT_FALSE(engine_->QueueOutputBlock(PatternBlock(0)));
}

TEST_F(AudioEngineTest, CapturedBlocksArriveInOrderAndTheEchoComesBackBitExact)
{
    const int rigIn = RigInput();
    const int rigOut = RigOutput();
    ASSERT_GT(rigIn, 0);
    ASSERT_GT(rigOut, 0);

    constexpr int kBlocksToCheck = 45;  // more than 32 and more than 16: both rings wrap

    int64_t hookFirstSample = -1;
    int hookCalls = 0;
    int handled = 0;
    int patternBlocks = 0;
    int64_t firstPosition = -1;
    int64_t nextPosition = -1;
    int outOfOrder = 0;
    std::vector<int> captureIndexes;
    std::vector<int> playbackIndexes;

    engine_->SetRawRecordHook([&](BlockView b) {
        ++hookCalls;
        hookFirstSample = b[0];
    });
    engine_->SetBlockHandler([&](BlockView b) {
        // The recording hook has seen this very block first.
        EXPECT_EQ(hookCalls, handled + 1);
        EXPECT_EQ(hookFirstSample, b[0]);
        ++handled;
        captureIndexes.push_back(engine_->CaptureIndex());

        const int64_t position = PatternBlockPosition(b);
        if (nextPosition < 0) {
            if (position >= 0) {
                firstPosition = position;
                nextPosition = position + kBlockFrames;
                ++patternBlocks;
            }
        } else {
            if (position != nextPosition)
                ++outOfOrder;
            nextPosition += kBlockFrames;
            ++patternBlocks;
        }
        EXPECT_TRUE(engine_->QueueOutputBlock(Swapped(b)));
        playbackIndexes.push_back(engine_->PlaybackIndex());
    });

    ASSERT_TRUE(engine_->OpenPlayback(rigOut));
    LetTheConnectionsSettle();
    ASSERT_TRUE(engine_->OpenCapture(rigIn));

    ASSERT_TRUE(RunUntil([&] { return patternBlocks >= kBlocksToCheck + 5; }))
        << "handled " << handled << " blocks, " << patternBlocks << " of them the rig's";
    EXPECT_EQ(outOfOrder, 0);

    // Both ring indexes advance by one per block and wrap.
    for (std::size_t k = 0; k < captureIndexes.size(); ++k)
        ASSERT_EQ(captureIndexes[k], int((k + 1) % 32)) << "capture block " << k;
    for (std::size_t k = 0; k < playbackIndexes.size(); ++k)
        ASSERT_EQ(playbackIndexes[k], int((k + 1) % 16)) << "output block " << k;
    EXPECT_EQ(engine_->HandledBlocks(), uint64_t(handled));

    // What the rig hears, block by block (the server's period is one
    // block): the first pattern block's echo, then the later ones in order
    // and bit for bit. A block the main thread handed over late (a sanitizer
    // build on a busy machine) leaves a block of silence before it; the
    // queue that grew then shrinks again by dropping one unplayed block.
    int64_t start = -1;
    ASSERT_TRUE(RunUntil([&] {
        start = FirstSoundAt();
        return start >= 0 && rig_.Recorded() >= start + int64_t(kBlocksToCheck) * kBlockFrames;
    }));
    const int16_t* rec = rig_.RecordedFrames();
    int echoes = 0, silent = 0, others = 0;
    int64_t jumped = 0;
    int64_t previous = firstPosition - kBlockFrames;
    for (int k = 0; k < kBlocksToCheck; ++k) {
        const int16_t* at = rec + 2 * (start + int64_t(k) * kBlockFrames);
        const Block heard = Swapped(BlockView(at, audio::kBlockSamples));
        const int64_t position = PatternBlockPosition(heard);
        if (position < 0) {
            ++(std::all_of(at, at + audio::kBlockSamples, [](int16_t v) { return v == 0; })
                   ? silent
                   : others);
            continue;
        }
        ++echoes;
        if (position <= previous)
            ++others;
        jumped += (position - previous) / kBlockFrames - 1;
        previous = position;
    }
    EXPECT_EQ(others, 0) << echoes << " echoes, " << silent << " silent blocks";
    // (Blocks dropped before the first one heard or after the last one
    // judged count too.)
    EXPECT_LE(uint64_t(jumped), engine_->SkippedOutputBlocks());
    const int64_t lag = start - firstPosition;
    EXPECT_GE(lag, int64_t(kBlockFrames));
    RecordProperty("lag_frames", std::to_string(lag));
    RecordProperty("underruns", std::to_string(engine_->Underruns()));
    RecordProperty("device_xruns", std::to_string(engine_->DeviceXruns()));
    EXPECT_EQ(engine_->CaptureDeviceFrames(), unsigned(kBlockFrames));
    EXPECT_EQ(engine_->DroppedOutputBlocks(), 0u);
    EXPECT_TRUE(errors_.isEmpty());
}

TEST_F(AudioEngineTest, SilenceAndOneUnderrunWhenTheQueueRunsDry)
{
    int outputCalls = 0;
    engine_->SetOutputHandler([&] { ++outputCalls; });
    ASSERT_TRUE(engine_->OpenPlayback(RigOutput()));
    LetTheConnectionsSettle();
    EXPECT_EQ(engine_->Underruns(), 0u);
    ASSERT_TRUE(engine_->QueueOutputBlock(PatternBlock(0)));
    // Each played block is reported exactly once.
    ASSERT_TRUE(RunUntil([&] { return outputCalls == 1 && engine_->Underruns() == 1; }));

    int64_t start = -1;
    ASSERT_TRUE(RunUntil([&] {
        start = FirstSoundAt();
        return start >= 0 && rig_.Recorded() >= start + 3 * kBlockFrames;
    }));
    const int16_t* rec = rig_.RecordedFrames();
    for (int64_t j = 0; j < kBlockFrames; ++j) {
        const auto p = Pattern(j);
        ASSERT_EQ(rec[2 * (start + j)], p.left) << j;
        ASSERT_EQ(rec[2 * (start + j) + 1], p.right) << j;
    }
    for (int64_t j = kBlockFrames; j < 3 * kBlockFrames; ++j)
        ASSERT_TRUE(rec[2 * (start + j)] == 0 && rec[2 * (start + j) + 1] == 0) << j;
    RunFor(200);
    EXPECT_EQ(outputCalls, 1);
    EXPECT_EQ(engine_->Underruns(), 1u);
    EXPECT_EQ(engine_->PlayedBlocks(), 1u);
}

// A stalled device: the full ring refuses new blocks and counts them; when the
// device runs again it drops the oldest queued blocks unplayed, so that what
// it plays lags by the allowed block only (a queue that never ran dry allows
// one), and plays it intact.
TEST_F(AudioEngineTest, AStalledDeviceCatchesUpByDroppingTheOldestQueuedBlocks)
{
    ASSERT_TRUE(engine_->OpenPlayback(RigOutput()));
    LetTheConnectionsSettle();
    server_.Suspend();
    int accepted = 0;
    for (int k = 0; k < 20; ++k) {
        if (engine_->QueueOutputBlock(PatternBlock(int64_t(k) * kBlockFrames)))
            ++accepted;
        EXPECT_EQ(engine_->PlaybackIndex(), std::min(k + 1, 16) % 16);
    }
    server_.Resume();
    EXPECT_EQ(accepted, 16);
    EXPECT_EQ(engine_->DroppedOutputBlocks(), 4u);

    constexpr int kKept = 1;
    constexpr int64_t kFirstKept = int64_t(16 - kKept) * kBlockFrames;
    int64_t start = -1;
    ASSERT_TRUE(RunUntil([&] {
        start = FirstSoundAt();
        return start >= 0 && rig_.Recorded() >= start + (kKept + 2) * kBlockFrames;
    }));
    EXPECT_EQ(engine_->SkippedOutputBlocks(), uint64_t(16 - kKept));
    const int16_t* rec = rig_.RecordedFrames();
    int64_t mismatches = 0;
    for (int64_t j = 0; j < kKept * kBlockFrames; ++j) {
        const auto p = Pattern(kFirstKept + j);
        if (rec[2 * (start + j)] != p.left || rec[2 * (start + j) + 1] != p.right)
            ++mismatches;
    }
    EXPECT_EQ(mismatches, 0);
    for (int64_t j = kKept * kBlockFrames; j < (kKept + 2) * kBlockFrames; ++j)
        ASSERT_TRUE(rec[2 * (start + j)] == 0 && rec[2 * (start + j) + 1] == 0) << j;
}

TEST_F(AudioEngineTest, ACaptureDeviceThatCannotOpenIsReportedAndPlaybackCarriesOn)
{
    // A device with one channel cannot give the two the engine asks for.
    ASSERT_TRUE(mono_.Open("mono", 1, 1));
    ASSERT_TRUE(PortsAppear("mono:", 2));
    const int monoIn = Number(engine_->InputDeviceNames(), "mono");
    ASSERT_GT(monoIn, 0);
    ASSERT_TRUE(engine_->OpenPlayback(RigOutput()));

    EXPECT_FALSE(engine_->OpenCapture(monoIn));
    EXPECT_EQ(errors_, QStringList({"Can not open the recoding device"}));
    EXPECT_FALSE(engine_->CaptureOpen());
    EXPECT_FALSE(engine_->CaptureRunning());
    EXPECT_TRUE(rig_.PortsStartingWith("tesmar-capture").empty());
    engine_->CloseCapture();  // nothing to close, nothing breaks

    ASSERT_TRUE(engine_->PlaybackOpen());
    ASSERT_TRUE(engine_->QueueOutputBlock(PatternBlock(0)));
    int64_t start = -1;
    ASSERT_TRUE(RunUntil([&] {
        start = FirstSoundAt();
        return start >= 0 && rig_.Recorded() >= start + kBlockFrames;
    }));
    const Block expected = PatternBlock(0);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), rig_.RecordedFrames() + 2 * start));
}

TEST_F(AudioEngineTest, APlaybackDeviceThatCannotOpenIsReportedAndCaptureCarriesOn)
{
    ASSERT_TRUE(mono_.Open("mono", 1, 1));
    ASSERT_TRUE(PortsAppear("mono:", 2));
    const int monoOut = Number(engine_->OutputDeviceNames(), "mono");
    ASSERT_GT(monoOut, 0);
    int handled = 0;
    engine_->SetBlockHandler([&](BlockView b) {
        ++handled;
        EXPECT_FALSE(engine_->QueueOutputBlock(b));
    });
    ASSERT_TRUE(engine_->OpenCapture(RigInput()));

    EXPECT_FALSE(engine_->OpenPlayback(monoOut));
    EXPECT_EQ(errors_, QStringList({"Can not open the play device"}));
    EXPECT_FALSE(engine_->PlaybackOpen());
    EXPECT_TRUE(rig_.PortsStartingWith("tesmar-playback").empty());

    ASSERT_TRUE(RunUntil([&] { return handled >= 3; }));
    EXPECT_TRUE(engine_->CaptureOpen());
    EXPECT_EQ(engine_->DroppedOutputBlocks(), 0u);  // no device is no drop
}

TEST_F(AudioEngineTest, CallsPostedBeforeACloseAreIgnored)
{
    int handled = 0;
    int outputCalls = 0;
    engine_->SetBlockHandler([&](BlockView) { ++handled; });
    engine_->SetOutputHandler([&] { ++outputCalls; });
    ASSERT_TRUE(engine_->OpenCapture(RigInput()));
    ASSERT_TRUE(engine_->OpenPlayback(RigOutput()));
    for (int k = 0; k < 3; ++k)
        ASSERT_TRUE(engine_->QueueOutputBlock(PatternBlock(int64_t(k) * kBlockFrames)));

    // Blocks are captured and played while the main thread looks away: their
    // calls wait in the event queue when the devices close.
    ASSERT_TRUE(WaitWithoutEvents([&] {
        return engine_->CaptureBlocksWaiting() >= 3 && engine_->PlaybackBlocksWaiting() == 0;
    }));
    const uint32_t captureGeneration = engine_->CaptureGeneration();
    const uint32_t playbackGeneration = engine_->PlaybackGeneration();
    engine_->CloseCapture();
    engine_->ClosePlayback();
    EXPECT_NE(engine_->CaptureGeneration(), captureGeneration);
    EXPECT_NE(engine_->PlaybackGeneration(), playbackGeneration);

    ASSERT_TRUE(RunUntil([&] { return engine_->StaleNotifications() >= 6; }));
    EXPECT_EQ(handled, 0);
    EXPECT_EQ(outputCalls, 0);

    // Reopened at once, the new stream's blocks are its own: the old calls
    // could not have taken them.
    std::vector<int64_t> positions;
    engine_->SetBlockHandler([&](BlockView b) { positions.push_back(PatternBlockPosition(b)); });
    ASSERT_TRUE(engine_->OpenCapture(RigInput()));
    ASSERT_TRUE(RunUntil([&] { return positions.size() >= 4; }));
    std::erase(positions, int64_t(-1));  // silence before the connection
    ASSERT_GE(positions.size(), 2u);
    for (std::size_t k = 1; k < positions.size(); ++k)
        EXPECT_EQ(positions[k], positions[k - 1] + kBlockFrames);
}

TEST_F(AudioEngineTest, StoppedCaptureDropsItsPendingBlocksAndRestarts)
{
    std::vector<int64_t> positions;
    engine_->SetBlockHandler([&](BlockView b) { positions.push_back(PatternBlockPosition(b)); });
    ASSERT_TRUE(engine_->OpenCapture(RigInput()));
    ASSERT_TRUE(RunUntil([&] { return positions.size() >= 2; }));

    ASSERT_TRUE(WaitWithoutEvents([&] { return engine_->CaptureBlocksWaiting() >= 2; }));
    engine_->StopCapture();
    EXPECT_FALSE(engine_->CaptureRunning());
    EXPECT_TRUE(engine_->CaptureOpen());
    EXPECT_EQ(engine_->CaptureBlocksWaiting(), 0);
    const std::size_t before = positions.size();
    RunFor(300);
    EXPECT_EQ(positions.size(), before);
    EXPECT_GE(engine_->StaleNotifications(), 2u);

    engine_->RestartCapture();
    EXPECT_TRUE(engine_->CaptureRunning());
    ASSERT_TRUE(RunUntil([&] { return positions.size() >= before + 5; }));
    // The first period after a JACK client is reactivated can still hold what
    // its port last carried; the blocks from the second on are fresh and
    // back to back.
    std::vector<int64_t> after(positions.begin() + std::ptrdiff_t(before) + 1, positions.end());
    std::erase(after, int64_t(-1));
    ASSERT_GE(after.size(), 2u);
    for (std::size_t k = 1; k < after.size(); ++k)
        EXPECT_EQ(after[k], after[k - 1] + kBlockFrames);
    EXPECT_TRUE(errors_.isEmpty());
}

// The operator wired the capture to the rig by hand (the default device is
// the system's). Raw playback pauses the capture, and the settings dialog
// restarts the devices: neither may put the system's ports back.
TEST_F(AudioEngineTest, TheOperatorsWiringSurvivesAPauseAndARestart)
{
    ASSERT_TRUE(engine_->OpenCapture(0));
    ASSERT_TRUE(engine_->OpenPlayback(0));
    const auto ports = rig_.PortsStartingWith("tesmar-capture:");
    ASSERT_EQ(ports.size(), 2u);
    ExpectConnections(ports[0], {"system:capture_1"});
    jack_client_t* c = rig_.Client();
    for (int i = 0; i < 2; ++i) {
        const std::string n = std::to_string(i + 1);
        ASSERT_EQ(jack_disconnect(c, ("system:capture_" + n).c_str(), ports[i].c_str()), 0);
        ASSERT_EQ(jack_connect(c, ("rig:out_" + n).c_str(), ports[i].c_str()), 0);
    }
    ExpectConnections(ports[0], {"rig:out_1"});
    ExpectConnections(ports[1], {"rig:out_2"});

    engine_->StopCapture();
    RunFor(200);
    engine_->RestartCapture();
    ExpectConnections(ports[0], {"rig:out_1"});
    ExpectConnections(ports[1], {"rig:out_2"});

    bool finished = false;
    QObject::connect(engine_.get(), &AudioEngine::RestartFinished, [&] { finished = true; });
    engine_->RestartDevices(0, 0);
    ASSERT_TRUE(RunUntil([&] { return finished; }));
    ASSERT_EQ(rig_.PortsStartingWith("tesmar-capture:"), ports);
    ExpectConnections(ports[0], {"rig:out_1"});
    ExpectConnections(ports[1], {"rig:out_2"});
    // The playback was left as the device wires it.
    ExpectConnections(rig_.PortsStartingWith("tesmar-playback:")[0], {"system:playback_1"});

    // And the wiring carries the rig's signal.
    std::vector<int64_t> positions;
    engine_->SetBlockHandler([&](BlockView b) { positions.push_back(PatternBlockPosition(b)); });
    // (What was captured before the connections were restored is silence.)
    EXPECT_TRUE(RunUntil([&] { return !positions.empty() && positions.back() >= 0; }, 10));
    EXPECT_TRUE(errors_.isEmpty());
}

TEST_F(AudioEngineTest, RestartClosesAndReopensBothDevicesBehindTheNotice)
{
    const int rigIn = RigInput();
    const int rigOut = RigOutput();
    int handled = 0;
    engine_->SetBlockHandler([&](BlockView b) {
        ++handled;
        engine_->QueueOutputBlock(b);
    });
    ASSERT_TRUE(engine_->OpenCapture(rigIn));
    ASSERT_TRUE(engine_->OpenPlayback(rigOut));
    ASSERT_TRUE(RunUntil([&] { return handled >= 2; }));

    bool started = false;
    bool finished = false;
    bool openWhenStarted = false;
    QElapsedTimer notice;
    QObject::connect(engine_.get(), &AudioEngine::RestartStarted, [&] {
        started = true;
        openWhenStarted = engine_->CaptureOpen() && engine_->PlaybackOpen();
        notice.start();
    });
    qint64 shownMs = -1;
    QObject::connect(engine_.get(), &AudioEngine::RestartFinished, [&] {
        finished = true;
        shownMs = notice.elapsed();
    });
    const uint32_t captureGeneration = engine_->CaptureGeneration();
    const uint32_t playbackGeneration = engine_->PlaybackGeneration();

    // Only the output changes (to the system's playback), yet both reopen.
    engine_->RestartDevices(rigIn, 1);
    EXPECT_TRUE(started);
    EXPECT_TRUE(openWhenStarted);  // the notice is up before anything closes
    EXPECT_TRUE(engine_->Restarting());
    bool sawBothClosed = false;
    ASSERT_TRUE(RunUntil([&] {
        if (!engine_->CaptureOpen() && !engine_->PlaybackOpen())
            sawBothClosed = true;
        return finished;
    }));
    EXPECT_TRUE(sawBothClosed);
    EXPECT_GE(shownMs, AudioEngine::kRestartPauseMs);
    EXPECT_FALSE(engine_->Restarting());
    EXPECT_TRUE(engine_->CaptureOpen());
    EXPECT_TRUE(engine_->PlaybackOpen());
    EXPECT_EQ(engine_->Input(), rigIn);
    EXPECT_EQ(engine_->Output(), 1);
    EXPECT_NE(engine_->CaptureGeneration(), captureGeneration);
    EXPECT_NE(engine_->PlaybackGeneration(), playbackGeneration);
    const auto ports = rig_.PortsStartingWith("tesmar-playback:");
    ASSERT_EQ(ports.size(), 2u);
    ExpectConnections(ports[0], {"system:playback_1"});

    const int before = handled;
    ASSERT_TRUE(RunUntil([&] { return handled >= before + 3; }));
    EXPECT_TRUE(errors_.isEmpty());
}

TEST_F(AudioEngineTest, ASecondRestartDuringARestartOnlyChangesTheNumbers)
{
    int finishedCount = 0;
    QObject::connect(engine_.get(), &AudioEngine::RestartFinished, [&] { ++finishedCount; });
    ASSERT_TRUE(engine_->OpenCapture(1));
    ASSERT_TRUE(engine_->OpenPlayback(1));
    engine_->RestartDevices(1, 1);
    engine_->RestartDevices(RigInput(), RigOutput());
    ASSERT_TRUE(RunUntil([&] { return finishedCount == 1; }));
    RunFor(AudioEngine::kRestartPauseMs + 200);
    EXPECT_EQ(finishedCount, 1);
    EXPECT_EQ(engine_->Input(), 2);
    EXPECT_EQ(engine_->Output(), 2);
    const auto ports = rig_.PortsStartingWith("tesmar-capture:");
    ASSERT_EQ(ports.size(), 2u);
    ExpectConnections(ports[0], {"rig:out_1"});
}

// Blocks pile up while the main thread is busy (the windows being created at
// start-up): the echo the rig hears afterwards lags by a few blocks, not by
// the whole playback ring, and the dropped backlog is counted.
TEST_F(AudioEngineTest, ABacklogIsCaughtUpAndTheLagStaysWithinThreeBlocks)
{
    int handled = 0;
    engine_->SetBlockHandler([&](BlockView b) {
        ++handled;
        engine_->QueueOutputBlock(Swapped(b));
    });
    ASSERT_TRUE(engine_->OpenPlayback(RigOutput()));
    LetTheConnectionsSettle();
    ASSERT_TRUE(engine_->OpenCapture(RigInput()));
    ASSERT_TRUE(WaitWithoutEvents([&] { return engine_->CaptureBlocksWaiting() >= 24; }));
    ASSERT_TRUE(RunUntil([&] { return handled >= 24 + 30; }));

    // The lag of every echoed block the rig heard in the last 20 blocks:
    // the frame's place in the recording less the place the rig fed it at.
    const int64_t recorded = rig_.Recorded();
    const int16_t* rec = rig_.RecordedFrames();
    int64_t worst = -1;
    int echoes = 0;
    for (int64_t j = recorded - 20 * kBlockFrames; j < recorded; j += kBlockFrames / 4) {
        const int64_t fed = PatternPosition(rec[2 * j + 1], rec[2 * j]);
        if (fed < 0)
            continue;
        ++echoes;
        worst = std::max(worst, j - fed);
    }
    ASSERT_GT(echoes, 40);
    // The queue's blocks, the block being handled, and JACK's two periods.
    EXPECT_LE(worst, int64_t(engine_->PlaybackLagBlocks() + 3) * kBlockFrames);
    EXPECT_GT(engine_->SkippedOutputBlocks(), 0u);
    RecordProperty("lag_frames", std::to_string(worst));
}

// Holds up the main thread (nothing posted to it is handled) for about ms;
// returns how long it really was.
qint64 StallMainThread(int ms)
{
    QElapsedTimer t;
    t.start();
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    return t.elapsed();
}

// The lag from capture to playback of the echoes the rig heard in recorded
// frames [from, to): where the rig heard a frame less where it fed it, plus
// the block's own capture time (the dummy server hands a whole period over
// at once, where a sound card fills it for 50 ms). -1 when none was heard.
int64_t WorstCaptureToPlaybackLag(const JackRig& rig, int64_t from, int64_t to)
{
    const int16_t* rec = rig.RecordedFrames();
    int64_t worst = -1;
    for (int64_t j = from; j < to; j += kBlockFrames / 4) {
        const int64_t fed = PatternPosition(rec[2 * j + 1], rec[2 * j]);
        if (fed >= 0)
            worst = std::max(worst, j - fed + kBlockFrames);
    }
    return worst;
}

// The playback queue, live, on a server of any period. While the main thread
// keeps up it holds what one period takes (one block up to 2400 frames: 100
// ms from capture to playback). A stall of the main thread is heard once; the
// queue then keeps what piled up meanwhile, so that a shorter stall after it
// is not heard, and it does not shrink again within a quiet spell: the lag
// logged only ever goes up here, it never swings.
class AudioEngineAtPeriod : public AudioEngineTest, public ::testing::WithParamInterface<int> {
protected:
    AudioEngineAtPeriod() { server_.SetPeriod(GetParam()); }
};

TEST_P(AudioEngineAtPeriod, AStallIsHeardOnceAndTheQueueKeepsWhatHidesTheNext)
{
    constexpr int64_t kSecond = audio::kSampleRate;
    const int periodBlocks = (GetParam() + kBlockFrames - 1) / kBlockFrames;
    static QStringList logged;
    logged.clear();
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext& context, const QString& text) {
            if (context.category && QLatin1String(context.category) == "tesmar.audio")
                logged << text;
        });
    engine_->SetBlockHandler([&](BlockView b) { engine_->QueueOutputBlock(Swapped(b)); });
    ASSERT_TRUE(engine_->OpenPlayback(RigOutput()));
    LetTheConnectionsSettle();
    ASSERT_TRUE(engine_->OpenCapture(RigInput()));
    ASSERT_TRUE(RunUntil([&] { return engine_->PlayedBlocks() >= 20; }));
    // Without a gap the queue holds a period, or a spare block after a close
    // call (a busy machine may make one).
    if (engine_->Underruns() == 0) {
        EXPECT_LE(engine_->PlaybackLagBlocks(), std::max(periodBlocks, 2));
    }

    // Idle: the echo lags by what the engine says, no more. (A block late
    // meanwhile on a loaded machine adds its gap: then the next second.)
    int64_t idle = -1;
    for (int tries = 0; tries < 5; ++tries) {
        const uint64_t underruns = engine_->Underruns();
        const int64_t from = rig_.Recorded();
        ASSERT_TRUE(RunUntil([&] { return rig_.Recorded() >= from + kSecond; }));
        idle = WorstCaptureToPlaybackLag(rig_, from, from + kSecond);
        if (engine_->Underruns() == underruns)
            break;
    }
    EXPECT_GT(idle, 0);
    // The lag the engine states, what the server's period adds (one period
    // on the way to the rig and, with periods shorter than a block, the start
    // lead and the period that waits for it) and 10 ms for the main thread:
    // at most 110 ms at periods of a block.
    const int64_t bound =
        int64_t(engine_->PlaybackLagMs() + 10) * audio::kSampleRate / 1000 +
        (GetParam() < kBlockFrames
             ? audio::kStartLeadNs * audio::kSampleRate / 1'000'000'000 + 2 * GetParam()
             : 0);
    EXPECT_LE(idle, bound);

    // The first stall is heard when the queue was smaller than it; the
    // queue grows to hold what piled up, less what was queued before.
    const qsizetype loggedBefore = logged.size();
    const uint64_t beforeStall = engine_->Underruns();
    const int64_t cushionMs = (engine_->PlaybackLagBlocks() + 1) * 50;
    const qint64 first = StallMainThread(350);
    RunFor(1000);
    if (cushionMs < 350) {
        EXPECT_GT(engine_->Underruns(), beforeStall);
    }
    EXPECT_GT(engine_->PlaybackLagBlocks(), periodBlocks);

    // A stall that what stayed queued covers is not heard. (Judged only when
    // the sleeps kept to their lengths well enough for that to hold.)
    const uint64_t afterFirst = engine_->Underruns();
    const int64_t secondFrom = rig_.Recorded();
    const qint64 second = StallMainThread(200);
    RunFor(1000);
    const int64_t secondTo = rig_.Recorded();
    if (second <= first - cushionMs) {
        EXPECT_EQ(engine_->Underruns(), afterFirst);
        const int16_t* rec = rig_.RecordedFrames();
        int64_t silentFrames = 0;
        for (int64_t j = secondFrom; j < secondTo; ++j)
            silentFrames += rec[2 * j] == 0 && rec[2 * j + 1] == 0 ? 1 : 0;
        EXPECT_EQ(silentFrames, 0);
    } else {
        RecordProperty("stalls_ms", std::to_string(first) + " " + std::to_string(second));
    }
    qInstallMessageHandler(previous);

    // Up for the stall (unless a loaded machine had grown the queue to its
    // largest already), never down again within the quiet spell.
    ASSERT_GT(loggedBefore, 0);
    int64_t last = logged[loggedBefore - 1].split(' ').value(2).toInt();
    for (const QString& change : logged.mid(loggedBefore)) {
        const int64_t ms = change.split(' ').value(2).toInt();
        EXPECT_GT(ms, last) << logged.join("; ").toStdString();
        last = ms;
    }
    RecordProperty("idle_lag_ms", std::to_string(idle * 1000 / audio::kSampleRate));
    RecordProperty("grown_lag_ms", std::to_string(engine_->PlaybackLagMs()));
}

INSTANTIATE_TEST_SUITE_P(Periods, AudioEngineAtPeriod, ::testing::Values(256, 1024, 2400, 4800),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::to_string(info.param) + "Frames";
                         });

// The main thread leaves the capture ring full for a while: the input lost
// meanwhile is counted in whole blocks and reported before the next block.
TEST_F(AudioEngineTest, InputLostToAFullRingIsCountedAndReported)
{
    int handled = 0;
    uint64_t reported = 0;
    int handledAtReport = -1;
    engine_->SetBlockHandler([&](BlockView) { ++handled; });
    QObject::connect(engine_.get(), &AudioEngine::InputLost, [&](unsigned blocks) {
        reported += blocks;
        handledAtReport = handled;
    });
    ASSERT_TRUE(engine_->OpenCapture(RigInput()));
    ASSERT_TRUE(
        WaitWithoutEvents([&] { return engine_->DroppedInputFrames() >= 3 * kBlockFrames; }));
    ASSERT_TRUE(RunUntil([&] { return handled >= 40; }));
    EXPECT_EQ(handledAtReport, 0);
    EXPECT_GE(reported, 3u);
    EXPECT_EQ(reported, engine_->LostInputBlocks());
    EXPECT_EQ(reported * kBlockFrames, engine_->DroppedInputFrames());
}

// The sound server goes away under running streams and comes back: the
// operator is told once, and both streams run again without a call.
TEST_F(AudioEngineTest, ALostServerIsToldOnceAndTheStreamsComeBackWithIt)
{
    const int rigIn = RigInput();
    const int rigOut = RigOutput();
    int handled = 0;
    int lost = 0;
    int recovered = 0;
    engine_->SetBlockHandler([&](BlockView b) {
        ++handled;
        engine_->QueueOutputBlock(b);
    });
    QObject::connect(engine_.get(), &AudioEngine::DeviceLost, [&] { ++lost; });
    QObject::connect(engine_.get(), &AudioEngine::DevicesRecovered, [&] { ++recovered; });
    ASSERT_TRUE(engine_->OpenCapture(rigIn));
    ASSERT_TRUE(engine_->OpenPlayback(rigOut));
    // The keypad's sound stream goes and comes back with the server too.
    audio::SoundPlayer sounds(AudioApi::Jack);
    sounds.Open();
    ASSERT_TRUE(RunUntil([&] { return handled >= 2 && sounds.StreamOpen(); }));

    rig_.Close();
    server_.Stop();
    ASSERT_TRUE(RunUntil([&] { return lost == 1; }));
    EXPECT_TRUE(engine_->DeviceLostNow());
    EXPECT_FALSE(engine_->CaptureOpen());
    EXPECT_FALSE(engine_->PlaybackOpen());
    // Retries that fail say nothing more.
    RunFor(2 * AudioEngine::kRecoveryIntervalMs + 500);
    EXPECT_EQ(lost, 1);
    EXPECT_EQ(recovered, 0);

    std::string error;
    ASSERT_TRUE(server_.Restart(error)) << error;
    ASSERT_TRUE(rig_.Open("rig", 2, 2));
    ASSERT_TRUE(RunUntil([&] { return recovered == 1; }));
    EXPECT_FALSE(engine_->DeviceLostNow());
    EXPECT_TRUE(engine_->CaptureOpen());
    EXPECT_TRUE(engine_->PlaybackOpen());
    EXPECT_EQ(engine_->Input(), rigIn);
    EXPECT_EQ(engine_->Output(), rigOut);
    const int before = handled;
    ASSERT_TRUE(RunUntil([&] { return handled >= before + 3; }));
    ExpectConnections(rig_.PortsStartingWith("tesmar-capture:")[0], {"rig:out_1"});
    EXPECT_EQ(lost, 1);
    EXPECT_TRUE(errors_.isEmpty());
    ASSERT_TRUE(RunUntil([&] { return sounds.StreamOpens() == 2 && sounds.StreamOpen(); }));
}

// The server goes in the moment the receiver starts: the start is told once
// and without a box, and the streams come with the server once it is back.
TEST_F(AudioEngineTest, AServerGoneAtTheStartIsAwaitedAndTheStreamsComeWithIt)
{
    const int rigIn = RigInput();
    const int rigOut = RigOutput();
    int handled = 0;
    QStringList lost;
    int recovered = 0;
    engine_->SetBlockHandler([&](BlockView) { ++handled; });
    QObject::connect(engine_.get(), &AudioEngine::DeviceLost, [&](const QString& m) { lost << m; });
    QObject::connect(engine_.get(), &AudioEngine::DevicesRecovered, [&] { ++recovered; });
    rig_.Close();
    server_.Stop();

    engine_->OpenOrAwait(rigIn, rigOut);
    EXPECT_TRUE(engine_->DeviceLostNow());
    ASSERT_EQ(lost.size(), 1);
    EXPECT_EQ(lost[0], QStringLiteral("Can not open the recoding device. Can not open the play "
                                      "device. ") +
                           audio::kDeviceAwaitedMessage);
    EXPECT_TRUE(errors_.isEmpty()) << errors_.join('\n').toStdString();
    RunFor(AudioEngine::kRecoveryIntervalMs + 500);  // a retry that fails says nothing

    std::string error;
    ASSERT_TRUE(server_.Restart(error)) << error;
    ASSERT_TRUE(rig_.Open("rig", 2, 2));
    ASSERT_TRUE(RunUntil([&] { return recovered == 1; }));
    EXPECT_TRUE(engine_->CaptureOpen());
    EXPECT_TRUE(engine_->PlaybackOpen());
    ASSERT_TRUE(RunUntil([&] { return handled >= 3; }));
    ExpectConnections(rig_.PortsStartingWith("tesmar-capture:")[0], {"rig:out_1"});
    EXPECT_EQ(lost.size(), 1);
    EXPECT_TRUE(errors_.isEmpty());
}

// A server that stops answering (stopped, or its driver stalled) holds every
// call into it. The silence watch used to close the streams on the main
// thread, which then waited as long as the server stayed stopped; the loss is
// now told, and the event loop runs, while the server is still stopped.
TEST_F(AudioEngineTest, AServerThatStopsAnsweringNeverHoldsTheMainThread)
{
    int handled = 0;
    int lost = 0;
    int recovered = 0;
    engine_->SetBlockHandler([&](BlockView b) {
        ++handled;
        engine_->QueueOutputBlock(b);
    });
    QObject::connect(engine_.get(), &AudioEngine::DeviceLost, [&] { ++lost; });
    QObject::connect(engine_.get(), &AudioEngine::DevicesRecovered, [&] { ++recovered; });
    ASSERT_TRUE(engine_->OpenCapture(RigInput()));
    ASSERT_TRUE(engine_->OpenPlayback(RigOutput()));
    ASSERT_TRUE(RunUntil([&] { return handled >= 2; }));

    // Should the main thread be held after all, the server is let go on
    // after a while, so that the test fails instead of hanging.
    std::atomic<bool> stopped{true};
    server_.Suspend();
    std::thread rescue([&] {
        for (int i = 0; i < 300 && stopped.load(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (stopped.exchange(false))
            server_.Resume();
    });
    const bool seen = RunUntil([&] { return lost == 1; }, 25);
    int ticks = 0;
    QTimer::singleShot(0, [&] { ++ticks; });
    RunFor(200);
    const bool stillStopped = stopped.exchange(false);
    if (stillStopped)
        server_.Resume();
    rescue.join();
    ASSERT_TRUE(seen);
    EXPECT_TRUE(stillStopped) << "the loss was told only once the server ran again";
    EXPECT_EQ(ticks, 1);
    EXPECT_FALSE(engine_->CaptureOpen());
    EXPECT_FALSE(engine_->PlaybackOpen());

    // Running again, the server gets the streams back.
    ASSERT_TRUE(RunUntil([&] { return recovered == 1; }));
    const int before = handled;
    ASSERT_TRUE(RunUntil([&] { return handled >= before + 3; }));
    EXPECT_EQ(lost, 1);
    EXPECT_TRUE(errors_.isEmpty());
}

// After its server has died, jack2's next client open anywhere in the process
// (another library's, say) closes and frees every client still allocated.
// A stream whose client went that way must never touch it again: closing it
// used to crash in jack_deactivate.
TEST_F(AudioEngineTest, AClientLibjackFreedAfterTheServerDiedIsNeverTouchedAgain)
{
    audio::StreamRequest request;
    request.api = AudioApi::Jack;
    request.number = RigOutput();
    request.name = "tesmar-purged";
    request.callback = [](void*, void*, unsigned, double, unsigned, void*) { return 0; };
    std::unique_ptr<audio::DeviceStream> stream = audio::OpenDeviceStream(request);
    ASSERT_NE(stream, nullptr);
    ASSERT_TRUE(stream->Start());

    server_.Stop();
    ASSERT_TRUE(WaitWithoutEvents([&] { return stream->ServerGone(); }));
    jack_status_t status{};
    EXPECT_EQ(jack_client_open("foreign", JackNoStartServer, &status), nullptr);
    rig_.Abandon();  // freed by that open too
    stream->Close();
    stream.reset();
    // The sound system works on with a new server.
    std::string error;
    ASSERT_TRUE(server_.Restart(error)) << error;
    ASSERT_TRUE(rig_.Open("rig", 2, 2));
    ASSERT_TRUE(PortsAppear("rig:", 4));
    EXPECT_GT(RigOutput(), 0);
}

// Each client open and close costs the server several periods: the start
// made eight of them on the main thread. With a stream open, the server check
// and the device lists ask its client and open none; with none open they still
// open one (which also shows that the watch sees them).
TEST_F(AudioEngineTest, WithAStreamOpenTheListsAndTheServerCheckOpenNoClient)
{
    jack_status_t status{};
    jack_client_t* watch = jack_client_open("watch", JackNoStartServer, &status);
    ASSERT_NE(watch, nullptr);
    static std::atomic<int> probes{0};
    probes = 0;
    jack_set_client_registration_callback(
        watch,
        [](const char* name, int registered, void*) {
            if (registered && std::string(name).rfind("tesmar-probe", 0) == 0)
                ++probes;
        },
        nullptr);
    ASSERT_EQ(jack_activate(watch), 0);

    ASSERT_TRUE(engine_->OpenCapture(RigInput()));
    const int probesBefore = probes.load();
    EXPECT_TRUE(audio::JackServerRunning());
    EXPECT_EQ(audio::ResolveAudioApi(AudioApi::Automatic), AudioApi::Jack);
    EXPECT_EQ(engine_->InputDeviceNames(), QStringList({"system", "rig"}));
    EXPECT_EQ(engine_->OutputDeviceNames(), QStringList({"system", "rig"}));
    ASSERT_TRUE(engine_->OpenPlayback(RigOutput()));
    engine_->CloseCapture();
    engine_->ClosePlayback();

    EXPECT_EQ(engine_->InputDeviceNames(), QStringList({"system", "rig"}));
    // Notifications come in order: once the last probe is seen, any earlier
    // one has been counted too.
    ASSERT_TRUE(WaitWithoutEvents([&] { return probes.load() > probesBefore; }));
    jack_client_close(watch);
    EXPECT_EQ(probes.load(), probesBefore + 1);
}

// Every key asks for a sound: they all go through one stream, opened once
// in the background, and they are heard; a device change opens it once more.
TEST_F(AudioEngineTest, KeypadSoundsShareOneStreamOpenedOnce)
{
    jack_status_t status{};
    jack_client_t* watch = jack_client_open("watch", JackNoStartServer, &status);
    ASSERT_NE(watch, nullptr);
    static std::atomic<int> registrations{0};
    registrations = 0;
    jack_set_client_registration_callback(
        watch,
        [](const char* name, int registered, void*) {
            if (registered && std::string(name).rfind("tesmar-sounds", 0) == 0)
                ++registrations;
        },
        nullptr);
    ASSERT_EQ(jack_activate(watch), 0);

    tesmar::test::TempDir dir;
    WriteTone(dir / "beep.wav", 1);
    audio::SoundPlayer sounds(AudioApi::Jack);
    sounds.Open();
    ASSERT_TRUE(WaitWithoutEvents([&] { return sounds.StreamOpen(); }));
    ASSERT_TRUE(PortsAppear("tesmar-sounds:", 2));
    const auto ports = rig_.PortsStartingWith("tesmar-sounds:");
    ASSERT_EQ(jack_connect(rig_.Client(), ports[0].c_str(), "rig:in_1"), 0);
    for (int key = 0; key < 10; ++key)
        EXPECT_TRUE(sounds.Play((dir / "beep.wav").string())) << key;
    EXPECT_TRUE(sounds.Playing());
    ASSERT_TRUE(WaitWithoutEvents([&] {
        const int16_t* rec = rig_.RecordedFrames();
        for (int64_t j = 0; j < rig_.Recorded(); ++j)
            if (rec[2 * j] != 0)
                return true;
        return false;
    }));
    EXPECT_EQ(sounds.StreamOpens(), 1u);

    sounds.Reopen();
    ASSERT_TRUE(
        WaitWithoutEvents([&] { return sounds.StreamOpens() == 2 && sounds.StreamOpen(); }));
    EXPECT_TRUE(sounds.Play((dir / "beep.wav").string()));
    ASSERT_TRUE(WaitWithoutEvents([&] { return registrations.load() == 2; }));
    jack_client_close(watch);
    EXPECT_EQ(registrations.load(), 2);
}

TEST_F(AudioEngineTest, DestroyingTheEngineClosesBothStreams)
{
    ASSERT_TRUE(engine_->OpenCapture(RigInput()));
    ASSERT_TRUE(engine_->OpenPlayback(RigOutput()));
    EXPECT_EQ(rig_.PortsStartingWith("tesmar-").size(), 4u);
    engine_.reset();
    EXPECT_TRUE(rig_.PortsStartingWith("tesmar-").empty());
    RunFor(200);  // calls posted by the streams die with the engine
}

}  // namespace
