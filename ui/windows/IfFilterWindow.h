#pragma once

// The window in which the user IF bandwidth is dragged.

#include <QWidget>

namespace ui {

class IfFilterWindow : public QWidget {
    Q_OBJECT
public:
    explicit IfFilterWindow(QWidget* parent = nullptr);
};

}  // namespace ui
