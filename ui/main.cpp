// Tesmar: the application entry. Creates the windows in their order, the
// main window first (its construction loads the settings and opens the sound
// devices), brings the radio up when a port is configured, and runs the
// event loop until the main window closes.

#include "core/TerminationSignals.h"
#include "ui/Recoding.h"
#include "ui/windows/AfFilterWindow.h"
#include "ui/windows/DeviceNotice.h"
#include "ui/windows/IfFilterWindow.h"
#include "ui/windows/Keypad.h"
#include "ui/windows/MemoryEditWindow.h"
#include "ui/windows/MemoryListWindow.h"
#include "ui/windows/SettingsWindow.h"
#include "ui/windows/SpectrumWindow.h"
#include "ui/windows/VersionWindow.h"
#include "ui/windows/WaveRecoderWindow.h"

#include <QApplication>
#include <QMessageBox>

#include <exception>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    // The per-user data folder (used when the program's own folder is not
    // writable) is named after the application.
    QApplication::setApplicationName("Tesmar");
    QApplication::setApplicationDisplayName("Tesmar");

    try {
        ui::TForm1 form1;
        ui::TForm2 form2;
        ui::TForm3 form3;
        ui::TForm9 form9;
        ui::TForm10 form10(&form9);
        ui::TForm4 form4;
        ui::TForm5 form5;
        ui::TForm6 form6;
        ui::TForm7 form7;
        ui::TForm8 form8;
        ui::TForm11 form11;
        form1.SetSecondaryWindows(
            {&form2, &form3, &form9, &form10, &form4, &form5, &form7, &form8});

        // The settings dialog's creation opens the configured serial port and
        // switches the radio on: after the sound devices, before the first block.
        form1.Receiver().OpenRadio();

        // A desktop session ending or Ctrl+C closes the window as its close
        // button does: settings saved, files closed.
        core::TerminationSignals termination;
        QObject::connect(&termination, &core::TerminationSignals::TerminationRequested, &form1,
                         [&form1](int) { form1.close(); });

        form1.show();
        return app.exec();
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, "Tesmar", QString::fromLocal8Bit(e.what()));
        return 0;
    }
}
