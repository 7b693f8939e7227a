#pragma once

#include <string>

namespace audio {

// Which sound system the engine talks to. Automatic picks JACK when a JACK
// server runs, else PulseAudio when a sound server answers, else ALSA.
enum class AudioApi { Automatic, Jack, Pulse, Alsa };

// A JACK server accepts clients (the one JACK_DEFAULT_SERVER names, if set).
// Never starts a server.
bool JackServerRunning();
// A PulseAudio-compatible server (PulseAudio itself or PipeWire's) is
// reachable: PULSE_SERVER names one, or the per-user socket accepts.
bool SoundServerRunning();
// Resolves Automatic by probing; any other value is returned unchanged.
AudioApi ResolveAudioApi(AudioApi api);
std::string AudioApiName(AudioApi api);

}  // namespace audio
