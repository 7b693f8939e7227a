#pragma once

// TForm11, the version window.

#include <QWidget>

namespace ui {

class TForm11 : public QWidget {
    Q_OBJECT
public:
    explicit TForm11(QWidget* parent = nullptr);
};

}  // namespace ui
