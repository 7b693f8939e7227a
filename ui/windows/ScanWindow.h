#pragma once

// "Scan": the scanner's settings (a memory scan or a band search from a
// start to a stop frequency in steps and a mode; the threshold above the
// noise floor, the hang time, the FM squelch's choice, recording the hits),
// Start, Stop, Skip and Lock out, what the scan does now and the recent hits.
// Opened from the memory list window. The rules live in core::ScanSession
// and core::Scanner; the window reads its controls into the options and
// shows what the session says. Its place and choices are kept in the
// settings file once the operator has set one of them.

#include <QWidget>

#include <cstdint>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace core {
class Receiver;
struct ScanOptions;
}  // namespace core

namespace ui {

class ScanWindow : public QWidget {
    Q_OBJECT

public:
    explicit ScanWindow(core::Receiver& receiver, QWidget* parent = nullptr);

    // --scan: a memory scan with the settings shown.
    void StartMemoryScan();

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildBand(const core::ScanOptions& band);
    void BuildChoices(const core::ScanOptions& stored);
    void BuildButtons();
    void LayOut();
    core::ScanOptions Options() const;
    // The choices into the receiver's state, for the settings file.
    void StoreChoices();
    void Start();
    // State, notice, buttons and hits as the session has them.
    void Refresh();

    core::Receiver& receiver_;
    QRadioButton* memoryChoice_ = nullptr;
    QRadioButton* bandChoice_ = nullptr;
    QDoubleSpinBox* startMhz_ = nullptr;
    QDoubleSpinBox* stopMhz_ = nullptr;
    QDoubleSpinBox* stepKhz_ = nullptr;
    QComboBox* bandMode_ = nullptr;
    QSpinBox* thresholdDb_ = nullptr;
    QDoubleSpinBox* hangSeconds_ = nullptr;
    QCheckBox* fmSquelch_ = nullptr;
    QCheckBox* recordHits_ = nullptr;
    QPushButton* startButton_ = nullptr;
    QPushButton* stopButton_ = nullptr;
    QPushButton* skipButton_ = nullptr;
    QPushButton* lockOutButton_ = nullptr;
    QLabel* stateText_ = nullptr;
    QLabel* noticeText_ = nullptr;
    QListWidget* hitList_ = nullptr;
    uint64_t hitsShown_ = 0;
};

}  // namespace ui
