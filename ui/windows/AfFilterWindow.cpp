#include "ui/windows/AfFilterWindow.h"

namespace ui {

TForm7::TForm7(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName("Form7");
    setWindowTitle("AF filter");
}

}  // namespace ui
