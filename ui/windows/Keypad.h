#pragma once

// The keypad window TForm4 ("Input key"): fourteen buttons that type a
// frequency in MHz. It keeps no state of its own; every button and every
// released key goes to the main window's KeypadKey as a virtual key code.

#include <QPoint>
#include <QWidget>

#include <functional>

class QGroupBox;
class QToolButton;

namespace ui {

// Virtual key codes of the keys the frequency entry understands.
namespace vk {
constexpr int Back = 8;
constexpr int Return = 13;
constexpr int Escape = 27;
constexpr int Digit0 = 48;      // .. 57 for "9"
constexpr int Numpad0 = 96;     // .. 105 for keypad "9"
constexpr int Decimal = 110;    // keypad "."
constexpr int OemPeriod = 190;  // "." on the main block
}  // namespace vk

// The virtual key code of a Qt key, or -1 for keys the entry ignores.
int VirtualKeyFromQt(int qtKey, Qt::KeyboardModifiers modifiers);

class TForm4 : public QWidget {
    Q_OBJECT
public:
    explicit TForm4(QWidget* parent = nullptr);

    // Receives the code of a button or of a released key.
    std::function<void(int code)> KeypadKey;
    // The window's top-left corner (left = InpLeft, top = InpTop), read when
    // the window is shown and written when it closes.
    std::function<QPoint()> LoadPosition;
    std::function<void(QPoint)> StorePosition;

    QGroupBox* GroupBox1 = nullptr;
    QToolButton* SpeedButton1 = nullptr;
    QToolButton* SpeedButton2 = nullptr;
    QToolButton* SpeedButton3 = nullptr;
    QToolButton* SpeedButton4 = nullptr;
    QToolButton* SpeedButton5 = nullptr;
    QToolButton* SpeedButton6 = nullptr;
    QToolButton* SpeedButton7 = nullptr;
    QToolButton* SpeedButton8 = nullptr;
    QToolButton* SpeedButton9 = nullptr;
    QToolButton* SpeedButton10 = nullptr;
    QToolButton* SpeedButton11 = nullptr;
    QToolButton* SpeedButton12 = nullptr;
    QToolButton* SpeedButton13 = nullptr;
    QToolButton* SpeedButton14 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    QToolButton* AddButton(const char* name, const char* caption, int left, int top, int height,
                           int code);
    void Send(int code);
};

}  // namespace ui
