#pragma once

// TForm6, the dialog that edits one memory channel.

#include <QDialog>

namespace ui {

class TForm6 : public QDialog {
    Q_OBJECT
public:
    explicit TForm6(QWidget* parent = nullptr);
};

}  // namespace ui
