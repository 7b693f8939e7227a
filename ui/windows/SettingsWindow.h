#pragma once

// TForm9, the settings dialog, shown modally by "Settings".

#include <QDialog>

namespace ui {

class TForm9 : public QDialog {
    Q_OBJECT
public:
    explicit TForm9(QWidget* parent = nullptr);
};

}  // namespace ui
