#pragma once

// TForm8, the WAV recorder window.

#include <QWidget>

namespace ui {

class TForm8 : public QWidget {
    Q_OBJECT
public:
    explicit TForm8(QWidget* parent = nullptr);
};

}  // namespace ui
