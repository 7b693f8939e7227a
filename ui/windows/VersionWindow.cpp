#include "ui/windows/VersionWindow.h"

namespace ui {

VersionWindow::VersionWindow(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName("versionWindow");
    setWindowTitle("Version information");
}

}  // namespace ui
