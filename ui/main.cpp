// Tesmar: the application entry. Creates the windows in their order, the
// main window first (its construction loads the settings and opens the sound
// devices), then remote control beside the main window's receiver, the
// settings dialog fourth (its construction opens the serial port and brings
// the radio up), and runs the event loop until the main window closes.
// tesmar --help lists the command line.

#include "core/CommandLine.h"
#include "core/RemoteControl.h"
#include "core/TerminationSignals.h"
#include "core/UdpAudio.h"
#include "ui/MainWindow.h"
#include "ui/windows/AfFilterWindow.h"
#include "ui/windows/DeviceRestartNotice.h"
#include "ui/windows/IfFilterWindow.h"
#include "ui/windows/KeypadWindow.h"
#include "ui/windows/MemoryEditDialog.h"
#include "ui/windows/MemoryListWindow.h"
#include "ui/windows/ScanWindow.h"
#include "ui/windows/SettingsDialog.h"
#include "ui/windows/SpectrumWindow.h"
#include "ui/windows/VersionWindow.h"
#include "ui/windows/WaveRecorderWindow.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <thread>

namespace {

constexpr std::chrono::milliseconds kTerminationDeadline{4000};
// What the program may take to release its devices once everything is
// saved: closing the three JACK clients takes some 0.3 s at 50 ms periods.
constexpr std::chrono::milliseconds kReleasePatience{400};

// Off unless asked for (QT_LOGGING_RULES="tesmar.startup.info=true"): the
// moments of the start and the exit, on standard error, for whoever measures
// them from outside the process.
Q_LOGGING_CATEGORY(lcStartup, "tesmar.startup", QtWarningMsg)

// Says once when the main window is painted for the first time.
class FirstPaintLog final : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            qCInfo(lcStartup, "main window painted");
        }
        return false;
    }
};

// An install that lost one of them still runs (without meter face, sounds or
// demo band), but says what it misses.
void ReportMissingProgramFiles(const QString& programFolder)
{
    for (const char* name : {"Meter.bmp", "beep1.wav", "beep2.wav", "beep3.wav", "RawData.dat"}) {
        if (!QFileInfo(QDir(programFolder).filePath(name)).isFile())
            std::fprintf(stderr, "tesmar: %s is missing from %s\n", name,
                         qPrintable(programFolder));
    }
}

// --remote for this run, or else the settings file's choice; what fails is
// told in the main window's error box.
void StartRemoteControl(core::RemoteControl& remote, ui::MainWindow& mainWindow,
                        const core::CommandLine& commandLine)
{
    QObject::connect(&remote, &core::RemoteControl::Failed, &mainWindow,
                     [&mainWindow](const QString& m) { mainWindow.ShowErrorBox(m, true); });
    if (commandLine.remotePort)
        remote.UseForThisRun(*commandLine.remotePort);
    else
        remote.ApplyStored();
}

// Everything is saved once the event loop has ended: the settings, the
// memory list, the scan log, the recordings. What is left (closing the sound
// devices and the radio, ending the workers) the system also does when the
// process ends, and a server that stopped answering holds the devices' closes
// for as long as it stays stopped; a busy one takes a few of its periods per
// client. So the rest gets a short while.
void EndWithinPatience(int status)
{
    std::thread([status] {
        std::this_thread::sleep_for(kReleasePatience);
        std::fputs("tesmar: the devices are slow to close; ending without them\n", stderr);
        std::_Exit(status);
    }).detach();
}

// The application's names and icon; gives the folder of the program's
// read-only files.
QString SetUpApplication()
{
    // The per-user data folder (used when the program's own folder is not
    // writable) is named after the application.
    QApplication::setApplicationName("Tesmar");
    QApplication::setApplicationDisplayName("Tesmar");
    // The menu entry's name, by which a desktop finds the window's icon.
    QApplication::setDesktopFileName("org.tesmar.Tesmar");

    // Our icon, drawn at build time beside the program (or installed with
    // the program's other read-only files).
    const QString programFolder =
        QString::fromStdString(core::ReceiverPaths::ForApplication().programDirectory.string());
    QApplication::setWindowIcon(QIcon(QDir(programFolder).filePath("Icon.png")));
    ReportMissingProgramFiles(programFolder);
    return programFolder;
}

// The windows in their order, the event loop until the main window closes.
int RunReceiver(QApplication& app, const core::CommandLine& commandLine,
                const QString& programFolder)
{
    // A desktop session ending, a service stop or Ctrl+C closes the window as
    // its close button does (settings saved, files closed), but nothing waits
    // for the operator; should anything still hold the program up, it ends
    // itself before the SIGKILL that usually follows 5 s later. Set up first,
    // so that it watches the windows' and the devices' ends too.
    core::TerminationSignals termination(nullptr, kTerminationDeadline);
    ui::MainWindow mainWindow;
    // Before the settings dialog is built: it shows what runs. Declared after
    // the main window, so that it ends before the receiver it serves.
    core::RemoteControl remote(mainWindow.Receiver());
    StartRemoteControl(remote, mainWindow, commandLine);
    // --udp for this run over the settings file's choice, before the settings
    // dialog shows what runs.
    if (commandLine.udp)
        mainWindow.Receiver().Udp().UseForThisRun(commandLine.udp->host, commandLine.udp->port);
    QObject::connect(&termination, &core::TerminationSignals::TerminationRequested, &mainWindow,
                     [&mainWindow](int) { mainWindow.CloseForTermination(); });
    ui::SpectrumWindow spectrum(mainWindow.Receiver());
    ui::IfFilterWindow ifFilter(mainWindow.Receiver());
    ui::SettingsDialog settings(mainWindow.Receiver(), remote, &mainWindow);
    ui::DeviceRestartNotice deviceRestartNotice(&settings);
    ui::KeypadWindow keypad;
    ui::MemoryListWindow memoryList(mainWindow.Receiver());
    ui::MemoryEditDialog memoryEdit(mainWindow.Receiver());
    memoryList.SetEditDialog(&memoryEdit);
    ui::ScanWindow scan(mainWindow.Receiver());
    memoryList.SetScanWindow(&scan);
    ui::AfFilterWindow afFilter(mainWindow.Receiver());
    ui::WaveRecorderWindow waveRecorder(mainWindow.Receiver());
    ui::VersionWindow version(programFolder, &mainWindow);
    mainWindow.SetSecondaryWindows({&spectrum, &ifFilter, &settings, &deviceRestartNotice, &keypad,
                                    &memoryList, &afFilter, &waveRecorder, &version});

    FirstPaintLog firstPaint;
    mainWindow.installEventFilter(&firstPaint);
    qCInfo(lcStartup, "windows built");
    mainWindow.show();
    // The receiver runs once the event loop does.
    if (commandLine.scan) {
        QTimer::singleShot(0, &scan, [&scan] {
            scan.show();
            scan.StartMemoryScan();
        });
    }
    const int status = app.exec();
    qCInfo(lcStartup, "event loop left");
    EndWithinPatience(status);
    return status;
}

}  // namespace

int main(int argc, char* argv[])
{
    // Read first: --help, --version and a refused line need no display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const core::CommandLine commandLine = core::ParseCommandLine(arguments);
    if (!commandLine.error.isEmpty()) {
        std::fprintf(stderr, "tesmar: %s\n", qPrintable(commandLine.error));
        return 2;
    }
    if (commandLine.help || commandLine.version) {
        std::fputs(qPrintable(commandLine.help ? commandLine.helpText : commandLine.versionText),
                   stdout);
        return EXIT_SUCCESS;
    }

    QApplication app(argc, argv);
    const QString programFolder = SetUpApplication();
    try {
        return RunReceiver(app, commandLine, programFolder);
    } catch (const std::exception& e) {
        // Shown like any other error, but the exit status says the program
        // did not end as it should.
        QMessageBox::critical(nullptr, "Tesmar", QString::fromLocal8Bit(e.what()));
        return EXIT_FAILURE;
    }
}
