#pragma once

// The program's command line:
//   tesmar [--remote[=PORT]]
// --remote turns remote control over the network on for this run, on PORT
// (4532 when not given); the settings file keeps its own choice.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace core {

struct CommandLine {
    std::optional<int32_t> remotePort;
    bool help = false;
    QString helpText;
    QString error;  // empty when the line could be read
};

// arguments: as QCoreApplication::arguments() gives them, the program first.
CommandLine ParseCommandLine(const QStringList& arguments);

}  // namespace core
