#include "ui/windows/KeypadWindow.h"

#include "core/model/KeyCodes.h"
#include "ui/windows/Placement.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QShowEvent>
#include <QToolButton>

#include <algorithm>

namespace ui {

int VirtualKeyFromQt(int qtKey, Qt::KeyboardModifiers modifiers)
{
    namespace keys = core::keys;
    const bool keypad = modifiers.testFlag(Qt::KeypadModifier);
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
        return (keypad ? keys::Pad0 : keys::Digit0) + (qtKey - Qt::Key_0);
    switch (qtKey) {
    case Qt::Key_Period: return keypad ? keys::PadPoint : keys::Point;
    case Qt::Key_Comma:
        // The keypad's decimal key gives a comma in some layouts.
        return keypad ? keys::PadPoint : -1;
    case Qt::Key_Escape: return keys::Escape;
    case Qt::Key_Backspace: return keys::Back;
    case Qt::Key_Return:
    case Qt::Key_Enter: return keys::Enter;
    default: return -1;
    }
}

int StepDirectionFromQt(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_Up:
    case Qt::Key_Right: return 1;
    case Qt::Key_Left:
    case Qt::Key_Down: return -1;
    default: return 0;
    }
}

void PressedKeys::Pressed(int qtKey)
{
    for (std::size_t i = 0; i < count_; ++i)
        if (keys_[i] == qtKey)
            return;  // held: the auto-repeat presses it again
    if (count_ == keys_.size()) {
        std::copy(keys_.begin() + 1, keys_.end(), keys_.begin());
        --count_;
    }
    keys_[count_++] = qtKey;
}

bool PressedKeys::Released(int qtKey)
{
    for (std::size_t i = 0; i < count_; ++i) {
        if (keys_[i] == qtKey) {
            std::copy(keys_.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                      keys_.begin() + static_cast<std::ptrdiff_t>(count_),
                      keys_.begin() + static_cast<std::ptrdiff_t>(i));
            --count_;
            return true;
        }
    }
    return false;
}

KeypadWindow::KeypadWindow(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint)
{
    namespace keys = core::keys;
    setObjectName("keypadWindow");
    setWindowTitle("Input key");
    setFixedSize(157, 156);

    keysBox_ = new QGroupBox(this);
    keysBox_->setObjectName("keysBox");
    keysBox_->setGeometry(5, 0, 147, 153);

    // Rows from the top: 7 8 9 BS / 4 5 6 / 1 2 3 ENT / . 0 CE.
    struct Digit {
        int left, top;
    };
    constexpr Digit kDigits[10] = {{38, 114}, {3, 79},  {38, 79}, {73, 79}, {3, 44},
                                   {38, 44},  {73, 44}, {3, 9},   {38, 9},  {73, 9}};
    static const char* const kNames[10] = {
        "digitButton0", "digitButton1", "digitButton2", "digitButton3", "digitButton4",
        "digitButton5", "digitButton6", "digitButton7", "digitButton8", "digitButton9"};
    static const char* const kCaptions[10] = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9"};
    for (int d = 0; d < 10; ++d)
        digitButtons_[static_cast<size_t>(d)] = AddButton(kNames[d], kCaptions[d], kDigits[d].left,
                                                          kDigits[d].top, 35, keys::Digit0 + d);
    backButton_ = AddButton("backButton", "BS", 108, 9, 70, keys::Back);
    enterButton_ = AddButton("enterButton", "ENT", 108, 79, 70, keys::Enter);
    pointButton_ = AddButton("pointButton", ".", 3, 114, 35, keys::Point);
    clearButton_ = AddButton("clearButton", "CE", 73, 114, 35, keys::Escape);
}

QToolButton* KeypadWindow::AddButton(const char* name, const char* caption, int left, int top,
                                     int height, int code)
{
    auto* b = new QToolButton(keysBox_);
    b->setObjectName(name);
    b->setText(caption);
    b->setGeometry(left, top, 35, height);
    // Like speed buttons they never take the focus, so every key reaches the
    // window's own key handler.
    b->setFocusPolicy(Qt::NoFocus);
    connect(b, &QToolButton::clicked, this, [this, code] { Send(code); });
    return b;
}

void KeypadWindow::Send(int code)
{
    if (KeypadKey)
        KeypadKey(code);
}

void KeypadWindow::showEvent(QShowEvent* event)
{
    if (!event->spontaneous() && LoadPosition)
        RestoreFramePosition(*this, LoadPosition());
    QWidget::showEvent(event);
}

void KeypadWindow::closeEvent(QCloseEvent* event)
{
    // The main window closes every window at exit; one that never opened
    // keeps the place it was last closed at.
    if (StorePosition && isVisible())
        StorePosition(FramePosition(*this));
    QWidget::closeEvent(event);
}

void KeypadWindow::keyPressEvent(QKeyEvent* event)
{
    pressed_.Pressed(event->key());
    QWidget::keyPressEvent(event);
}

void KeypadWindow::keyReleaseEvent(QKeyEvent* event)
{
    // A held key repeats its release in Qt; the entry wants one per press,
    // and only for a press this window saw.
    if (event->isAutoRepeat() || !pressed_.Released(event->key())) {
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

void KeypadWindow::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange && !isActiveWindow())
        pressed_.Clear();
    QWidget::changeEvent(event);
}

}  // namespace ui
