#include "core/CommandLine.h"

#include "core/RemoteControl.h"

#include <QCommandLineParser>

namespace core {

CommandLine ParseCommandLine(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Tesmar, an analog SDR receiver"));
    parser.addHelpOption();
    const QCommandLineOption remote(
        QStringLiteral("remote"),
        QStringLiteral("Remote control for logging and digital-mode programs (Hamlib NET rigctl) "
                       "on <port> of this computer, default %1, for this run.")
            .arg(kRemoteDefaultPort),
        QStringLiteral("port"));
    parser.addOption(remote);

    // The parser knows no option whose value may be left out: a bare
    // "--remote" is given the default port before it reads the line.
    QStringList args = arguments;
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--remote") || args[i] == QLatin1String("-remote"))
            args[i] = QStringLiteral("--remote=%1").arg(kRemoteDefaultPort);
    }

    CommandLine line;
    line.helpText = parser.helpText();
    if (!parser.parse(args)) {
        line.error = parser.errorText();
        return line;
    }
    line.help = parser.isSet(QStringLiteral("help"));
    if (!parser.positionalArguments().isEmpty()) {
        line.error =
            QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments()[0]);
        return line;
    }
    if (parser.isSet(remote)) {
        bool number = false;
        const QString value = parser.value(remote);
        const int port = value.toInt(&number);
        if (!number || port < 1 || port > 65535) {
            line.error = QStringLiteral("--remote: '%1' is not a port (1 to 65535).").arg(value);
            return line;
        }
        line.remotePort = port;
    }
    return line;
}

}  // namespace core
