#include "ui/windows/AfFilterWindow.h"

namespace ui {

AfFilterWindow::AfFilterWindow(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName("afFilterWindow");
    setWindowTitle("AF filter");
}

}  // namespace ui
