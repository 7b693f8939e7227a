#pragma once

// The WAV recorder window.

#include <QWidget>

namespace ui {

class WaveRecorderWindow : public QWidget {
    Q_OBJECT
public:
    explicit WaveRecorderWindow(QWidget* parent = nullptr);
};

}  // namespace ui
