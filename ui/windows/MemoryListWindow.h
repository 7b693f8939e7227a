#pragma once

// The memory channel list.

#include <QWidget>

namespace ui {

class MemoryListWindow : public QWidget {
    Q_OBJECT
public:
    explicit MemoryListWindow(QWidget* parent = nullptr);
};

}  // namespace ui
