#pragma once

// TForm7, the window in which the user AF pass band is dragged.

#include <QWidget>

namespace ui {

class TForm7 : public QWidget {
    Q_OBJECT
public:
    explicit TForm7(QWidget* parent = nullptr);
};

}  // namespace ui
