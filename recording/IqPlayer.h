#pragma once

#include "recording/IqReader.h"
#include "recording/RawIqFile.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct soxr;

namespace recording {

inline constexpr int kPlayRate = 48000;

// Plays any IQ recording we read as the chain's 48 kHz blocks of 2400 frames.
// Our own raw format goes through RawPlayer unchanged. Other recordings are
// read at their own rate; a complex mixer brings the 48 kHz slice to listen to
// down to zero, and a resampler brings the rate to 48 kHz (a narrower
// recording fills the middle of the band). Everything the
// block path uses is allocated by Open.
class IqPlayer {
public:
    using Step = RawPlayer::Step;

    struct OpenResult {
        RawHeaderStatus status = RawHeaderStatus::NotTesmar;
        std::string message;  // the text to show when refused
    };

    IqPlayer();
    ~IqPlayer();
    IqPlayer(const IqPlayer&) = delete;
    IqPlayer& operator=(const IqPlayer&) = delete;

    // Opens `file` with the slice centred on the recording's centre. When the
    // file cannot be opened or read, status is Unreadable, the message empty
    // and LastError() says why.
    OpenResult Open(const std::filesystem::path& file);
    // The next block, as RawPlayer::Pump.
    Step Pump();
    void Close();

    bool IsOpen() const;
    bool IsRaw() const { return raw_; }
    const int16_t* Frames() const { return raw_ ? rawPlayer_->Frames() : frames_.data(); }
    // Frames of the last block that came from the file (the rest of a final
    // block is padding).
    int ValidFrames() const { return raw_ ? rawPlayer_->ValidFrames() : validFrames_; }
    int32_t BlockCount() const { return raw_ ? rawPlayer_->BlockCount() : blockCount_; }
    const char* TimeText() const { return raw_ ? rawPlayer_->TimeText() : timeText_; }
    // The recording's own centre frequency (0 when it does not say).
    int64_t FreqCenter() const { return raw_ ? rawPlayer_->FreqCenter() : freqCenter_; }
    // The centre of the 48 kHz slice that plays.
    int64_t SliceCenter() const { return FreqCenter() + shift_; }
    int64_t Shift() const { return shift_; }
    double SampleRate() const { return raw_ ? kPlayRate : reader_.Layout().sampleRate; }
    std::optional<int64_t> StartUnixMs() const;
    // Moves the slice to `shift` Hz from the recording's centre. False (and
    // nothing changes) when the slice would leave the recording; a recording
    // narrower than 48 kHz plays whole at the slice's centre, so only 0 is
    // allowed there.
    bool SetShift(int64_t shift);
    bool ReadFailed() const;
    bool EndMarkerSeen() const { return raw_ && rawPlayer_->EndMarkerSeen(); }
    const std::string& LastError() const;

    static constexpr std::size_t kChunkFrames = 4096;

private:
    std::size_t ReadChunk();
    Step FinishBlock(bool final);
    void WarmUp(double rate);
    bool Gather();

    std::unique_ptr<RawPlayer> rawPlayer_;
    IqFileReader reader_;
    bool raw_ = false;
    bool open_ = false;
    bool resample_ = false;
    bool inputDone_ = false;
    int64_t freqCenter_ = 0;
    int64_t shift_ = 0;
    int32_t blockCount_ = 0;
    int validFrames_ = 0;
    char timeText_[kTimeTextSize] = "00:00:00";
    std::string lastError_;

    soxr* soxr_ = nullptr;
    // The mixer's oscillator: a phasor turned by step_ each frame.
    double phasorRe_ = 1, phasorIm_ = 0, stepRe_ = 1, stepIm_ = 0;

    std::vector<float> in_;  // one chunk of the file's frames, mixed
    std::size_t inPos_ = 0, inLen_ = 0;
    std::vector<float> out_;  // the block being gathered, 48 kHz
    std::size_t have_ = 0;
    std::size_t discard_ = 0;   // output frames of the warm-up still to drop
    uint64_t silenceLeft_ = 0;  // input frames of the warm-up still to feed
    alignas(16) std::array<int16_t, kRawBlockSamples> frames_{};
};

}  // namespace recording
