#include "ui/windows/MemoryListWindow.h"

namespace ui {

MemoryListWindow::MemoryListWindow(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName("memoryListWindow");
    setWindowTitle("Memory list");
}

}  // namespace ui
