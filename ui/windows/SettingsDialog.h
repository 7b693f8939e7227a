#pragma once

// The settings dialog, shown modally by "Settings".

#include <QDialog>

namespace ui {

class SettingsDialog : public QDialog {
    Q_OBJECT
public:
    explicit SettingsDialog(QWidget* parent = nullptr);
};

}  // namespace ui
