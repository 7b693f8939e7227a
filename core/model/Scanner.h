#pragma once

// The scanner: watches a list of channels (the memory list, or a band
// searched from a start to a stop frequency in steps) for activity, tunes to
// an active one, stays while it lasts and moves on a hang time after it ends.
//
// It is driven by the blocks: each block's spectrum (SpectrumDb, 2048 bins
// over the 48 kHz band) checks every channel inside the band at once, from
// the power in the channel's pass band against the band's noise floor. The
// receiver reaches a channel inside the band by FreqTune alone; channels
// outside it need the radio, one retune at a time, and are checked only
// after the radio has acknowledged the retune and one more block has passed
// (a block that arrives with the acknowledgement was captured, at least in
// part, before the radio moved). FreqCenter moves with the command, before
// any acknowledgement: when none comes (the radio off, its link lost, a model
// that cannot be tuned), the band FreqCenter names is not judged, the radio
// being anywhere, until a late acknowledgement or a dial read says where it
// is; the radio is asked again meanwhile, and the operator told once.
//
// GUI-free and standard library only; the receiver is reached through
// ScanHooks. Nothing is allocated per block: the work arrays are sized when
// the scan starts.

#include "dsp/Choices.h"
#include "dsp/Constants.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace core {

enum class ScanKind { Memory, Band };

// What the scan is doing, for the window.
enum class ScanPhase {
    Idle,       // not scanning
    Searching,  // checking the channels of the band in each block
    Retuning,   // the radio was asked to move; waiting for its acknowledgement
    Settling,   // acknowledged; the next block is let pass before a check
    Probing,    // an FM channel tuned to read the receiver's squelch
    Holding,    // on an active channel
    Hanging,    // the channel went quiet; waiting the hang time before moving on
};

struct ScanOptions {
    ScanKind kind = ScanKind::Memory;
    // The band search: every step from start to stop (both in Hz, inclusive)
    // in one mode (RxMode code).
    int32_t bandStart = 0;
    int32_t bandStop = 0;
    int32_t bandStep = 5000;
    dsp::Mode bandMode = dsp::Mode::Am;
    // A channel is active this many dB above the band's noise floor.
    double thresholdDb = 10.0;
    // Seconds a channel is held after it went quiet, so that a reply after a
    // pause is heard on the same channel.
    double hangSeconds = 2.0;
    // FM channels are judged by the receiver's squelch (the SQL knob) instead
    // of the threshold.
    bool fmSquelch = false;
    // Every hit is recorded through the WAV recorder.
    bool recordHits = false;
};

struct ScanChannel {
    int32_t hz = 0;
    std::string name;
    dsp::Mode mode = dsp::Mode::Am;
    bool lockedOut = false;
};

// One stretch of activity on a channel.
struct ScanHit {
    std::chrono::system_clock::time_point start;  // the first active block
    int32_t hz = 0;
    std::string name;
    dsp::Mode mode = dsp::Mode::Am;
    int64_t blocks = 0;   // first to last active block, both counted
    double peakDb = 0.0;  // highest level above the floor (0 for the squelch's hits)

    double Seconds() const { return static_cast<double>(blocks) * 0.05; }
};

// What the scanner asks of the receiver.
struct ScanHooks {
    // The radio's centre frequency now (FreqCenter).
    std::function<int32_t()> freqCenter;
    // Tunes the receiver to `hz` inside the current band (FreqTune only, no
    // radio command) in `mode`.
    std::function<void(const ScanChannel& channel)> tuneInBand;
    enum class Retune { Sent, Busy, Refused };
    // Moves the radio's centre to `center`; Busy while the radio still
    // answers an earlier command (asked again at the next block).
    std::function<Retune(int32_t center)> retuneRadio;
    // A radio can be retuned at all (a port is open).
    std::function<bool()> radioAvailable;
    // Start and stop a recording for a hit; start returns false when none
    // was started (the operator records already, or the file failed).
    std::function<bool(const ScanHit& hit)> startRecording;
    std::function<void()> stopRecording;
    // A hit has ended (log it); also when the scan stops during one.
    std::function<void(const ScanHit& hit)> hitEnded;
    // A channel was locked out (save the mark).
    std::function<void(const ScanChannel& channel)> lockedOut;
    // Something the operator should read once (channels left out).
    std::function<void(const std::string& text)> notice;
    // The phase or the channel changed.
    std::function<void()> changed;
    std::function<std::chrono::system_clock::time_point()> now;
};

// What one block gives the scan.
struct ScanBlock {
    const double* spectrumDb = nullptr;  // kSpectrumSize bins in natural order
    bool sqlBusy = false;                // the squelch is open
};

class Scanner {
public:
    static constexpr double kBinHz = double(dsp::kSampleRate) / dsp::kSpectrumSize;
    // Blocks the radio is given to acknowledge a retune before the scan
    // moves on (the link gives a command up after 0.55 s).
    static constexpr int kRetuneTimeoutBlocks = 40;
    // A band search holds at most this many frequencies (as a memory list).
    static constexpr std::size_t kMaxChannels = 65536;
    // Kept clear between a channel's pass band and the band's edges, where
    // the radio's own filters may already take the signal down.
    static constexpr int32_t kEdgeGuardHz = 1000;

    explicit Scanner(ScanHooks hooks);

    // A memory scan over `channels` (their lock-out marks taken as given) or
    // a band search. The text of a refusal, or empty when the scan runs.
    std::string Start(const ScanOptions& options, std::vector<ScanChannel> channels);
    // Ends the scan; a hit under way ends and is logged.
    void Stop();
    // Leaves the channel held now and goes on; it is passed over until it
    // has been seen quiet. While searching: goes on to the next band.
    void Skip();
    // As Skip, and the channel is never visited again by this scan (and by
    // no later one, for a memory channel whose mark the hook saves).
    void LockOut();

    // One block of the receiver, after the chain has processed it.
    void OnBlock(const ScanBlock& block);
    // The radio has acknowledged a frequency command for `center`.
    void RadioSettled(int32_t center);

    bool Running() const { return phase_ != ScanPhase::Idle; }
    ScanPhase Phase() const { return phase_; }
    const ScanOptions& Options() const { return options_; }
    const std::vector<ScanChannel>& Channels() const { return channels_; }
    // The channel held, probed or last tuned to (-1: none).
    int Current() const { return current_; }
    // Blocks seen since the scan started.
    int64_t BlockIndex() const { return block_; }
    // The noise floor of the last checked block (SpectrumDb units: 20 ln of
    // a bin's magnitude) and a channel's level above it in dB.
    double FloorUnits() const { return floorUnits_; }
    double LevelDb(int channel) const;

    // The pass band a mode's IF width takes around a channel's frequency:
    // below and above it, in Hz (LSB below, USB above, the others around it).
    static void PassBandOf(dsp::Mode mode, int32_t& lo, int32_t& hi);

private:
    struct InBand {
        int channel = 0;
        int first = 0;  // band-ordered bins (0: the band's lower edge), inclusive
        int last = 0;
    };

    void Analyse(const double* spectrumDb);
    double LevelOf(int first, int last) const;
    void FindInBand();
    bool Judged(const ScanChannel& c) const;  // by the squelch
    void Search(const ScanBlock& block);
    void Hold(const ScanBlock& block);
    bool Active(const ScanBlock& block, double* levelDb);
    void BeginHit(int channel, double levelDb);
    void EndHit();
    void NextBand();
    int64_t CenterFor(int channel) const;  // the radio's centre that takes it in
    void RetuneUnacknowledged();
    bool BandUnconfirmed();
    void Tune(int channel);
    void SetPhase(ScanPhase phase);

    ScanHooks hooks_;
    ScanOptions options_;
    std::vector<ScanChannel> channels_;
    std::vector<InBand> inBand_;
    std::vector<char> inBandMark_;  // per channel: inside the band now
    std::vector<char> quietSince_;  // per channel: seen quiet since it was skipped
    ScanPhase phase_ = ScanPhase::Idle;
    int current_ = -1;
    InBand held_;
    int64_t block_ = 0;
    int32_t bandCenter_ = 0;  // the centre inBand_ was found for
    bool bandKnown_ = false;  // inBand_ is valid for bandCenter_
    int roundStart_ = 0;      // where the next in-band check starts, round robin
    int probeNext_ = 0;       // the next in-band entry to probe by the squelch
    int nextOutside_ = 0;     // where the search for the next band starts
    int32_t awaitedCenter_ = 0;
    int waitBlocks_ = 0;
    bool outsideNoticeGiven_ = false;
    // FreqCenter names a band the radio never acknowledged (unconfirmedCenter_).
    bool unconfirmed_ = false;
    int32_t unconfirmedCenter_ = 0;
    bool unacknowledgedNoticeGiven_ = false;
    int64_t hangBlocks_ = 40;
    int64_t hitStart_ = 0;
    int64_t lastActive_ = 0;
    bool recording_ = false;
    ScanHit hit_;

    // Per block: the bins' power in frequency order (lowest first) summed
    // from the band's lower edge, and a copy of the bins for the median.
    std::array<double, dsp::kSpectrumSize + 1> cumulative_{};
    std::array<double, dsp::kSpectrumSize> sorted_{};
    double floorUnits_ = 0.0;
    double floorPower_ = 1.0;
};

// "AM", "FM", ...; "?" for a code no button gives.
const char* ScanModeName(dsp::Mode mode);

}  // namespace core
