#pragma once

// "Settings": the sound devices, the serial port and the radio type, the
// input and waterfall gains, the I/Q exchange and "always on top", in rows
// below them remote control over the network, audio over UDP to decoders
// (with a line saying what is sent where) and the input corrections (with
// the measured image rejection), with the "Hamlib" type the Hamlib radio's
// area (which takes the serial port's place), and the buttons at the foot.
// Created
// once at start-up, where it opens the chosen port and sets the radio up;
// shown by the main window's "Settings" button and modal for the whole
// application while open. The logic lives in core::SettingsChoices; this
// window lays out the controls and forwards their events.

#include <QDialog>
#include <QPointer>

#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QSpinBox;
class QTimer;

namespace core {
class Receiver;
class RemoteControl;
class SettingsChoices;
}  // namespace core

namespace ui {

class SettingsDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int kClientWidth = 440;
    // The controls, the remote control, audio over UDP and input
    // corrections rows below them, and the row of buttons ("OK", "Cancel",
    // ...) at the foot.
    static constexpr int kInputCorrectionRowTop = 272;
    static constexpr int kInputCorrectionRowHeight = 74;
    static constexpr int kClientHeight = 306 + kInputCorrectionRowHeight;
    // With the "Hamlib" type the Hamlib radio's area comes between the
    // input corrections row and the buttons, which move down by its height.
    static constexpr int kHamlibAreaTop = kInputCorrectionRowTop + kInputCorrectionRowHeight;
    static constexpr int kHamlibAreaHeight = 146;

    // Lists the devices and ports, shows the stored choices and what remote
    // control runs, opens the chosen port and runs the radio's set-up
    // sequence. parent: the main window, over which the dialog appears.
    SettingsDialog(core::Receiver& receiver, core::RemoteControl& remote,
                   QWidget* parent = nullptr);
    ~SettingsDialog() override;

    // Applies alwaysOnTop to the main window; called by "OK".
    std::function<void()> ApplyMostTop;
    // The window "Tesmar version infomation" shows.
    void SetVersionWindow(QWidget* version) { version_ = version; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void BuildLayout();
    void RefillDeviceLists();
    void BuildRemoteRow();
    void BuildUdpRows(core::Receiver& receiver);
    void BuildInputCorrectionRow();
    void ShowInputCorrections();
    void BuildHamlibArea();
    void ShowHamlibArea(bool shown);
    void ConnectControls();
    void Confirm();
    void ShowVersion();

    std::unique_ptr<core::SettingsChoices> choices_;
    QPointer<QWidget> version_;

    QComboBox* inputDevices_ = nullptr;
    bool devicesStale_ = false;  // the device lists wait for the next show
    QComboBox* outputDevices_ = nullptr;
    QWidget* portsLabel_ = nullptr;
    QComboBox* ports_ = nullptr;
    QComboBox* radioTypes_ = nullptr;
    QSlider* inputGain_ = nullptr;
    QSlider* waterfallGain_ = nullptr;
    QCheckBox* invertIq_ = nullptr;
    QCheckBox* mostTop_ = nullptr;
    QPushButton* levelControlButton_ = nullptr;
    QPushButton* versionButton_ = nullptr;
    QPushButton* okButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    QCheckBox* remoteOn_ = nullptr;
    QSpinBox* remotePort_ = nullptr;
    QLineEdit* remoteAllow_ = nullptr;
    QCheckBox* udpOn_ = nullptr;
    QLineEdit* udpHost_ = nullptr;
    QSpinBox* udpPort_ = nullptr;
    QLabel* udpStatus_ = nullptr;
    QComboBox* iqBalance_ = nullptr;
    QCheckBox* dcRemoval_ = nullptr;
    QDoubleSpinBox* iqGain_ = nullptr;
    QDoubleSpinBox* iqPhase_ = nullptr;
    QLabel* imageRejection_ = nullptr;
    QTimer* rejectionTimer_ = nullptr;  // refreshes imageRejection_ while shown
    QWidget* hamlibArea_ = nullptr;
    QComboBox* hamlibModel_ = nullptr;
    QComboBox* hamlibPort_ = nullptr;
    QComboBox* hamlibSpeed_ = nullptr;
    QSpinBox* hamlibIqOffset_ = nullptr;
    QSpinBox* hamlibTransverterOffset_ = nullptr;
};

}  // namespace ui
