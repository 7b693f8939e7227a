#pragma once

// The keypad window ("Input key"): fourteen buttons that type a frequency in
// MHz. It keeps no state of its own; every button and every released key goes
// to KeypadKey as a virtual key code (core/model/KeyCodes.h).

#include <QPoint>
#include <QWidget>

#include <array>
#include <cstddef>
#include <functional>

class QGroupBox;
class QToolButton;

namespace ui {

// The virtual key code of a Qt key, or -1 for keys the entry ignores.
int VirtualKeyFromQt(int qtKey, Qt::KeyboardModifiers modifiers);

// The tuning step an arrow key asks for: +1 for Up and Right, -1 for Left and
// Down, 0 for any other key.
int StepDirectionFromQt(int qtKey);

// The keys a window saw pressed and not yet released. The entry acts on key
// releases, and a release belongs to the window that saw its press: the Enter
// that closes a message box or confirms a file dialog is released over the
// window beneath, which must not take it for its own.
class PressedKeys {
public:
    void Pressed(int qtKey);
    // True when this window saw the key's press; the key is then forgotten.
    bool Released(int qtKey);
    // The window lost the keyboard: presses it saw will be released elsewhere.
    void Clear() { count_ = 0; }

private:
    // More keys than anybody holds at once; the oldest makes room.
    std::array<int, 8> keys_{};
    std::size_t count_ = 0;
};

class KeypadWindow : public QWidget {
    Q_OBJECT
public:
    explicit KeypadWindow(QWidget* parent = nullptr);

    // Receives the code of a button or of a released key.
    std::function<void(int code)> KeypadKey;
    // The window's top-left corner (the state's keypadWindow), read when
    // the window is shown and written when it closes.
    std::function<QPoint()> LoadPosition;
    std::function<void(QPoint)> StorePosition;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QToolButton* AddButton(const char* name, const char* caption, int left, int top, int height,
                           int code);
    void Send(int code);

    QGroupBox* keysBox_ = nullptr;
    std::array<QToolButton*, 10> digitButtons_{};  // indexed by the digit
    QToolButton* pointButton_ = nullptr;           // "."
    QToolButton* backButton_ = nullptr;            // "BS"
    QToolButton* enterButton_ = nullptr;           // "ENT"
    QToolButton* clearButton_ = nullptr;           // "CE"
    PressedKeys pressed_;
};

}  // namespace ui
