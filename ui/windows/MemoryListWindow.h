#pragma once

// TForm5, the memory channel list.

#include <QWidget>

namespace ui {

class TForm5 : public QWidget {
    Q_OBJECT
public:
    explicit TForm5(QWidget* parent = nullptr);
};

}  // namespace ui
