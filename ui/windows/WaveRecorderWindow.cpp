#include "ui/windows/WaveRecorderWindow.h"

namespace ui {

WaveRecorderWindow::WaveRecorderWindow(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName("waveRecorderWindow");
    setWindowTitle("Wave recoder");
}

}  // namespace ui
