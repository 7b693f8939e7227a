#include "ui/windows/SettingsDialog.h"

namespace ui {

SettingsDialog::SettingsDialog(QWidget* parent)
    : QDialog(parent)
{
    setObjectName("settingsDialog");
    setWindowTitle("Settings");
    // While it is open the operator works in it alone: the main window and
    // the other windows wait.
    setWindowModality(Qt::ApplicationModal);
}

}  // namespace ui
