#include "ui/windows/SpectrumWindow.h"

namespace ui {

SpectrumWindow::SpectrumWindow(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName("spectrumWindow");
    setWindowTitle("Spectrum Display");
}

}  // namespace ui
