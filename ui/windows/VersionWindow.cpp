#include "ui/windows/VersionWindow.h"

namespace ui {

TForm11::TForm11(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName("Form11");
    setWindowTitle("Version information");
}

}  // namespace ui
