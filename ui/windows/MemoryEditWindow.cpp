#include "ui/windows/MemoryEditWindow.h"

namespace ui {

TForm6::TForm6(QWidget* parent)
    : QDialog(parent)
{
    setObjectName("Form6");
    setWindowTitle("Memory edit");
}

}  // namespace ui
