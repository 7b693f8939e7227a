#include "ui/windows/IfFilterWindow.h"

namespace ui {

IfFilterWindow::IfFilterWindow(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName("ifFilterWindow");
    setWindowTitle("IF filter");
}

}  // namespace ui
