#include "ui/windows/IfFilterWindow.h"

namespace ui {

TForm3::TForm3(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName("Form3");
    setWindowTitle("IF filter");
}

}  // namespace ui
