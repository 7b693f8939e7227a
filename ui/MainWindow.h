#pragma once

// The main window, "Tesmar": the meter and frequency display across the top,
// and below them the mode, AGC, IF, AF, DSP and raw-file buttons, the VOL and
// SQL knobs, the step buttons and the buttons that open the other windows. A
// thin layer: every control calls core::Receiver, and the window redraws when
// the receiver says so.

#include "core/Receiver.h"
#include "core/model/ReceiverState.h"
#include "core/model/WheelNotches.h"
#include "ui/paint/FrequencyDisplay.h"
#include "ui/paint/SignalMeter.h"
#include "ui/windows/KeypadWindow.h"

#include <QImage>
#include <QWidget>

#include <array>
#include <memory>
#include <utility>
#include <vector>

class QButtonGroup;
class QLabel;
class QMessageBox;
class QFrame;
class QToolButton;

namespace ui {

class AfFilterWindow;
class DeviceRestartNotice;
class IfFilterWindow;
class ImageBox;
class MemoryListWindow;
class SettingsDialog;
class SpectrumWindow;
class VersionWindow;
class WaveRecorderWindow;

// The secondary windows the main window opens, shows at start-up and closes.
struct SecondaryWindows {
    SpectrumWindow* spectrum = nullptr;
    IfFilterWindow* ifFilter = nullptr;
    SettingsDialog* settings = nullptr;
    DeviceRestartNotice* deviceRestartNotice = nullptr;
    KeypadWindow* keypad = nullptr;
    MemoryListWindow* memoryList = nullptr;
    AfFilterWindow* afFilter = nullptr;
    WaveRecorderWindow* waveRecorder = nullptr;
    VersionWindow* version = nullptr;  // opened from the settings dialog
};

class MainWindow : public QWidget {
    Q_OBJECT

public:
    static constexpr int kClientWidth = 734;
    static constexpr int kClientHeight = 155;
    // The strip the window grows by, below its controls, while a lost sound
    // device is told: over the display it hid the frequency.
    static constexpr int kNoticeHeight = 30;

    // Builds the window and brings the receiver up (settings, filters,
    // devices): the main window's construction.
    explicit MainWindow(core::ReceiverPaths paths = core::ReceiverPaths::ForApplication(),
                        audio::AudioApi api = audio::AudioApi::Automatic,
                        QWidget* parent = nullptr);
    ~MainWindow() override;

    // The other windows exist only after the main window; they are handed
    // over as they are created.
    void SetSecondaryWindows(const SecondaryWindows& windows);

    core::Receiver& Receiver() { return *receiver_; }

    // Redraws the display (and, after a block, the meter) from the state.
    void PaintDisplay();
    void PaintMeter();
    void DrawKnob(core::Knob knob, bool highlighted);
    // alwaysOnTop: above all other windows, or at the top of the ordinary ones.
    void ApplyMostTop();
    // SIGTERM or SIGINT: closes as the close button does, but nothing waits
    // for an answer (a failed save goes to the log and the next start), and
    // an error box the close is already waiting on is given up.
    void CloseForTermination();
    // The error box over the window, with a beep when `beep`: the
    // receiver's errors, and those of what runs beside it (remote control).
    void ShowErrorBox(const QString& message, bool beep);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QToolButton* Button(const char* name, const char* caption, int left, int top, int width,
                        int height, bool checkable);
    void Caption(const char* text, int left, int top, int width);
    void BuildLayout();
    void BuildDisplayPanels();
    void BuildDspAndRawFileButtons();
    void BuildKnobsAndWindowButtons();
    void BuildSoundNotice();
    void ConnectControls();
    void ConnectReceiver();
    void SetButtonsFromState();
    void SetRawButtonsFromReceiver();
    void ShowSoundNotice();
    // The lost sound device's and the radio's notices, one above the other.
    void ShowNotices();
    void ShowSecondaryWindows();
    void ChooseRawFile();

    std::unique_ptr<core::Receiver> receiver_;
    FrequencyDisplay displayPainter_;
    std::unique_ptr<SignalMeter> meterPainter_;
    QImage volumeKnobImage_;
    QImage squelchKnobImage_;

    // Controls.
    QFrame* meterPanel_ = nullptr;
    ImageBox* meter_ = nullptr;
    QFrame* displayPanel_ = nullptr;
    ImageBox* frequencyDisplay_ = nullptr;
    ImageBox* volumeKnob_ = nullptr;
    ImageBox* squelchKnob_ = nullptr;
    std::array<QToolButton*, core::kModeCount> modeButtons_{};  // indexed by the mode
    std::array<QToolButton*, core::kAgcCount> agcButtons_{};    // indexed by the speed
    std::array<QToolButton*, core::kIfCount> ifButtons_{};      // indexed by the IF choice
    std::array<QToolButton*, core::kAfCount> afButtons_{};      // indexed by the AF choice
    QButtonGroup* modeGroup_ = nullptr;
    QButtonGroup* agcGroup_ = nullptr;
    QButtonGroup* ifGroup_ = nullptr;
    QButtonGroup* afGroup_ = nullptr;
    QToolButton* threeDButton_ = nullptr;          // "3D"
    QToolButton* noiseReductionButton_ = nullptr;  // "NR"
    QToolButton* cancellerButton_ = nullptr;       // "AN"
    QToolButton* recButton_ = nullptr;
    QToolButton* openButton_ = nullptr;
    QToolButton* playButton_ = nullptr;
    QToolButton* stepUpButton_ = nullptr;
    QToolButton* stepDownButton_ = nullptr;
    QToolButton* keyButton_ = nullptr;
    QToolButton* listButton_ = nullptr;
    QToolButton* waveButton_ = nullptr;
    QToolButton* settingsButton_ = nullptr;
    QToolButton* spectrumButton_ = nullptr;
    QToolButton* monitorButton_ = nullptr;
    // A lost sound device, told over the foot of the display: clicks pass
    // through it, and it goes by itself.
    QLabel* soundNotice_ = nullptr;

    SecondaryWindows windows_;
    PressedKeys pressed_;
    core::WheelNotches wheel_;
    bool shownOnce_ = false;
    bool closing_ = false;
    bool terminating_ = false;
    QMessageBox* closeErrorBox_ = nullptr;  // the box a close waits on
    // Errors told before the window showed, opened once it has: a box opened
    // first lay beneath the window it blocks where no window manager stacks
    // them.
    bool boxesMayOpen_ = false;
    std::vector<std::pair<QString, bool>> heldBoxes_;
};

}  // namespace ui
