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
// lags what was received by at most this many blocks.
inline constexpr int kPlaybackLagBlocks = 3;
// A playback queue grown after a late block shrinks by one block once this
// many blocks in a row have started on time for the smaller queue (0.8 s):
// long enough that a main thread late now and then keeps its cushion
// instead of trading a dropped block for a gap every second.
inline constexpr int kOnTimeBlocks = 16;

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
// it allows: a backlog is caught up at once instead of lagging for good.
//
// The allowed lag adapts between minLag and maxLag blocks: it grows by one
// whenever the queue runs dry while playing (a block came late, so the next
// ones are played a block later instead of being dropped), and shrinks by one
// after kOnTimeBlocks block starts in a row that one block less would have
// served as well: each found a spare block queued behind it (one block less
// would never have run dry), or each left the allowance unused (nothing to
// drop). Shrinking drops at most the oldest block not yet begun.
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
    bool Push(BlockView block)
    {
        const uint32_t q = queued_.load(std::memory_order_relaxed);
        if (q - played_.load(std::memory_order_acquire) >= uint32_t(N))
            return false;
        std::memcpy(blocks_[q % N].data(), block.data(), sizeof(Block));
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
    ReadResult Read(int16_t* frames, std::size_t count)
    {
        ReadResult result;
        while (count > 0) {
            uint32_t p = played_.load(std::memory_order_relaxed);
            const uint32_t q = queued_.load(std::memory_order_acquire);
            if (pos_ == 0 && q != p) {
                const uint32_t lag = JudgeStart(q - p);
                if (q - p > lag) {
                    const uint32_t skip = q - p - lag;
                    p += skip;
                    played_.store(p, std::memory_order_release);
                    result.skipped += skip;
                }
                playing_ = true;
            }
            if (q == p) {
                if (playing_) {
                    // Ran dry while playing: a block came late.
                    playing_ = false;
                    spareRun_ = unusedRun_ = 0;
                    const uint32_t lag = lag_.load(std::memory_order_relaxed);
                    if (lag < maxLag_)
                        lag_.store(lag + 1, std::memory_order_relaxed);
                }
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
        playing_ = false;
        spareRun_ = unusedRun_ = 0;
    }

private:
    // A block is about to start with depth blocks queued (depth >= 1);
    // returns the lag allowed for it.
    uint32_t JudgeStart(uint32_t depth)
    {
        uint32_t lag = lag_.load(std::memory_order_relaxed);
        spareRun_ = depth >= 2 ? spareRun_ + 1 : 0;
        unusedRun_ = depth < lag ? unusedRun_ + 1 : 0;
        if (lag > minLag_ &&
            (spareRun_ >= uint32_t(kOnTimeBlocks) || unusedRun_ >= uint32_t(kOnTimeBlocks))) {
            --lag;
            lag_.store(lag, std::memory_order_relaxed);
            spareRun_ = unusedRun_ = 0;
        }
        return lag;
    }

    std::array<Block, N> blocks_{};
    std::atomic<uint32_t> queued_{0};
    std::atomic<uint32_t> played_{0};
    std::size_t pos_ = 0;  // consumer only: frames of the front block already played
    uint32_t maxLag_;
    uint32_t minLag_;
    std::atomic<uint32_t> lag_;  // written by the consumer (and Reset) only
    // Consumer only: a block has started since the last gap; block starts in
    // a row with a spare block queued, and with the allowance unused.
    bool playing_ = false;
    uint32_t spareRun_ = 0;
    uint32_t unusedRun_ = 0;
};

}  // namespace audio
