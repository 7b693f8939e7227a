#include "tools/DemodPipeline.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>

namespace tools {

namespace {

// The stages in the order the blocks pass them.
enum Stage { kRead, kFront, kBack, kWrite, kStages };

// Ring sizes in blocks, between each stage and the next. The input ring is
// the read-ahead (1.6 s of signal in 300 KiB), the output ring the
// write-behind; the hand-overs are large (170 KiB) and need only cover the
// halves' differences in speed from block to block.
constexpr int kDepth[kStages] = {32, 4, 16, 0};
// A stage that found its ring full waits until this many slots are free, and
// the writer until this many blocks are ready (or the input's end): each
// wake-up then serves several blocks, not one.
constexpr int kBatch[kStages] = {8, 2, 0, 4};

// Where the stages stand, and the waits on each other.
class Progress {
public:
    // Waits until stage s may take block n: the stage before has finished it
    // and the ring behind s has room. False when the run is over for s: the
    // input ended before block n, or the run stopped.
    bool Acquire(Stage s, int64_t n)
    {
        std::unique_lock lock(mutex_);
        if (!Ready(s, n, 1)) {
            next_[s] = n;
            waiting_[s] = true;
            wake_[s].wait(lock, [&] { return Ready(s, n, Batch(s)); });
            waiting_[s] = false;
        }
        return !stopped_ && n < total_;
    }
    // Stage s has finished block n.
    void Release(Stage s, int64_t n)
    {
        std::lock_guard lock(mutex_);
        done_[s] = n + 1;
        if (s > kRead)
            Notify(static_cast<Stage>(s - 1));
        if (s < kWrite)
            Notify(static_cast<Stage>(s + 1));
    }
    // The input holds `blocks` blocks.
    void End(int64_t blocks)
    {
        std::lock_guard lock(mutex_);
        total_ = blocks;
        for (auto& w : wake_)
            w.notify_all();
    }
    // The run ends early (a failed write).
    void Stop()
    {
        std::lock_guard lock(mutex_);
        stopped_ = true;
        for (auto& w : wake_)
            w.notify_all();
    }

private:
    static int Batch(Stage s) { return std::max(kBatch[s], 1); }
    // Whether stage s can go on with block n, with `batch` blocks of data
    // ready (the writer) or slots free (the others) where it waits for
    // either.
    bool Ready(Stage s, int64_t n, int batch) const
    {
        if (stopped_ || n >= total_)
            return true;
        if (s > kRead) {
            const int64_t ready = done_[s - 1] - n;
            const int need = s == kWrite ? batch : 1;
            if (ready < need && done_[s - 1] < total_)
                return false;
            if (ready < 1)
                return false;
        }
        if (s < kWrite && n - done_[s + 1] > kDepth[s] - batch)
            return false;
        return true;
    }
    void Notify(Stage s)
    {
        if (waiting_[s] && Ready(s, next_[s], Batch(s)))
            wake_[s].notify_one();
    }

    std::mutex mutex_;
    std::array<std::condition_variable, kStages> wake_;
    std::array<int64_t, kStages> done_{};
    std::array<int64_t, kStages> next_{};
    std::array<bool, kStages> waiting_{};
    int64_t total_ = std::numeric_limits<int64_t>::max();
    bool stopped_ = false;
};

struct InputSlot {
    std::array<int16_t, dsp::kBlockSamples> frames;
};

// Joins on every way out, so that no thread outlives the rings it uses.
class Joined {
public:
    template <class F>
    explicit Joined(F f)
        : thread_(std::move(f))
    {}
    ~Joined() { thread_.join(); }
    Joined(const Joined&) = delete;
    Joined& operator=(const Joined&) = delete;

private:
    std::thread thread_;
};

}  // namespace

bool RunPipelined(dsp::SignalChain& chain, const BlockReader& read, const BlockWriter& write,
                  int64_t* blocks, std::string* error)
{
    auto input = std::make_unique<InputSlot[]>(kDepth[kRead]);
    auto hand = std::make_unique<dsp::ChainHandOver[]>(kDepth[kFront]);
    auto output = std::make_unique<dsp::BlockOutputs[]>(kDepth[kBack]);
    Progress progress;
    std::string writeError;
    int64_t processed = 0;
    {
        Joined reader([&] {
            int64_t n = 0;
            bool last = false;
            while (!last && progress.Acquire(kRead, n)) {
                if (!read(input[n % kDepth[kRead]].frames.data(), &last))
                    break;
                progress.Release(kRead, n++);
            }
            progress.End(n);
        });
        Joined front([&] {
            for (int64_t n = 0; progress.Acquire(kFront, n); ++n) {
                chain.ProcessFront(input[n % kDepth[kRead]].frames.data(),
                                   hand[n % kDepth[kFront]]);
                progress.Release(kFront, n);
            }
        });
        Joined writer([&] {
            for (int64_t n = 0; progress.Acquire(kWrite, n); ++n) {
                if (!write(output[n % kDepth[kBack]], &writeError)) {
                    progress.Stop();
                    break;
                }
                progress.Release(kWrite, n);
            }
        });
        for (int64_t n = 0; progress.Acquire(kBack, n); ++n) {
            chain.ProcessBack(hand[n % kDepth[kFront]], output[n % kDepth[kBack]]);
            progress.Release(kBack, n);
            processed = n + 1;
        }
    }
    *blocks = processed;
    if (!writeError.empty()) {
        *error = writeError;
        return false;
    }
    return true;
}

}  // namespace tools
