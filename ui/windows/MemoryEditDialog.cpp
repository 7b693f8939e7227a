#include "ui/windows/MemoryEditDialog.h"

namespace ui {

MemoryEditDialog::MemoryEditDialog(QWidget* parent)
    : QDialog(parent)
{
    setObjectName("memoryEditDialog");
    setWindowTitle("Memory edit");
}

}  // namespace ui
