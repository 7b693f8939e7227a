#pragma once

// The settings dialog, shown by "Settings"; it blocks the other windows while
// it is open.

#include <QDialog>

namespace ui {

class SettingsDialog : public QDialog {
    Q_OBJECT
public:
    explicit SettingsDialog(QWidget* parent = nullptr);
};

}  // namespace ui
