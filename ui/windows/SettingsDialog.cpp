#include "ui/windows/SettingsDialog.h"

namespace ui {

SettingsDialog::SettingsDialog(QWidget* parent)
    : QDialog(parent)
{
    setObjectName("settingsDialog");
    setWindowTitle("Settings");
}

}  // namespace ui
