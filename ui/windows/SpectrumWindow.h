#pragma once

// The spectrum and waterfall window. Its content comes with the spectrum display.

#include <QWidget>

namespace ui {

class SpectrumWindow : public QWidget {
    Q_OBJECT
public:
    explicit SpectrumWindow(QWidget* parent = nullptr);
};

}  // namespace ui
