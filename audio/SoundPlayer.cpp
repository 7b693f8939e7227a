#include "audio/SoundPlayer.h"

#include "audio/DeviceStream.h"

#include <QLoggingCategory>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace audio {

namespace {

Q_LOGGING_CATEGORY(lcSounds, "tesmar.audio.sounds")

uint32_t Le32(const char* p)
{
    return static_cast<uint32_t>(static_cast<uint8_t>(p[0])) |
           static_cast<uint32_t>(static_cast<uint8_t>(p[1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(p[2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(p[3])) << 24;
}

uint16_t Le16(const char* p)
{
    return static_cast<uint16_t>(static_cast<uint8_t>(p[0]) | static_cast<uint8_t>(p[1]) << 8);
}

// A sound is a notification, not a recording: anything longer is cut.
constexpr uint32_t kMaxDataBytes = 10u * 48000u * 2u * 2u;

}  // namespace

bool ReadWavSound(const std::string& path, WavSound& out)
{
    std::ifstream f(path, std::ios::binary);
    char head[12];
    if (!f.read(head, 12) || std::memcmp(head, "RIFF", 4) != 0 ||
        std::memcmp(head + 8, "WAVE", 4) != 0)
        return false;
    bool haveFormat = false;
    char chunk[8];
    while (f.read(chunk, 8)) {
        const uint32_t size = Le32(chunk + 4);
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            char fmt[16];
            if (size < 16 || !f.read(fmt, 16))
                return false;
            const uint16_t format = Le16(fmt);
            out.channels = Le16(fmt + 2);
            out.rate = Le32(fmt + 4);
            const uint16_t bits = Le16(fmt + 14);
            if (format != 1 || bits != 16 || out.channels < 1 || out.channels > 2 ||
                out.rate < 8000 || out.rate > 192000)
                return false;
            haveFormat = true;
            f.seekg(size - 16 + (size & 1), std::ios::cur);
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat)
                return false;
            const uint32_t bytes = std::min(size, kMaxDataBytes) & ~3u;
            out.samples.resize(bytes / 2);
            f.read(reinterpret_cast<char*>(out.samples.data()), bytes);
            out.samples.resize(static_cast<size_t>(f.gcount()) / 2);
            for (int16_t& s : out.samples) {  // the file is little-endian
                const auto* b = reinterpret_cast<const uint8_t*>(&s);
                s = static_cast<int16_t>(b[0] | b[1] << 8);
            }
            return !out.samples.empty();
        } else {
            f.seekg(size + (size & 1), std::ios::cur);
        }
    }
    return false;
}

struct SoundPlayer::Sound {
    std::string path;
    std::uintmax_t size = 0;
    std::filesystem::file_time_type time{};
    std::vector<int16_t> samples;  // kChannels interleaved at kRate
};

namespace {

// The stream's format, by linear interpolation: sounds are short clicks,
// and their rate is whatever the files have.
std::vector<int16_t> ToStreamFormat(const WavSound& w)
{
    const std::size_t frames = w.samples.size() / w.channels;
    const std::size_t out = frames * SoundPlayer::kRate / w.rate;
    std::vector<int16_t> samples(out * SoundPlayer::kChannels);
    for (std::size_t i = 0; i < out; ++i) {
        const double at = double(i) * w.rate / SoundPlayer::kRate;
        const auto j = std::size_t(at);
        const double frac = at - double(j);
        for (unsigned c = 0; c < SoundPlayer::kChannels; ++c) {
            const unsigned from = std::min(c, w.channels - 1);
            const double a = w.samples[j * w.channels + from];
            const double b = j + 1 < frames ? w.samples[(j + 1) * w.channels + from] : a;
            samples[i * SoundPlayer::kChannels + c] = int16_t(std::lrint(a + (b - a) * frac));
        }
    }
    return samples;
}

}  // namespace

SoundPlayer::SoundPlayer(AudioApi api)
    : api_(api)
    , silence_(std::make_unique<Sound>())
{}

SoundPlayer::~SoundPlayer()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    if (worker_.joinable())
        worker_.join();
}

void SoundPlayer::Open()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (!started_) {
        started_ = true;
        worker_ = std::thread([this] { Run(); });
    }
}

void SoundPlayer::Reopen()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        reopen_ = true;
    }
    wake_.notify_all();
    Open();
}

bool SoundPlayer::Play(const std::string& path)
{
    Open();
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec)
        return false;
    const std::filesystem::file_time_type time = std::filesystem::last_write_time(path, ec);
    if (ec)
        return false;
    const Sound* sound = nullptr;
    for (const auto& s : sounds_)
        if (s->path == path && s->size == size && s->time == time)
            sound = s.get();
    if (!sound) {
        WavSound wav;
        if (!ReadWavSound(path, wav))
            return false;
        auto loaded = std::make_unique<Sound>();
        loaded->path = path;
        loaded->size = size;
        loaded->time = time;
        loaded->samples = ToStreamFormat(wav);
        sounds_.push_back(std::move(loaded));
        sound = sounds_.back().get();
    }
    if (sound->samples.empty() || !StreamOpen())
        return false;
    pending_.store(sound, std::memory_order_release);
    return true;
}

void SoundPlayer::Stop() { pending_.store(silence_.get(), std::memory_order_release); }

bool SoundPlayer::Playing() const
{
    const Sound* pending = pending_.load(std::memory_order_acquire);
    return StreamOpen() &&
           ((pending && pending != silence_.get()) || playing_.load(std::memory_order_acquire));
}

void SoundPlayer::Run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    uint64_t beatsSeen = 0;
    bool watched = false;
    while (!quit_) {
        if (reopen_) {
            reopen_ = false;
            lock.unlock();
            CloseStream(false);
            lock.lock();
        }
        if (!stream_) {
            lock.unlock();
            OpenStream();
            lock.lock();
            watched = false;
        } else {
            // A stream whose device has stopped calling back for a whole
            // interval, or whose JACK server said it goes, has lost its
            // device or server: open it anew.
            const uint64_t beats = beats_.load(std::memory_order_acquire);
            if ((watched && beats == beatsSeen) || stream_->ServerGone()) {
                lock.unlock();
                CloseStream(true);
                OpenStream();
                lock.lock();
                watched = false;
            } else {
                beatsSeen = beats;
                watched = true;
            }
        }
        wake_.wait_for(lock, std::chrono::milliseconds(kRetryMs),
                       [this] { return quit_ || reopen_; });
    }
    lock.unlock();
    CloseStream(false);
}

void SoundPlayer::OpenStream()
{
    // A request made while no stream was open is not played late.
    pending_.store(nullptr, std::memory_order_relaxed);
    current_ = nullptr;
    StreamRequest request;
    request.api = ResolveAudioApi(lostApi_ != AudioApi::Automatic ? lostApi_ : api_);
    request.input = false;
    request.number = 0;  // the default output
    request.channels = kChannels;
    request.rate = kRate;
    request.frames = 512;
    request.name = kSoundsStreamName;
    request.callback = &SoundPlayer::Callback;
    request.user = this;
    std::unique_ptr<DeviceStream> stream = OpenDeviceStream(request);
    if (!stream || !stream->Start()) {
        // Said once a spell: the attempts go on quietly every kRetryMs.
        if (!failureTold_)
            qCWarning(lcSounds, "No output for the keypad's sounds (%s); trying again every %d s",
                      AudioApiName(request.api).c_str(), kRetryMs / 1000);
        failureTold_ = true;
        return;
    }
    if (failureTold_)
        qCInfo(lcSounds, "The keypad's sounds have their output (%s) again",
               AudioApiName(request.api).c_str());
    failureTold_ = false;
    lostApi_ = AudioApi::Automatic;
    streamApi_ = request.api;
    stream_ = std::move(stream);
    opens_.fetch_add(1, std::memory_order_release);
    open_.store(true, std::memory_order_release);
}

void SoundPlayer::CloseStream(bool lost)
{
    open_.store(false, std::memory_order_release);
    // A device changed by hand may live in another sound system; a lost one
    // comes back in its own.
    lostApi_ = lost && stream_ ? streamApi_ : AudioApi::Automatic;
    if (!stream_)
        return;
    stream_->Close();
    stream_.reset();
    playing_.store(false, std::memory_order_release);
}

// Device thread: copies and nothing else.
int SoundPlayer::Callback(void* out, void*, unsigned frames, double, unsigned, void* self)
{
    auto* p = static_cast<SoundPlayer*>(self);
    const Heartbeat beat(p->beats_);
    if (const Sound* next = p->pending_.exchange(nullptr, std::memory_order_acq_rel)) {
        p->current_ = next->samples.empty() ? nullptr : next;
        p->position_ = 0;
    }
    auto* dst = static_cast<int16_t*>(out);
    const std::size_t wanted = std::size_t(frames) * kChannels;
    std::size_t n = 0;
    if (p->current_) {
        const std::vector<int16_t>& samples = p->current_->samples;
        n = std::min(wanted, samples.size() - p->position_);
        std::memcpy(dst, samples.data() + p->position_, n * sizeof(int16_t));
        p->position_ += n;
        if (p->position_ >= samples.size())
            p->current_ = nullptr;
    }
    std::memset(dst + n, 0, (wanted - n) * sizeof(int16_t));
    p->playing_.store(p->current_ != nullptr, std::memory_order_release);
    return 0;
}

}  // namespace audio
