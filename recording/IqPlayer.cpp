#include "recording/IqPlayer.h"

#include <soxr.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <ctime>
#include <numbers>
#include <numeric>

namespace recording {

namespace {

// The time of day a Unix time shows in local time, in blocks.
int32_t LocalBlockCount(int64_t unixMs)
{
    const std::time_t seconds = static_cast<std::time_t>(unixMs / 1000);
    std::tm local{};
    if (!localtime_r(&seconds, &local))
        return 0;
    return (local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec) * kBlocksPerSecond;
}

}  // namespace

IqPlayer::IqPlayer()
    : rawPlayer_(std::make_unique<RawPlayer>())
{}

IqPlayer::~IqPlayer() { Close(); }

bool IqPlayer::IsOpen() const { return raw_ ? rawPlayer_->IsOpen() : open_; }

bool IqPlayer::ReadFailed() const { return raw_ ? rawPlayer_->ReadFailed() : reader_.ReadFailed(); }

const std::string& IqPlayer::LastError() const
{
    if (raw_)
        return rawPlayer_->LastError();
    return lastError_.empty() ? reader_.LastError() : lastError_;
}

std::optional<int64_t> IqPlayer::StartUnixMs() const
{
    return raw_ ? std::nullopt : reader_.Layout().startUnixMs;
}

void IqPlayer::Close()
{
    rawPlayer_->Close();
    reader_.Close();
    if (soxr_)
        soxr_delete(soxr_);
    soxr_ = nullptr;
    open_ = false;
}

IqPlayer::OpenResult IqPlayer::Open(const std::filesystem::path& file)
{
    Close();
    raw_ = false;
    shift_ = 0;
    lastError_.clear();
    OpenResult result;
    const RawHeaderCheck check = rawPlayer_->Open(file);
    if (check.status != RawHeaderStatus::NotTesmar) {
        raw_ = true;
        result.status = check.status;
        if (check.message)
            result.message = check.message;
        return result;
    }
    switch (reader_.Open(file)) {
    case IqFileReader::OpenStatus::NotRecognised: result.message = check.message; return result;
    case IqFileReader::OpenStatus::Refused:
        result.status = RawHeaderStatus::WrongFormat;
        result.message = reader_.LastError();
        return result;
    case IqFileReader::OpenStatus::Opened: break;
    }

    const IqLayout& layout = reader_.Layout();
    freqCenter_ = layout.freqCenter.value_or(0);
    blockCount_ = layout.startUnixMs ? LocalBlockCount(*layout.startUnixMs) : 0;
    WriteTimeText(blockCount_, timeText_);
    resample_ = layout.sampleRate != kPlayRate;
    if (resample_) {
        const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
        const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
        soxr_error_t error = nullptr;
        soxr_ = soxr_create(layout.sampleRate, kPlayRate, 2, &error, &io, &quality, &runtime);
        if (!soxr_) {
            reader_.Close();
            result.status = RawHeaderStatus::WrongFormat;
            char rate[32];  // to_chars: a "." whatever the process locale
            char* rateEnd = std::to_chars(rate, rate + sizeof rate, layout.sampleRate).ptr;
            result.message = file.filename().string() + ": cannot resample from " +
                             std::string(rate, rateEnd) + " Hz: " + (error ? error : "");
            return result;
        }
    }
    in_.assign(2 * kChunkFrames, 0.0f);
    out_.assign(2 * kRawBlockFrames, 0.0f);
    inPos_ = inLen_ = have_ = 0;
    inputDone_ = false;
    discard_ = 0;
    silenceLeft_ = 0;
    if (resample_)
        WarmUp(layout.sampleRate);
    phasorRe_ = 1;
    phasorIm_ = 0;
    SetShift(0);
    open_ = true;
    result.status = RawHeaderStatus::Accepted;
    return result;
}

// The resampler grows its buffers during its first blocks. Silence played
// through it at open, the way Pump feeds it, grows them there, so that
// playing allocates nothing. The silence is a whole number of output frames
// long, and that many frames of output are dropped before the recording's.
void IqPlayer::WarmUp(double rate)
{
    if (rate != std::floor(rate) || rate > 1e9)
        return;
    const auto r = static_cast<uint64_t>(rate);
    const uint64_t g = std::gcd(r, uint64_t{kPlayRate});
    const uint64_t step = r / g;  // input frames that make whole output frames
    if (step > 5'000'000)
        return;
    // About eight blocks' worth of input.
    const uint64_t want = 8 * kRawBlockFrames * r / kPlayRate;
    const uint64_t frames = (want + step - 1) / step * step;
    silenceLeft_ = frames;
    discard_ = static_cast<std::size_t>(frames / step * (kPlayRate / g));
    while (discard_ > 0 && Gather()) {
    }
}

bool IqPlayer::SetShift(int64_t shift)
{
    if (raw_)
        return shift == 0;
    const double rate = reader_.Layout().sampleRate;
    // A recording narrower than the slice plays whole, centred in it; one
    // wider has the slice move within it.
    if (rate < kPlayRate
            ? shift != 0
            : std::fabs(static_cast<double>(shift)) + kPlayRate / 2.0 > rate / 2.0 + 0.5)
        return false;
    shift_ = shift;
    const double w = -2 * std::numbers::pi * static_cast<double>(shift) / rate;
    stepRe_ = std::cos(w);
    stepIm_ = std::sin(w);
    return true;
}

// Reads the next chunk of the file and mixes the slice's centre down to zero.
std::size_t IqPlayer::ReadChunk()
{
    if (silenceLeft_ > 0) {
        const auto n = static_cast<std::size_t>(std::min<uint64_t>(kChunkFrames, silenceLeft_));
        std::fill_n(in_.begin(), 2 * n, 0.0f);
        silenceLeft_ -= n;
        return n;
    }
    const std::size_t n = reader_.Read(in_.data(), kChunkFrames);
    if (shift_ != 0) {
        double pr = phasorRe_, pi = phasorIm_;
        float* p = in_.data();
        for (std::size_t k = 0; k < n; ++k) {
            const double i = p[2 * k], q = p[2 * k + 1];
            p[2 * k] = static_cast<float>(i * pr - q * pi);
            p[2 * k + 1] = static_cast<float>(i * pi + q * pr);
            const double r = pr * stepRe_ - pi * stepIm_;
            pi = pr * stepIm_ + pi * stepRe_;
            pr = r;
        }
        // Keeps the phasor on the unit circle over hours of recording.
        const double norm = 1.0 / std::sqrt(pr * pr + pi * pi);
        phasorRe_ = pr * norm;
        phasorIm_ = pi * norm;
    }
    return n;
}

IqPlayer::Step IqPlayer::FinishBlock(bool final)
{
    // Our frames hold a station f above the centre as (sin, cos) of its
    // phase, where other programs write (cos, sin), I first: the chain gets
    // Q first, so that stations keep their side of the centre.
    for (std::size_t i = 0; i < 2 * have_; i += 2) {
        frames_[i] = SampleFromFloat(out_[i + 1]);
        frames_[i + 1] = SampleFromFloat(out_[i]);
    }
    std::fill(frames_.begin() + static_cast<std::ptrdiff_t>(2 * have_), frames_.end(), int16_t{0});
    validFrames_ = static_cast<int>(have_);
    have_ = 0;
    if (final) {
        reader_.Close();
        open_ = false;
        return Step::FinalBlock;
    }
    return Step::Block;
}

// One step of gathering the block: reads a chunk when the last is used up,
// copies or resamples. False when the file has ended and nothing more comes.
bool IqPlayer::Gather()
{
    constexpr std::size_t kBlock = kRawBlockFrames;
    if (inPos_ == inLen_ && !inputDone_) {
        inPos_ = 0;
        inLen_ = ReadChunk();
        inputDone_ = inLen_ == 0;
    }
    if (!resample_) {
        if (inputDone_)
            return false;
        const std::size_t take = std::min(kBlock - have_, inLen_ - inPos_);
        std::copy_n(in_.data() + 2 * inPos_, 2 * take, out_.data() + 2 * have_);
        inPos_ += take;
        have_ += take;
        return true;
    }
    std::size_t used = 0, made = 0;
    // Once the file is read, a null input drains what the filter holds.
    soxr_process(soxr_, inputDone_ ? nullptr : in_.data() + 2 * inPos_, inLen_ - inPos_, &used,
                 out_.data() + 2 * have_, kBlock - have_, &made);
    inPos_ += used;
    if (inputDone_ && made == 0)
        return false;
    if (discard_ > 0) {
        // What is left of the warm-up's silence.
        const std::size_t drop = std::min(discard_, made);
        std::copy(out_.begin() + static_cast<std::ptrdiff_t>(2 * (have_ + drop)),
                  out_.begin() + static_cast<std::ptrdiff_t>(2 * (have_ + made)),
                  out_.begin() + static_cast<std::ptrdiff_t>(2 * have_));
        discard_ -= drop;
        made -= drop;
    }
    have_ += made;
    return true;
}

IqPlayer::Step IqPlayer::Pump()
{
    if (raw_)
        return rawPlayer_->Pump();
    if (!open_)
        return Step::Idle;
    WriteTimeText(blockCount_, timeText_);
    ++blockCount_;
    while (have_ < kRawBlockFrames)
        if (!Gather())
            return FinishBlock(true);
    // A file that ends exactly on a block's end still ends with a final block.
    return FinishBlock(false);
}

}  // namespace recording
