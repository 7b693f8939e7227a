#pragma once

// The main window TForm1, "Tesmar": the meter and frequency display across
// the top, and below them the mode, AGC, IF, AF, DSP and raw-file buttons, the
// VOL and SQL knobs, the step buttons and the buttons that open the other
// windows. A thin layer: every control calls core::Receiver, and the window
// redraws when the receiver says so.

#include "core/Receiver.h"
#include "ui/paint/FrequencyDisplay.h"
#include "ui/paint/SignalMeter.h"

#include <QImage>
#include <QPointer>
#include <QWidget>

#include <array>
#include <memory>

class QButtonGroup;
class QLabel;
class QToolButton;
class QFrame;

namespace audio {
class SoundPlayer;
}

namespace ui {

class TForm2;
class TForm3;
class TForm4;
class TForm5;
class TForm7;
class TForm8;
class TForm9;
class TForm10;

// A picture control: shows a QImage as it is, and reports the mouse.
class ImageBox : public QWidget {
    Q_OBJECT

public:
    ImageBox(QWidget* parent, int left, int top, int width, int height);
    void SetImage(const QImage& image);  // drawn at the next paint
    const QImage& Shown() const { return *image_; }

signals:
    void Entered();
    void Left();
    void Released(Qt::MouseButton button, int x, int y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    const QImage* image_;
    QImage own_;
};

// The secondary windows the main window opens, shows at start-up and closes.
struct SecondaryWindows {
    TForm2* spectrum = nullptr;
    TForm3* ifFilter = nullptr;
    TForm9* settings = nullptr;
    TForm10* deviceNotice = nullptr;
    TForm4* keypad = nullptr;
    TForm5* memoryList = nullptr;
    TForm7* afFilter = nullptr;
    TForm8* waveRecoder = nullptr;
};

class TForm1 : public QWidget {
    Q_OBJECT

public:
    static constexpr int kClientWidth = 734;
    static constexpr int kClientHeight = 155;

    // Builds the window and brings the receiver up (settings, filters,
    // devices): the main window's construction.
    explicit TForm1(core::ReceiverPaths paths = core::ReceiverPaths::ForApplication(),
                    audio::AudioApi api = audio::AudioApi::Automatic, QWidget* parent = nullptr);
    ~TForm1() override;

    // The other windows exist only after the main window; they are handed
    // over as they are created.
    void SetSecondaryWindows(const SecondaryWindows& windows);

    core::Receiver& Receiver() { return *receiver_; }

    // Redraws the display (and, after a block, the meter) from the state.
    void PaintDisplay();
    void PaintMeter();
    void DrawKnob(core::Knob knob, bool highlighted);
    // MostTop: above all other windows, or at the top of the ordinary ones.
    void ApplyMostTop();

    // Controls, named as in the window layout.
    ImageBox* Image1 = nullptr;  // frequency display
    ImageBox* Image2 = nullptr;  // VOL knob
    ImageBox* Image3 = nullptr;  // meter
    ImageBox* Image4 = nullptr;  // SQL knob
    QFrame* Panel2 = nullptr;
    QFrame* Panel3 = nullptr;
    QToolButton* SpeedButton1 = nullptr;   // "Monitor"
    QToolButton* SpeedButton2 = nullptr;   // "Rec"
    QToolButton* SpeedButton3 = nullptr;   // "Play"
    QToolButton* SpeedButton4 = nullptr;   // "Open"
    QToolButton* SpeedButton15 = nullptr;  // "3D"
    QToolButton* SpeedButton16 = nullptr;  // "NR"
    QToolButton* SpeedButton17 = nullptr;  // "AM"
    QToolButton* SpeedButton18 = nullptr;  // "FM"
    QToolButton* SpeedButton19 = nullptr;  // "LSB"
    QToolButton* SpeedButton20 = nullptr;  // "USB"
    QToolButton* SpeedButton21 = nullptr;  // "CW"
    QToolButton* SpeedButton22 = nullptr;  // "Fast"
    QToolButton* SpeedButton23 = nullptr;  // "Middle"
    QToolButton* SpeedButton24 = nullptr;  // "Slow"
    QToolButton* SpeedButton25 = nullptr;  // IF "0.5 k"
    QToolButton* SpeedButton26 = nullptr;  // IF "3.0 k"
    QToolButton* SpeedButton27 = nullptr;  // IF "6.0 k"
    QToolButton* SpeedButton28 = nullptr;  // IF "12.0 k"
    QToolButton* SpeedButton29 = nullptr;  // IF "User"
    QToolButton* SpeedButton30 = nullptr;  // AF "3.0 k"
    QToolButton* SpeedButton31 = nullptr;  // AF "6.0 k"
    QToolButton* SpeedButton32 = nullptr;  // AF "User"
    QToolButton* SpeedButton33 = nullptr;  // "Spectrum"
    QToolButton* SpeedButton35 = nullptr;  // "Settings"
    QToolButton* SpeedButton36 = nullptr;  // "Up"
    QToolButton* SpeedButton37 = nullptr;  // "Down"
    QToolButton* SpeedButton38 = nullptr;  // "AN"
    QToolButton* SpeedButton39 = nullptr;  // "Key"
    QToolButton* SpeedButton40 = nullptr;  // "List"
    QToolButton* SpeedButton41 = nullptr;  // "Wave"

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QToolButton* Button(const char* name, const char* caption, int left, int top, int width,
                        int height, bool checkable);
    void Caption(const char* text, int left, int top, int width);
    void BuildLayout();
    void ConnectReceiver();
    void SetButtonsFromState();
    void SetRawButtonsFromReceiver();
    void ShowErrorBox(const QString& message, bool beep);
    void FormShow();
    void SpeedButton4Click();  // "Open"

    std::unique_ptr<core::Receiver> receiver_;
    std::unique_ptr<audio::SoundPlayer> sounds_;
    FrequencyDisplay display_;
    std::unique_ptr<SignalMeter> meter_;
    QImage volKnob_;
    QImage sqlKnob_;
    QButtonGroup* modeGroup_ = nullptr;
    QButtonGroup* agcGroup_ = nullptr;
    QButtonGroup* ifGroup_ = nullptr;
    QButtonGroup* afGroup_ = nullptr;
    SecondaryWindows windows_;
    bool shownOnce_ = false;
    bool closing_ = false;
};

}  // namespace ui
