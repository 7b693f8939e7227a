#pragma once

// The window in which the user AF pass band is dragged.

#include <QWidget>

namespace ui {

class AfFilterWindow : public QWidget {
    Q_OBJECT
public:
    explicit AfFilterWindow(QWidget* parent = nullptr);
};

}  // namespace ui
