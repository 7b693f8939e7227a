#pragma once

// The error boxes the windows open, as the operator would find them.

#include <QApplication>
#include <QMessageBox>

#include <string>
#include <vector>

namespace ui::test {

// Closes the error boxes that are open and returns their texts (in no
// particular order).
inline std::vector<std::string> CloseMessageBoxes()
{
    QApplication::processEvents();
    std::vector<std::string> texts;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
            texts.push_back(box->text().toStdString());
            box->done(QMessageBox::Ok);
        }
    }
    QApplication::processEvents();
    return texts;
}

}  // namespace ui::test
