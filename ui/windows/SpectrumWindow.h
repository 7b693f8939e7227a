#pragma once

// TForm2, the spectrum and waterfall window. Its content comes with the spectrum display.

#include <QWidget>

namespace ui {

class TForm2 : public QWidget {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);
};

}  // namespace ui
