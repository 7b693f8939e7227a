#include "ui/windows/WaveRecoderWindow.h"

namespace ui {

TForm8::TForm8(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName("Form8");
    setWindowTitle("Wave recoder");
}

}  // namespace ui
