#include "ui/windows/WaveRecorderWindow.h"

#include "core/Receiver.h"
#include "ui/windows/Placement.h"

#include <QCloseEvent>
#include <QLabel>
#include <QShowEvent>
#include <QToolButton>

namespace ui {

WaveRecorderWindow::WaveRecorderWindow(core::Receiver& receiver, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint)
    , receiver_(receiver)
{
    setObjectName("waveRecorderWindow");
    setWindowTitle("Wave recoder");
    setFixedSize(kClientWidth, kClientHeight);

    recButton_ = new QToolButton(this);
    recButton_->setObjectName("recButton");
    recButton_->setText("REC");
    recButton_->setCheckable(true);
    recButton_->setGeometry(3, 3, 60, 25);
    QPalette red = recButton_->palette();
    red.setColor(QPalette::ButtonText, Qt::red);
    recButton_->setPalette(red);

    timePanel_ = new QLabel(this);
    timePanel_->setObjectName("timePanel");
    timePanel_->setGeometry(66, 3, 154, 25);
    timePanel_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    timePanel_->setAlignment(Qt::AlignCenter);
    timePanel_->setAutoFillBackground(true);
    QFont large = timePanel_->font();
    large.setPixelSize(16);
    timePanel_->setFont(large);

    connect(recButton_, &QToolButton::clicked, this, [this](bool down) {
        // A file that cannot be created leaves REC up.
        if (!receiver_.WaveRecord(down))
            recButton_->setChecked(false);
    });
    // Every block recorded, the stop, and a stop after a failed write.
    connect(&receiver_, &core::Receiver::WaveStateChanged, this, [this] { Refresh(); });
    Refresh();
}

void WaveRecorderWindow::Refresh()
{
    const bool recording = receiver_.WaveRecording();
    recButton_->setChecked(recording);
    const QString text = receiver_.WaveTimeText();
    if (timePanel_->text() != text)
        timePanel_->setText(text);
    QPalette p = timePanel_->palette();
    const QColor ink = recording ? QColor(255, 255, 255) : QColor(128, 128, 128);
    if (p.color(QPalette::WindowText) != ink || p.color(QPalette::Window) != Qt::black) {
        p.setColor(QPalette::Window, Qt::black);
        p.setColor(QPalette::WindowText, ink);
        timePanel_->setPalette(p);
    }
}

void WaveRecorderWindow::showEvent(QShowEvent* event)
{
    if (!event->spontaneous()) {
        const core::ReceiverState& s = receiver_.State();
        RestoreFramePosition(*this, {s.waveRecorderWindow.left, s.waveRecorderWindow.top});
    }
    QWidget::showEvent(event);
}

void WaveRecorderWindow::closeEvent(QCloseEvent* event)
{
    // Only the window goes: a recording goes on. The main window closes
    // every window at exit, also one that never showed this run: its place
    // is the stored one, not where it stands.
    if (isVisible()) {
        receiver_.StoreWindowPlace(core::Window::WaveRecorder, QRect(FramePosition(*this), size()));
    }
    QWidget::closeEvent(event);
}

}  // namespace ui
