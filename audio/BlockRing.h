#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace audio {

// The one sound format of both directions: 48000 frames per second, two
// signed 16-bit channels, moved in blocks of 2400 frames (9600 bytes, 50 ms).
inline constexpr int kSampleRate = 48000;
inline constexpr int kChannels = 2;
inline constexpr int kBlockFrames = 2400;
inline constexpr int kBlockSamples = kBlockFrames * kChannels;
inline constexpr int kBlockBytes = kBlockSamples * 2;
inline constexpr int kCaptureBlocks = 32;
inline constexpr int kPlaybackBlocks = 16;
// Output blocks queued beyond this many are a backlog (from start-up or a
// stall of the main thread): the oldest are dropped so that what is heard
// lags what was received by at most this many blocks. Eight hold a stall of
// the main thread of 350 ms once the queue has grown for it.
inline constexpr int kPlaybackLagBlocks = 8;
// A grown playback queue shrinks by one block only after this many block
// starts in a row (20 s) without a close call or a gap: a main thread late
// now and then keeps its cushion, and the lag does not swing up and down.
inline constexpr int kQuietBlocks = 400;
// After that spell it comes down a further block every this many (2 s),
// so that a queue grown large (a stall at start-up) does not stay so.
inline constexpr int kShrinkStepBlocks = 40;
// A block that starts as the last one queued less than this long after it
// was queued was a close call: the queue grows before it runs dry.
inline constexpr int64_t kCloseCallNs = 5'000'000;
// A block that starts from silence has been queued at least this long, so
// that the blocks after it are not close calls by the device's phase alone.
inline constexpr int64_t kStartLeadNs = 10'000'000;

using Block = std::array<int16_t, kBlockSamples>;
using BlockView = std::span<const int16_t, kBlockSamples>;

// Blocks travelling from the capture device's thread to the main thread.
//
// Single producer (the device callback), single consumer (the main thread).
// The device may deliver any number of frames per call, so the producer fills
// the block at the write position frame by frame and publishes it only when
// it holds all 2400 frames. A published block belongs to the consumer until
// it is popped; when every block is taken the producer drops what arrives
// instead of touching a block the main thread may be reading.
template <int N>
class CaptureRing {
    static_assert(N > 0 && (N & (N - 1)) == 0, "the counters wrap at a power of two");

public:
    struct WriteResult {
        unsigned completed = 0;   // blocks published by this write
        std::size_t dropped = 0;  // frames discarded because every block was taken
    };

    // Producer side. frames holds count interleaved stereo frames.
    WriteResult Write(const int16_t* frames, std::size_t count)
    {
        WriteResult result;
        while (count > 0) {
            const uint32_t w = written_.load(std::memory_order_relaxed);
            if (fill_ == 0 && w - taken_.load(std::memory_order_acquire) >= uint32_t(N)) {
                result.dropped += count;
                break;
            }
            Block& block = blocks_[w % N];
            const std::size_t n = std::min<std::size_t>(count, kBlockFrames - fill_);
            std::memcpy(block.data() + fill_ * kChannels, frames, n * kChannels * sizeof(int16_t));
            fill_ += n;
            frames += n * kChannels;
            count -= n;
            if (fill_ == std::size_t(kBlockFrames)) {
                fill_ = 0;
                written_.store(w + 1, std::memory_order_release);
                ++result.completed;
            }
        }
        return result;
    }

    // Producer side: forgets the frames of the block being filled, so that
    // the next published block starts fresh after a pause.
    void DropPartial() { fill_ = 0; }

    // Consumer side.
    bool HasBlock() const
    {
        return written_.load(std::memory_order_acquire) != taken_.load(std::memory_order_relaxed);
    }
    const Block& Front() const { return blocks_[taken_.load(std::memory_order_relaxed) % N]; }
    // Hands the front block back to the producer.
    void Pop()
    {
        taken_.store(taken_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
    }
    // The block expected next, 0..N-1.
    int ReadIndex() const { return int(taken_.load(std::memory_order_relaxed) % N); }
    // Published blocks not yet popped; safe from either side.
    int Waiting() const
    {
        return int(written_.load(std::memory_order_acquire) -
                   taken_.load(std::memory_order_acquire));
    }

    // Consumer side: hands every published block back unread.
    void Drain()
    {
        taken_.store(written_.load(std::memory_order_acquire), std::memory_order_release);
    }

    // Empties the ring. Only while no producer runs (the stream is stopped).
    void Reset()
    {
        written_.store(0, std::memory_order_relaxed);
        taken_.store(0, std::memory_order_relaxed);
        fill_ = 0;
    }

private:
    std::array<Block, N> blocks_{};
    std::atomic<uint32_t> written_{0};
    std::atomic<uint32_t> taken_{0};
    std::size_t fill_ = 0;  // producer only: frames in the block being filled
};

// Blocks travelling from the main thread to the playback device's thread.
//
// Single producer (the main thread), single consumer (the device callback).
// The consumer reads the front block across as many device periods as it
// takes, and gives the block back only when all of its frames are out; a block
// is therefore never overwritten while it is playing. A push onto a full ring
// is refused. When no block is ready the consumer plays silence. Before it
// starts a block the consumer drops the oldest queued blocks beyond the lag
// it allows (a backlog is caught up at once instead of lagging for good), but
// never a block pushed as kept: a source the device paces (a file) queues
// only what the queue lacks, and each of its blocks must be heard.
//
// Both sides pass the time (steady clock, nanoseconds; 0 for none, which
// leaves out the rules that need it). The allowed lag adapts between minLag
// and maxLag blocks:
// - it grows before the queue runs dry: a block that starts as the last one
//   queued, pushed less than kCloseCallNs before, was a close call, and one
//   spare block is allowed from then on;
// - a gap (the queue ran dry while playing) grows it to hold what was late:
//   the blocks that pile up during the gap are kept, so the same stall is
//   hidden next time;
// - it is never below the blocks one device period takes;
// - it shrinks by one only after kQuietBlocks block starts in a row without
//   a close call or a gap, and by one more every kShrinkStepBlocks while it
//   stays quiet (the oldest unkept block beyond it is dropped).
// A block that starts from silence waits until it has been queued
// kStartLeadNs (or a second one is queued): a device with short periods
// would otherwise start each block the moment it arrives, and the next
// would always be a close call.
template <int N>
class PlaybackRing {
    static_assert(N > 0 && (N & (N - 1)) == 0, "the counters wrap at a power of two");

public:
    struct ReadResult {
        unsigned finished = 0;   // blocks fully played by this read
        unsigned skipped = 0;    // queued blocks dropped unplayed to catch up
        std::size_t silent = 0;  // frames filled with silence for want of a block
    };

    // A minLag below 1 (the default) keeps the lag fixed at maxLag.
    explicit PlaybackRing(int maxLag = N, int minLag = 0)
        : maxLag_(uint32_t(std::clamp(maxLag, 1, N)))
        , minLag_(minLag < 1 ? maxLag_ : uint32_t(std::clamp(minLag, 1, int(maxLag_))))
        , lag_(minLag_)
    {}

    // Producer side. False (and nothing stored) when all N blocks are queued.
    // A kept block is never dropped to catch up.
    bool Push(BlockView block, int64_t now = 0, bool keep = false)
    {
        const uint32_t q = queued_.load(std::memory_order_relaxed);
        if (q - played_.load(std::memory_order_acquire) >= uint32_t(N))
            return false;
        std::memcpy(blocks_[q % N].data(), block.data(), sizeof(Block));
        pushedAt_[q % N] = now;
        keep_[q % N] = keep;
        queued_.store(q + 1, std::memory_order_release);
        return true;
    }
    // The block to be filled next, 0..N-1.
    int WriteIndex() const { return int(queued_.load(std::memory_order_relaxed) % N); }
    // Blocks queued and not completely played; safe from either side.
    int Waiting() const
    {
        return int(queued_.load(std::memory_order_acquire) -
                   played_.load(std::memory_order_acquire));
    }
    // The queued blocks the consumer allows now; safe from either side.
    int Lag() const { return int(lag_.load(std::memory_order_relaxed)); }

    // Consumer side: fills count interleaved stereo frames.
    ReadResult Read(int16_t* frames, std::size_t count, int64_t now = 0)
    {
        ReadResult result;
        CoverPeriod(count);
        while (count > 0) {
            uint32_t p = played_.load(std::memory_order_relaxed);
            const uint32_t q = queued_.load(std::memory_order_acquire);
            bool ready = q != p;
            if (pos_ == 0 && ready && !playing_)
                ready = q - p >= 2 || now == 0 || pushedAt_[p % N] == 0 ||
                        now - pushedAt_[p % N] >= kStartLeadNs;
            if (pos_ == 0 && ready) {
                const uint32_t lag = JudgeStart(q - p, now - pushedAt_[p % N], now != 0);
                while (q - p > lag && !keep_[p % N]) {
                    ++p;
                    played_.store(p, std::memory_order_release);
                    ++result.skipped;
                }
                playing_ = true;
            }
            if (!ready) {
                if (playing_) {
                    // Ran dry while playing: a block came late.
                    playing_ = false;
                    inGap_ = true;
                    gapFrames_ = 0;
                }
                if (inGap_)
                    gapFrames_ += count;
                std::memset(frames, 0, count * kChannels * sizeof(int16_t));
                result.silent = count;
                break;
            }
            const Block& block = blocks_[p % N];
            const std::size_t n = std::min<std::size_t>(count, kBlockFrames - pos_);
            std::memcpy(frames, block.data() + pos_ * kChannels, n * kChannels * sizeof(int16_t));
            pos_ += n;
            frames += n * kChannels;
            count -= n;
            if (pos_ == std::size_t(kBlockFrames)) {
                pos_ = 0;
                played_.store(p + 1, std::memory_order_release);
                ++result.finished;
            }
        }
        return result;
    }

    // Empties the ring. Only while no consumer runs (the stream is stopped).
    void Reset()
    {
        queued_.store(0, std::memory_order_relaxed);
        played_.store(0, std::memory_order_relaxed);
        pos_ = 0;
        lag_.store(minLag_, std::memory_order_relaxed);
        floor_ = minLag_;
        playing_ = inGap_ = false;
        gapFrames_ = 0;
        quiet_ = 0;
    }

private:
    // A device period longer than the queue allows would play a block and
    // then run dry every period: the lag never falls below what one takes.
    void CoverPeriod(std::size_t count)
    {
        const auto blocks = uint32_t((count + kBlockFrames - 1) / kBlockFrames);
        if (blocks <= floor_ || floor_ >= maxLag_)
            return;
        floor_ = std::min(blocks, maxLag_);
        if (Lag() < int(floor_))
            lag_.store(floor_, std::memory_order_relaxed);
    }

    // A block is about to start with depth blocks queued (depth >= 1), the
    // first of them pushed `lead` ago (when timed); returns the lag allowed.
    uint32_t JudgeStart(uint32_t depth, int64_t lead, bool timed)
    {
        const uint32_t lag = lag_.load(std::memory_order_relaxed);
        uint32_t next = lag;
        if (inGap_) {
            // What piled up while the queue was dry is kept, all of it; a
            // source that queues only what is wanted (a file) is allowed
            // the gap's length more.
            const auto gap = uint32_t((gapFrames_ + kBlockFrames - 1) / kBlockFrames);
            next = std::max({lag + 1, gap + 1, depth});
            inGap_ = false;
            quiet_ = 0;
        } else if (playing_ && timed && depth == 1 && lead < kCloseCallNs) {
            next = std::max(lag, 2u);
            quiet_ = 0;
        } else if (++quiet_ >= uint32_t(kQuietBlocks)) {
            // Once quiet that long, down a step every kShrinkStepBlocks.
            quiet_ = uint32_t(kQuietBlocks - kShrinkStepBlocks);
            next = lag - 1;
        }
        next = std::clamp(next, floor_, maxLag_);
        if (next != lag)
            lag_.store(next, std::memory_order_relaxed);
        return next;
    }

    std::array<Block, N> blocks_{};
    std::array<int64_t, N> pushedAt_{};  // producer writes before publishing
    std::array<bool, N> keep_{};         // likewise
    std::atomic<uint32_t> queued_{0};
    std::atomic<uint32_t> played_{0};
    std::size_t pos_ = 0;  // consumer only: frames of the front block already played
    uint32_t maxLag_;
    uint32_t minLag_;
    std::atomic<uint32_t> lag_;  // written by the consumer (and Reset) only
    // Consumer only: the least lag the device's period allows; a block has
    // started since the last gap; a gap is under way (gapFrames_ long);
    // block starts in a row without a close call or a gap.
    uint32_t floor_ = minLag_;
    bool playing_ = false;
    bool inGap_ = false;
    std::size_t gapFrames_ = 0;
    uint32_t quiet_ = 0;
};

}  // namespace audio
