#include "ui/windows/Keypad.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QShowEvent>
#include <QToolButton>

namespace ui {

int VirtualKeyFromQt(int qtKey, Qt::KeyboardModifiers modifiers)
{
    const bool keypad = modifiers.testFlag(Qt::KeypadModifier);
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
        return (keypad ? vk::Numpad0 : vk::Digit0) + (qtKey - Qt::Key_0);
    switch (qtKey) {
    case Qt::Key_Period: return keypad ? vk::Decimal : vk::OemPeriod;
    case Qt::Key_Comma:
        // The keypad's decimal key gives a comma in some layouts.
        return keypad ? vk::Decimal : -1;
    case Qt::Key_Escape: return vk::Escape;
    case Qt::Key_Backspace: return vk::Back;
    case Qt::Key_Return:
    case Qt::Key_Enter: return vk::Return;
    default: return -1;
    }
}

TForm4::TForm4(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint)
{
    setObjectName("Form4");
    setWindowTitle("Input key");
    setFixedSize(157, 156);

    GroupBox1 = new QGroupBox(this);
    GroupBox1->setObjectName("GroupBox1");
    GroupBox1->setGeometry(5, 0, 147, 153);

    SpeedButton7 = AddButton("SpeedButton7", "7", 3, 9, 35, 55);
    SpeedButton8 = AddButton("SpeedButton8", "8", 38, 9, 35, 56);
    SpeedButton9 = AddButton("SpeedButton9", "9", 73, 9, 35, 57);
    SpeedButton14 = AddButton("SpeedButton14", "BS", 108, 9, 70, vk::Back);
    SpeedButton4 = AddButton("SpeedButton4", "4", 3, 44, 35, 52);
    SpeedButton5 = AddButton("SpeedButton5", "5", 38, 44, 35, 53);
    SpeedButton6 = AddButton("SpeedButton6", "6", 73, 44, 35, 54);
    SpeedButton1 = AddButton("SpeedButton1", "1", 3, 79, 35, 49);
    SpeedButton2 = AddButton("SpeedButton2", "2", 38, 79, 35, 50);
    SpeedButton3 = AddButton("SpeedButton3", "3", 73, 79, 35, 51);
    SpeedButton11 = AddButton("SpeedButton11", "ENT", 108, 79, 70, vk::Return);
    SpeedButton12 = AddButton("SpeedButton12", ".", 3, 114, 35, vk::OemPeriod);
    SpeedButton10 = AddButton("SpeedButton10", "0", 38, 114, 35, 48);
    SpeedButton13 = AddButton("SpeedButton13", "CE", 73, 114, 35, vk::Escape);
}

QToolButton* TForm4::AddButton(const char* name, const char* caption, int left, int top, int height,
                               int code)
{
    auto* b = new QToolButton(GroupBox1);
    b->setObjectName(name);
    b->setText(caption);
    b->setGeometry(left, top, 35, height);
    // Like speed buttons they never take the focus, so every key reaches the
    // window's own key handler.
    b->setFocusPolicy(Qt::NoFocus);
    connect(b, &QToolButton::clicked, this, [this, code] { Send(code); });
    return b;
}

void TForm4::Send(int code)
{
    if (KeypadKey)
        KeypadKey(code);
}

void TForm4::showEvent(QShowEvent* event)
{
    if (!event->spontaneous() && LoadPosition)
        move(LoadPosition());
    QWidget::showEvent(event);
}

void TForm4::closeEvent(QCloseEvent* event)
{
    if (StorePosition)
        StorePosition(pos());
    QWidget::closeEvent(event);
}

void TForm4::keyReleaseEvent(QKeyEvent* event)
{
    // A held key repeats its release in Qt; the entry wants one per press.
    if (event->isAutoRepeat()) {
        event->accept();
        return;
    }
    const int code = VirtualKeyFromQt(event->key(), event->modifiers());
    if (code >= 0) {
        Send(code);
        event->accept();
        return;
    }
    QWidget::keyReleaseEvent(event);
}

}  // namespace ui
