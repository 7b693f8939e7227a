#include "audio/SoundPlayer.h"

#include <RtAudio.h>

#include <algorithm>
#include <cstring>
#include <fstream>

namespace audio {

namespace {

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

RtAudio::Api ToRtApi(AudioApi api)
{
    switch (ResolveAudioApi(api)) {
    case AudioApi::Jack: return RtAudio::UNIX_JACK;
    case AudioApi::Pulse: return RtAudio::LINUX_PULSE;
    case AudioApi::Alsa: return RtAudio::LINUX_ALSA;
    case AudioApi::Automatic: break;
    }
    return RtAudio::UNSPECIFIED;
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

SoundPlayer::SoundPlayer(AudioApi api)
    : api_(api)
{}

SoundPlayer::~SoundPlayer() { Stop(); }

void SoundPlayer::Stop()
{
    if (!rt_)
        return;
    try {
        if (rt_->isStreamRunning())
            rt_->abortStream();
        if (rt_->isStreamOpen())
            rt_->closeStream();
    } catch (const std::exception&) {
    }
    rt_.reset();
}

bool SoundPlayer::Playing() const
{
    return rt_ && rt_->isStreamRunning() && position_.load() < sound_.samples.size();
}

bool SoundPlayer::Play(const std::string& path)
{
    WavSound sound;
    if (!ReadWavSound(path, sound))
        return false;
    Stop();
    sound_ = std::move(sound);
    position_ = 0;
    try {
        rt_ = std::make_unique<RtAudio>(ToRtApi(api_));
        rt_->showWarnings(false);
        if (rt_->getDeviceCount() == 0) {
            rt_.reset();
            return false;
        }
        RtAudio::StreamParameters params;
        params.deviceId = rt_->getDefaultOutputDevice();
        params.nChannels = sound_.channels;
        RtAudio::StreamOptions options;
        options.streamName = kSoundsStreamName;
        unsigned frames = 512;
        rt_->openStream(&params, nullptr, RTAUDIO_SINT16, sound_.rate, &frames,
                        &SoundPlayer::Callback, this, &options);
        rt_->startStream();
    } catch (const std::exception&) {
        rt_.reset();
        return false;
    }
    return true;
}

int SoundPlayer::Callback(void* out, void*, unsigned frames, double, unsigned, void* self)
{
    auto* p = static_cast<SoundPlayer*>(self);
    const size_t wanted = static_cast<size_t>(frames) * p->sound_.channels;
    const size_t at = p->position_.load(std::memory_order_relaxed);
    const size_t n =
        std::min(wanted, p->sound_.samples.size() - std::min(at, p->sound_.samples.size()));
    auto* dst = static_cast<int16_t*>(out);
    if (n > 0)
        std::memcpy(dst, p->sound_.samples.data() + at, n * sizeof(int16_t));
    std::memset(dst + n, 0, (wanted - n) * sizeof(int16_t));
    p->position_.store(at + n, std::memory_order_relaxed);
    // 1: drain what was handed over and stop.
    return at + n >= p->sound_.samples.size() ? 1 : 0;
}

}  // namespace audio
