#include "audio/BlockRing.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace {

using audio::Block;
using audio::CaptureRing;
using audio::kBlockFrames;
using audio::kBlockSamples;
using audio::PlaybackRing;

// Frame f as two distinct samples, so order and channel errors both show.
int16_t Left(int64_t f) { return int16_t(f % 32000); }
int16_t Right(int64_t f) { return int16_t(-(f % 31000) - 1); }

std::vector<int16_t> Frames(int64_t first, std::size_t count)
{
    std::vector<int16_t> v(count * 2);
    for (std::size_t i = 0; i < count; ++i) {
        v[2 * i] = Left(first + int64_t(i));
        v[2 * i + 1] = Right(first + int64_t(i));
    }
    return v;
}

Block BlockAt(int64_t firstFrame)
{
    Block b{};
    const auto v = Frames(firstFrame, kBlockFrames);
    std::copy(v.begin(), v.end(), b.begin());
    return b;
}

TEST(CaptureRingTest, PeriodsOfAnySizeMakeWholeBlocksInOrder)
{
    auto ring = std::make_unique<CaptureRing<32>>();
    // Device periods that start, end and span block boundaries.
    const std::size_t sizes[] = {1, 7, 2392, 2400, 2401, 4799, 5000, 3, 9600, 123};
    int64_t fed = 0;
    unsigned completed = 0;
    for (std::size_t n : sizes) {
        const auto v = Frames(fed, n);
        const auto r = ring->Write(v.data(), n);
        EXPECT_EQ(r.dropped, 0u);
        completed += r.completed;
        fed += int64_t(n);
        EXPECT_EQ(completed, unsigned(fed / kBlockFrames));
    }
    ASSERT_EQ(ring->Waiting(), int(fed / kBlockFrames));
    for (int k = 0; ring->HasBlock(); ++k) {
        EXPECT_EQ(ring->ReadIndex(), k);
        EXPECT_EQ(ring->Front(), BlockAt(int64_t(k) * kBlockFrames)) << "block " << k;
        ring->Pop();
    }
}

TEST(CaptureRingTest, IndexWrapsAfter32Blocks)
{
    auto ring = std::make_unique<CaptureRing<32>>();
    for (int k = 0; k < 70; ++k) {
        const auto v = Frames(int64_t(k) * kBlockFrames, kBlockFrames);
        ASSERT_EQ(ring->Write(v.data(), kBlockFrames).completed, 1u);
        ASSERT_TRUE(ring->HasBlock());
        EXPECT_EQ(ring->Front(), BlockAt(int64_t(k) * kBlockFrames));
        ring->Pop();
        EXPECT_EQ(ring->ReadIndex(), (k + 1) % 32);
    }
    EXPECT_FALSE(ring->HasBlock());
}

TEST(CaptureRingTest, FullRingDropsNewFramesAndKeepsTheUnreadBlocks)
{
    auto ring = std::make_unique<CaptureRing<32>>();
    const auto v = Frames(0, 33 * kBlockFrames + 100);
    const auto r = ring->Write(v.data(), 33 * kBlockFrames + 100);
    EXPECT_EQ(r.completed, 32u);
    EXPECT_EQ(r.dropped, std::size_t(kBlockFrames + 100));
    EXPECT_EQ(ring->Waiting(), 32);
    EXPECT_EQ(ring->Front(), BlockAt(0));
    // One block handled makes room for exactly one more.
    ring->Pop();
    const auto next = Frames(1000000, kBlockFrames + 5);
    const auto r2 = ring->Write(next.data(), kBlockFrames + 5);
    EXPECT_EQ(r2.completed, 1u);
    EXPECT_EQ(r2.dropped, 5u);
    for (int k = 1; k < 32; ++k) {
        EXPECT_EQ(ring->Front(), BlockAt(int64_t(k) * kBlockFrames)) << "block " << k;
        ring->Pop();
    }
    EXPECT_EQ(ring->Front(), BlockAt(1000000));
}

TEST(CaptureRingTest, ResetForgetsAPartBlock)
{
    auto ring = std::make_unique<CaptureRing<32>>();
    const auto part = Frames(500, 1000);
    ring->Write(part.data(), 1000);
    ring->Reset();
    const auto whole = Frames(0, kBlockFrames);
    EXPECT_EQ(ring->Write(whole.data(), kBlockFrames).completed, 1u);
    EXPECT_EQ(ring->Front(), BlockAt(0));
    EXPECT_EQ(ring->ReadIndex(), 0);
}

TEST(PlaybackRingTest, PeriodsOfAnySizePlayTheBlocksBackToBack)
{
    auto ring = std::make_unique<PlaybackRing<16>>();
    for (int k = 0; k < 5; ++k)
        ASSERT_TRUE(ring->Push(BlockAt(int64_t(k) * kBlockFrames)));
    const std::size_t sizes[] = {1, 2399, 2401, 7, 3000, 4192};
    int64_t played = 0;
    unsigned finished = 0;
    for (std::size_t n : sizes) {
        std::vector<int16_t> out(n * 2, 77);
        const auto r = ring->Read(out.data(), n);
        EXPECT_EQ(r.silent, 0u);
        EXPECT_EQ(out, Frames(played, n));
        played += int64_t(n);
        finished += r.finished;
        EXPECT_EQ(finished, unsigned(played / kBlockFrames));
    }
    EXPECT_EQ(played, 5 * kBlockFrames);
    EXPECT_EQ(ring->Waiting(), 0);
}

TEST(PlaybackRingTest, SilenceWhenNoBlockIsReady)
{
    auto ring = std::make_unique<PlaybackRing<16>>();
    std::vector<int16_t> out(300 * 2, 77);
    auto r = ring->Read(out.data(), 300);
    EXPECT_EQ(r.silent, 300u);
    EXPECT_EQ(out, std::vector<int16_t>(600, 0));

    // A period that outlasts the last block: the block, then silence.
    ASSERT_TRUE(ring->Push(BlockAt(0)));
    std::vector<int16_t> longer((kBlockFrames + 100) * 2, 77);
    r = ring->Read(longer.data(), kBlockFrames + 100);
    EXPECT_EQ(r.finished, 1u);
    EXPECT_EQ(r.silent, 100u);
    const auto expected = Frames(0, kBlockFrames);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), longer.begin()));
    EXPECT_TRUE(std::all_of(longer.begin() + kBlockSamples, longer.end(),
                            [](int16_t s) { return s == 0; }));
}

TEST(PlaybackRingTest, FullRingRefusesAndNeverOverwritesTheBlockPlaying)
{
    auto ring = std::make_unique<PlaybackRing<16>>();
    for (int k = 0; k < 16; ++k) {
        EXPECT_EQ(ring->WriteIndex(), k);
        ASSERT_TRUE(ring->Push(BlockAt(int64_t(k) * kBlockFrames)));
    }
    EXPECT_EQ(ring->WriteIndex(), 0);
    EXPECT_FALSE(ring->Push(BlockAt(900000)));

    // Half of the first block is out; it still holds its slot.
    std::vector<int16_t> out(1200 * 2);
    ring->Read(out.data(), 1200);
    EXPECT_FALSE(ring->Push(BlockAt(900000)));
    ring->Read(out.data(), 1200);
    EXPECT_TRUE(ring->Push(BlockAt(16 * kBlockFrames)));

    // Everything plays in order, the refused block nowhere.
    std::vector<int16_t> all(16 * kBlockFrames * 2);
    const auto r = ring->Read(all.data(), 16 * kBlockFrames);
    EXPECT_EQ(r.finished, 16u);
    EXPECT_EQ(all, Frames(kBlockFrames, 16 * kBlockFrames));
}

// The catch-up drops whole queued blocks beyond the allowed lag, oldest first,
// and only between blocks: a block already started plays to its end.
TEST(PlaybackRingTest, ABacklogIsDroppedOldestFirstAndNeverMidBlock)
{
    struct Case {
        int queued;           // blocks pushed (the first before `started`)
        std::size_t started;  // frames of block 0 played before the rest came
        unsigned skipped;     // blocks dropped by the catch-up
        int64_t heard;        // the block played next in full
    };
    const Case cases[] = {
        {3, 0, 0, 0},        // within the lag: nothing dropped
        {4, 0, 1, 1},        // one too many: the oldest goes
        {16, 0, 13, 13},     // a full ring: the newest three stay
        {16, 1200, 12, 13},  // block 0 had begun: it ends, then the newest three
    };
    for (const Case& c : cases) {
        auto ring = std::make_unique<PlaybackRing<16>>(3);
        ASSERT_TRUE(ring->Push(BlockAt(0)));
        unsigned skipped = 0;
        std::vector<int16_t> out(kBlockFrames * 2);
        if (c.started != 0)
            skipped += ring->Read(out.data(), c.started).skipped;
        for (int k = 1; k < c.queued; ++k)
            ASSERT_TRUE(ring->Push(BlockAt(int64_t(k) * kBlockFrames)));
        if (c.started != 0) {
            const std::size_t rest = kBlockFrames - c.started;
            skipped += ring->Read(out.data(), rest).skipped;
            out.resize(rest * 2);
            EXPECT_EQ(out, Frames(int64_t(c.started), rest)) << c.queued << " queued";
            out.resize(kBlockFrames * 2);
        }
        skipped += ring->Read(out.data(), kBlockFrames).skipped;
        EXPECT_EQ(out, Frames(c.heard * kBlockFrames, kBlockFrames)) << c.queued << " queued";
        EXPECT_EQ(skipped, c.skipped) << c.queued << " queued";
        EXPECT_EQ(ring->Waiting(), std::min(c.queued, 3) - 1) << c.queued << " queued";
    }
}

// The adaptive queue, one device period of one block at a time, 50 ms
// apart; before each period `blocks` are queued, `lead` ms before it. It
// grows for a close call (the only block queued, queued late) and for a gap
// (to keep all that piled up meanwhile), never drops a kept block, covers a
// period longer than a block, and shrinks by one only after kQuietBlocks
// starts without either (then a block every kShrinkStepBlocks), dropping the
// oldest unplayed block if one is spare.
TEST(PlaybackRingTest, TheQueueGrowsBeforeItRunsDryAndShrinksOnlyAfterAQuietSpell)
{
    struct Period {
        int blocks;
        int lead = 40;  // ms before the period
    };
    using Periods = std::vector<Period>;
    auto then = [](Periods v, int periods, int blocks, int lead = 40) {
        v.insert(v.end(), std::size_t(periods), Period{blocks, lead});
        return v;
    };
    constexpr int kQuiet = audio::kQuietBlocks;
    const Periods start = then({}, 3, 1);
    const Periods close = then(then(start, 1, 1, 3), 2, 1);
    const Periods late = then(then(then(start, 1, 0), 1, 2), 2, 1);         // one block late
    const Periods stall = then(then(then(start, 6, 0), 1, 7), 2, 1);        // 300 ms
    const Periods longStall = then(then(then(start, 12, 0), 1, 13), 2, 1);  // 600 ms
    struct Case {
        const char* what;
        Periods periods;
        int lag;           // the allowance at the end
        unsigned skipped;  // blocks dropped unplayed
        bool keep = false;
        std::size_t frames = kBlockFrames;  // of each period
    };
    const Case cases[] = {
        {"on time", then(start, 40, 1), 1, 0},
        {"a close call", close, 2, 0},
        {"a close call, not yet quiet long enough", then(close, kQuiet - 3, 1), 2, 0},
        {"a close call, then quiet", then(close, kQuiet - 2, 1), 1, 0},
        {"one late block", late, 2, 0},
        {"a stall: all that piled up is kept", stall, 7, 0},
        {"quiet again: the spare goes", then(stall, kQuiet - 2, 1), 6, 1},
        {"quiet on: a step down", then(stall, kQuiet - 2 + audio::kShrinkStepBlocks, 1), 5, 2},
        {"a stall beyond the largest queue", longStall, audio::kPlaybackLagBlocks,
         unsigned(13 - audio::kPlaybackLagBlocks)},
        {"a stall beyond it, kept blocks", longStall, audio::kPlaybackLagBlocks, 0, true},
        {"a backlog of kept blocks", then({{16}}, 16, 0), 1, 0, true},
        {"a period of two blocks", then({{2}}, 20, 2), 2, 0, false, 2 * kBlockFrames},
    };
    for (const Case& c : cases) {
        auto ring = std::make_unique<PlaybackRing<16>>(audio::kPlaybackLagBlocks, 1);
        std::vector<int16_t> out(c.frames * 2);
        int64_t next = 0;
        unsigned skipped = 0;
        int64_t now = 1'000'000'000;
        for (const Period& period : c.periods) {
            for (int k = 0; k < period.blocks; ++k, next += kBlockFrames)
                ASSERT_TRUE(ring->Push(BlockAt(next), now - period.lead * 1'000'000, c.keep))
                    << c.what;
            skipped += ring->Read(out.data(), c.frames, now).skipped;
            now += 50'000'000;
        }
        EXPECT_EQ(ring->Lag(), c.lag) << c.what;
        EXPECT_EQ(skipped, c.skipped) << c.what;
        ring->Reset();
        EXPECT_EQ(ring->Lag(), 1) << c.what;
    }
}

// From silence, a block waits until it has been queued kStartLeadNs (or a
// second one is queued): on a device with short periods a block started the
// moment it came would leave the next one no time to spare.
TEST(PlaybackRingTest, ABlockStartsFromSilenceOnlyOnceItHasALead)
{
    auto ring = std::make_unique<PlaybackRing<16>>(audio::kPlaybackLagBlocks, 1);
    constexpr int64_t kMs = 1'000'000;
    std::vector<int16_t> out(256 * 2);
    const int64_t t = 1000 * kMs;
    ASSERT_TRUE(ring->Push(BlockAt(0), t));
    EXPECT_EQ(ring->Read(out.data(), 256, t + 5 * kMs).silent, 256u);
    EXPECT_EQ(ring->Read(out.data(), 256, t + 9 * kMs).silent, 256u);
    EXPECT_EQ(ring->Read(out.data(), 256, t + 10 * kMs).silent, 0u);
    EXPECT_EQ(out, Frames(0, 256));
    // Playing, a block that comes in time goes on at once.
    for (int k = 1; k < kBlockFrames / 256; ++k)
        ring->Read(out.data(), 256, t + 10 * kMs);
    ASSERT_TRUE(ring->Push(BlockAt(kBlockFrames), t + 21 * kMs));
    ASSERT_TRUE(ring->Push(BlockAt(2 * kBlockFrames), t + 22 * kMs));
    out.resize(2 * kBlockFrames);
    ring->Read(out.data(), kBlockFrames - (kBlockFrames / 256) * 256, t + 22 * kMs);
    // ...and from silence, a second block queued is lead enough.
    ring->Reset();
    ASSERT_TRUE(ring->Push(BlockAt(0), t));
    ASSERT_TRUE(ring->Push(BlockAt(kBlockFrames), t));
    EXPECT_EQ(ring->Read(out.data(), 256, t).silent, 0u);
}

// The device thread and the main thread at once, with uneven periods on both
// sides; run under the sanitizers this also guards the memory ordering.
TEST(BlockRingThreadsTest, CaptureThenPlaybackAcrossThreadsKeepsEveryFrame)
{
    auto capture = std::make_unique<CaptureRing<32>>();
    auto playback = std::make_unique<PlaybackRing<16>>();
    constexpr int kBlocks = 300;
    constexpr int64_t kFrames = int64_t(kBlocks) * kBlockFrames;
    std::atomic<bool> failed{false};

    std::thread device([&] {
        const std::size_t periods[] = {997, 2400, 3001, 64, 1500};
        std::vector<int16_t> out(4000 * 2);
        int64_t fed = 0, played = 0;
        for (int i = 0; fed < kFrames || played < kFrames; ++i) {
            const std::size_t n = periods[i % 5];
            if (fed < kFrames) {
                const std::size_t m = std::size_t(std::min<int64_t>(int64_t(n), kFrames - fed));
                const auto in = Frames(fed, m);
                const auto r = capture->Write(in.data(), m);
                fed += int64_t(m - r.dropped);
            }
            const auto r = playback->Read(out.data(), n);
            for (std::size_t j = 0; j < n - r.silent; ++j) {
                if (out[2 * j] != Left(played) || out[2 * j + 1] != Right(played))
                    failed = true;
                ++played;
            }
            if (r.silent == n)
                std::this_thread::yield();
        }
    });

    int handled = 0;
    while (handled < kBlocks) {
        if (!capture->HasBlock()) {
            std::this_thread::yield();
            continue;
        }
        const Block block = capture->Front();
        capture->Pop();
        while (!playback->Push(block))
            std::this_thread::yield();
        ++handled;
    }
    device.join();
    EXPECT_FALSE(failed);
}

}  // namespace
