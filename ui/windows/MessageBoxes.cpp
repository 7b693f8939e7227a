#include "ui/windows/MessageBoxes.h"

#include <QApplication>
#include <QMessageBox>

#include <utility>

namespace ui {

namespace {

QMessageBox* Box(QWidget* window, QMessageBox::Icon icon, const QString& text,
                 QMessageBox::StandardButtons buttons)
{
    QApplication::beep();
    auto* box = new QMessageBox(icon, window->windowTitle(), text, buttons, window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    return box;
}

}  // namespace

void ShowErrorBox(QWidget* window, const QString& message)
{
    Box(window, QMessageBox::Critical, message, QMessageBox::Ok)->open();
}

void AskYesNo(QWidget* window, const QString& question, std::function<void()> onYes)
{
    QMessageBox* box =
        Box(window, QMessageBox::Question, question, QMessageBox::Yes | QMessageBox::No);
    QObject::connect(box, &QMessageBox::finished, window, [onYes = std::move(onYes)](int answer) {
        if (answer == QMessageBox::Yes)
            onYes();
    });
    box->open();
}

}  // namespace ui
