#pragma once

// "Wave recoder": the "REC" toggle that records the received audio into a WAV
// file, and the length of the audio in the file. A small tool window above
// all others; it keeps its place in the state's waveRecorderWindow. Closing it leaves a
// recording running.

#include <QWidget>

class QLabel;
class QToolButton;

namespace core {
class Receiver;
}

namespace ui {

class WaveRecorderWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kClientWidth = 223;
    static constexpr int kClientHeight = 31;

    explicit WaveRecorderWindow(core::Receiver& receiver, QWidget* parent = nullptr);

    QToolButton* RecButton() const { return recButton_; }
    QLabel* TimePanel() const { return timePanel_; }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // REC, the time text and its colour as the recorder stands.
    void Refresh();

    core::Receiver& receiver_;
    QToolButton* recButton_ = nullptr;
    QLabel* timePanel_ = nullptr;
};

}  // namespace ui
