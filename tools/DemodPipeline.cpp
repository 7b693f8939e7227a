#include "tools/DemodPipeline.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
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

// How long a stage that cannot go on keeps looking before it sleeps. A
// hand-over between the halves is due every few tens of microseconds, and
// waking a sleeping thread costs about as much again (more where the other
// core has to be woken first). Looking keeps the core, which is cheaper
// than yielding it: on a busy machine a yielded core comes back only after
// every other thread's turn, milliseconds later.
constexpr auto kSpin = std::chrono::microseconds(20);

inline void Relax()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

// Where the stages stand, and the waits on each other. The counters are
// atomic so that a stage that can go on takes no lock; the mutex serves only
// the sleeps and their wake-ups.
class Progress {
public:
    // Split: the chain's halves are two stages; otherwise the front stage is
    // left out and the back stage runs the whole chain.
    explicit Progress(bool split)
        : split_(split)
    {}

    // Waits until stage s may take block n: the stage before has finished it
    // and the ring behind s has room. False when the run is over for s: the
    // input ended before block n, or the run stopped.
    bool Acquire(Stage s, int64_t n)
    {
        if (!Ready(s, n, 1)) {
            const auto until = std::chrono::steady_clock::now() + kSpin;
            while (!Ready(s, n, 1) && std::chrono::steady_clock::now() < until)
                for (int i = 0; i < 16; ++i)
                    Relax();
        }
        if (!Ready(s, n, 1)) {
            std::unique_lock lock(mutex_);
            next_[s] = n;
            waiting_[s].store(true);
            wake_[s].wait(lock, [&] { return Ready(s, n, Batch(s)); });
            waiting_[s].store(false);
        }
        return !stopped_.load() && n < total_.load();
    }
    // Stage s has finished block n.
    void Release(Stage s, int64_t n)
    {
        done_[s].store(n + 1);
        if (s > kRead)
            Notify(Prev(s));
        if (s < kWrite)
            Notify(Next(s));
    }
    // The input holds `blocks` blocks.
    void End(int64_t blocks)
    {
        total_.store(blocks);
        NotifyAll();
    }
    // The run ends early (a failed write).
    void Stop()
    {
        stopped_.store(true);
        NotifyAll();
    }

private:
    static int Batch(Stage s) { return std::max(kBatch[s], 1); }
    Stage Prev(Stage s) const { return s == kBack && !split_ ? kRead : static_cast<Stage>(s - 1); }
    Stage Next(Stage s) const { return s == kRead && !split_ ? kBack : static_cast<Stage>(s + 1); }
    // Whether stage s can go on with block n, with `batch` blocks of data
    // ready (the writer) or slots free (the others) where it waits for
    // either.
    bool Ready(Stage s, int64_t n, int batch) const
    {
        const int64_t total = total_.load();
        if (stopped_.load() || n >= total)
            return true;
        if (s > kRead) {
            const int64_t before = done_[Prev(s)].load();
            const int need = s == kWrite ? batch : 1;
            if (before - n < need && before < total)
                return false;
            if (before - n < 1)
                return false;
        }
        if (s < kWrite && n - done_[Next(s)].load() > kDepth[s] - batch)
            return false;
        return true;
    }
    // A sleeper sets its flag before it looks at the counters, and a counter
    // is stored before the flag is looked at (both sequentially consistent):
    // either the sleeper sees the new count or the flag is seen here. Under
    // the mutex, the notification cannot fall between the sleeper's look and
    // its sleep.
    void Notify(Stage s)
    {
        if (!waiting_[s].load())
            return;
        std::lock_guard lock(mutex_);
        if (waiting_[s].load() && Ready(s, next_[s], Batch(s)))
            wake_[s].notify_one();
    }
    void NotifyAll()
    {
        std::lock_guard lock(mutex_);
        for (auto& w : wake_)
            w.notify_all();
    }

    const bool split_;
    std::array<std::atomic<int64_t>, kStages> done_{};
    std::atomic<int64_t> total_ = std::numeric_limits<int64_t>::max();
    std::atomic<bool> stopped_ = false;
    std::array<std::atomic<bool>, kStages> waiting_{};
    std::mutex mutex_;
    std::array<std::condition_variable, kStages> wake_;
    std::array<int64_t, kStages> next_{};  // the block each sleeper waits to take
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

bool SplitPays(const dsp::ChainControls& c) { return c.DSPAN || c.DSPNR; }

bool RunPipelined(dsp::SignalChain& chain, bool split, const BlockReader& read,
                  const BlockWriter& write, int64_t* blocks, std::string* error)
{
    auto input = std::make_unique<InputSlot[]>(kDepth[kRead]);
    auto hand = std::make_unique<dsp::ChainHandOver[]>(split ? kDepth[kFront] : 0);
    auto output = std::make_unique<dsp::BlockOutputs[]>(kDepth[kBack]);
    Progress progress(split);
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
            for (int64_t n = 0; split && progress.Acquire(kFront, n); ++n) {
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
            if (split)
                chain.ProcessBack(hand[n % kDepth[kFront]], output[n % kDepth[kBack]]);
            else
                chain.ProcessBlock(input[n % kDepth[kRead]].frames.data(),
                                   output[n % kDepth[kBack]]);
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
