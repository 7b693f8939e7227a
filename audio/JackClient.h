#pragma once

// Our own small JACK back end, straight on libjack. RtAudio's closes a stream
// whose server went away on a detached thread of its own, which raced our
// calls (a crash while the main thread listed devices) and could still sit in
// libjack when the process ended (an exit that never came). Here the server's
// shutdown notice only raises a flag; the stream's owner sees it and closes
// the client on its own thread, under LockSoundSystem like every other call.

#include "audio/DeviceStream.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace audio::jack {

// A JACK server accepts clients (the one JACK_DEFAULT_SERVER names, if set).
// Never starts a server.
bool ServerRunning();

// A device is a client with audio ports, listed in the order the server
// reports its ports, as RtAudio lists them: capture channels are the
// client's output ports, playback channels its input ports.
struct Device {
    std::string name;
    unsigned captureChannels = 0;
    unsigned playbackChannels = 0;
};
std::vector<Device> Devices();

// Opens a stream (a client named after request.name with ports "inport N" or
// "outport N") on the number-th device of the direction; 0 is the first.
std::unique_ptr<DeviceStream> OpenStream(const StreamRequest& request);

// The connections of one of our streams' ports, by port name.
using Wiring = std::vector<std::pair<std::string, std::vector<std::string>>>;
Wiring SaveWiring(const char* clientName);
// Gives each port exactly the connections saved for it; peers that have gone
// meanwhile are left out.
void RestoreWiring(const Wiring& wiring);

}  // namespace audio::jack
