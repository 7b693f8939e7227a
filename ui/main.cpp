// Tesmar: the application entry. Creates the windows in their order, the
// main window first (its construction loads the settings and opens the sound
// devices), brings the radio up when a port is configured, and runs the
// event loop until the main window closes.

#include "core/TerminationSignals.h"
#include "ui/MainWindow.h"
#include "ui/windows/AfFilterWindow.h"
#include "ui/windows/DeviceRestartNotice.h"
#include "ui/windows/IfFilterWindow.h"
#include "ui/windows/KeypadWindow.h"
#include "ui/windows/MemoryEditDialog.h"
#include "ui/windows/MemoryListWindow.h"
#include "ui/windows/SettingsDialog.h"
#include "ui/windows/SpectrumWindow.h"
#include "ui/windows/VersionWindow.h"
#include "ui/windows/WaveRecorderWindow.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdlib>
#include <exception>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    // The per-user data folder (used when the program's own folder is not
    // writable) is named after the application.
    QApplication::setApplicationName("Tesmar");
    QApplication::setApplicationDisplayName("Tesmar");

    try {
        ui::MainWindow mainWindow;
        ui::SpectrumWindow spectrum(mainWindow.Receiver());
        ui::IfFilterWindow ifFilter(mainWindow.Receiver());
        ui::SettingsDialog settings(&mainWindow);
        ui::DeviceRestartNotice deviceRestartNotice(&settings);
        ui::KeypadWindow keypad;
        ui::MemoryListWindow memoryList(mainWindow.Receiver());
        ui::MemoryEditDialog memoryEdit(mainWindow.Receiver());
        memoryList.SetEditDialog(&memoryEdit);
        ui::AfFilterWindow afFilter(mainWindow.Receiver());
        ui::WaveRecorderWindow waveRecorder;
        ui::VersionWindow version;
        mainWindow.SetSecondaryWindows({&spectrum, &ifFilter, &settings, &deviceRestartNotice,
                                        &keypad, &memoryList, &afFilter, &waveRecorder});

        // The settings dialog's creation opens the configured serial port and
        // switches the radio on: after the sound devices, before the first block.
        mainWindow.Receiver().OpenRadio();

        // A desktop session ending or Ctrl+C closes the window as its close
        // button does: settings saved, files closed.
        core::TerminationSignals termination;
        QObject::connect(&termination, &core::TerminationSignals::TerminationRequested, &mainWindow,
                         [&mainWindow](int) { mainWindow.close(); });

        mainWindow.show();
        return app.exec();
    } catch (const std::exception& e) {
        // Shown like any other error, but the exit status says the program
        // did not end as it should.
        QMessageBox::critical(nullptr, "Tesmar", QString::fromLocal8Bit(e.what()));
        return EXIT_FAILURE;
    }
}
