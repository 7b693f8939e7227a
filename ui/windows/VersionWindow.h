#pragma once

// The version window.

#include <QWidget>

namespace ui {

class VersionWindow : public QWidget {
    Q_OBJECT
public:
    explicit VersionWindow(QWidget* parent = nullptr);
};

}  // namespace ui
