#pragma once

// TForm3, the window in which the user IF bandwidth is dragged.

#include <QWidget>

namespace ui {

class TForm3 : public QWidget {
    Q_OBJECT
public:
    explicit TForm3(QWidget* parent = nullptr);
};

}  // namespace ui
