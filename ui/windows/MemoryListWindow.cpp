#include "ui/windows/MemoryListWindow.h"

namespace ui {

TForm5::TForm5(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName("Form5");
    setWindowTitle("Memory list");
}

}  // namespace ui
