#include "ui/windows/SettingsWindow.h"

namespace ui {

TForm9::TForm9(QWidget* parent)
    : QDialog(parent)
{
    setObjectName("Form9");
    setWindowTitle("Settings");
}

}  // namespace ui
