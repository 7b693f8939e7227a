#pragma once

// The dialog that edits one memory channel.

#include <QDialog>

namespace ui {

class MemoryEditDialog : public QDialog {
    Q_OBJECT
public:
    explicit MemoryEditDialog(QWidget* parent = nullptr);
};

}  // namespace ui
