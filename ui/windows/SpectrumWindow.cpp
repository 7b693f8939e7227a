#include "ui/windows/SpectrumWindow.h"

namespace ui {

TForm2::TForm2(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName("Form2");
    setWindowTitle("Spectrum Display");
}

}  // namespace ui
