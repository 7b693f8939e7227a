#include "audio/AudioApi.h"

#include "audio/JackClient.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace audio {

bool JackServerRunning() { return jack::ServerRunning(); }

namespace {

bool SocketAccepts(const std::string& path)
{
    sockaddr_un addr{};
    if (path.empty() || path.size() >= sizeof(addr.sun_path))
        return false;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) == 0;
    ::close(fd);
    return ok;
}

}  // namespace

bool SoundServerRunning()
{
    if (const char* server = std::getenv("PULSE_SERVER"); server && *server)
        return true;
    std::string runtime;
    if (const char* dir = std::getenv("XDG_RUNTIME_DIR"); dir && *dir)
        runtime = dir;
    else
        runtime = "/run/user/" + std::to_string(::getuid());
    return SocketAccepts(runtime + "/pulse/native");
}

AudioApi ResolveAudioApi(AudioApi api)
{
    if (api != AudioApi::Automatic)
        return api;
    if (JackServerRunning())
        return AudioApi::Jack;
    if (SoundServerRunning())
        return AudioApi::Pulse;
    return AudioApi::Alsa;
}

bool IsOwnStream(const std::string& deviceName)
{
    for (const char* own : {kCaptureStreamName, kPlaybackStreamName, kSoundsStreamName})
        if (deviceName.rfind(own, 0) == 0)
            return true;
    return false;
}

std::string AudioApiName(AudioApi api)
{
    switch (api) {
    case AudioApi::Automatic: return "automatic";
    case AudioApi::Jack: return "JACK";
    case AudioApi::Pulse: return "PulseAudio";
    case AudioApi::Alsa: return "ALSA";
    }
    return "?";
}

}  // namespace audio
