#pragma once

// The program's command line:
//   tesmar [--remote [PORT]] [--udp [HOST:]PORT] [--scan] [--help] [--version]
// --remote turns remote control over the network on for this run, on PORT
// (4532 when not given); --udp sends the audio to decoders over UDP for this
// run, to PORT of HOST (this computer when not given); the settings file
// keeps its own choices. --scan opens
// the "Scan" window and starts a memory scan once the receiver runs. Read before
// the application object exists, so that --help and --version answer without
// a display.

#include "remote/AudioDatagrams.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace core {

struct CommandLine {
    std::optional<int32_t> remotePort;
    std::optional<remote::AudioDestination> udp;
    bool scan = false;
    bool help = false;
    bool version = false;
    QString helpText;
    QString versionText;
    QString error;  // empty when the line could be read
};

// arguments: as the program was given them, the program first.
CommandLine ParseCommandLine(const QStringList& arguments);

}  // namespace core
