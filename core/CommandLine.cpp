#include "core/CommandLine.h"

#include "core/BuildInfo.h"
#include "core/RemoteControl.h"

#include <QCommandLineParser>

namespace core {

namespace {

// Written out rather than taken from the parser, whose text needs the
// application object (and a display with it).
QString HelpText()
{
    return QStringLiteral(
               "Usage: tesmar [options]\n"
               "Tesmar, an analog SDR receiver.\n"
               "\n"
               "Options:\n"
               "  --remote [<port>]  Remote control for logging and digital-mode programs\n"
               "                     (Hamlib NET rigctl) on <port> of this computer, default\n"
               "                     %1, for this run; also --remote=<port>.\n"
               "  --udp [<host>:]<port>\n"
               "                     Send the audio to decoders over UDP (48 kHz, 16-bit\n"
               "                     little-endian, mono) to <port> of <host>, default\n"
               "                     %2, for this run.\n"
               "  --scan             Open the Scan window and scan the memory channels.\n"
               "  -h, --help         Show this help and exit.\n"
               "  --version          Show the version and exit.\n")
        .arg(kRemoteDefaultPort)
        .arg(QString::fromLatin1(remote::kAudioDefaultHost));
}

QString VersionText()
{
    QString text =
        QStringLiteral("tesmar %1 (build %2")
            .arg(QString::fromUtf8(kTesmarVersion), QString::fromUtf8(kTesmarBuildNumber));
    if (*kTesmarRevision)
        text += QStringLiteral(", %1").arg(QString::fromUtf8(kTesmarRevision));
    return text + QStringLiteral(")\n");
}

bool IsRemote(const QString& arg)
{
    return arg == QLatin1String("--remote") || arg == QLatin1String("-remote");
}

}  // namespace

CommandLine ParseCommandLine(const QStringList& arguments)
{
    QCommandLineParser parser;
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("help"));
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("version"));
    const QCommandLineOption remote(QStringLiteral("remote"), QStringLiteral("remote"),
                                    QStringLiteral("port"));
    parser.addOption(help);
    parser.addOption(version);
    const QCommandLineOption scan(QStringLiteral("scan"), QStringLiteral("scan"));
    const QCommandLineOption udp(QStringLiteral("udp"), QStringLiteral("udp"),
                                 QStringLiteral("destination"));
    parser.addOption(remote);
    parser.addOption(scan);
    parser.addOption(udp);

    // The parser knows no option whose value may be left out: "--remote"
    // takes the next word as its port when that is no option (the program
    // takes no other words), and the default port otherwise.
    QStringList args;
    for (int i = 0; i < arguments.size(); ++i) {
        if (i == 0 || !IsRemote(arguments[i])) {
            args << arguments[i];
        } else if (i + 1 < arguments.size() && !arguments[i + 1].startsWith(QLatin1Char('-'))) {
            args << QStringLiteral("--remote=%1").arg(arguments[++i]);
        } else {
            args << QStringLiteral("--remote=%1").arg(kRemoteDefaultPort);
        }
    }

    CommandLine line;
    line.helpText = HelpText();
    line.versionText = VersionText();
    if (!parser.parse(args)) {
        line.error = parser.errorText();
        return line;
    }
    line.help = parser.isSet(help);
    line.version = parser.isSet(version);
    line.scan = parser.isSet(scan);
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
    if (parser.isSet(udp)) {
        std::string problem;
        line.udp = remote::ParseAudioDestination(parser.value(udp).toStdString(), &problem);
        if (!line.udp) {
            line.error = QStringLiteral("--udp: %1.").arg(QString::fromStdString(problem));
            return line;
        }
    }
    return line;
}

}  // namespace core
