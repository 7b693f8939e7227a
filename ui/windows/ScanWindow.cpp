#include "ui/windows/ScanWindow.h"

#include "core/Receiver.h"
#include "core/ScanSession.h"
#include "ui/windows/MessageBoxes.h"
#include "ui/windows/Placement.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cmath>

namespace ui {

ScanWindow::ScanWindow(core::Receiver& receiver, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , receiver_(receiver)
{
    setObjectName("scanWindow");
    setWindowTitle("Scan");
    const core::ScanOptions options = receiver_.Scan().OptionsFor(core::ScanKind::Band);
    BuildBand(options);
    BuildChoices(options);
    BuildButtons();
    LayOut();
    // Every change of a choice is kept for the settings file: the window
    // may be open when the program closes.
    connect(thresholdDb_, &QSpinBox::valueChanged, this, [this] { StoreChoices(); });
    connect(hangSeconds_, &QDoubleSpinBox::valueChanged, this, [this] { StoreChoices(); });
    connect(fmSquelch_, &QCheckBox::toggled, this, [this] { StoreChoices(); });
    connect(recordHits_, &QCheckBox::toggled, this, [this] { StoreChoices(); });
    connect(&receiver_.Scan(), &core::ScanSession::Changed, this, [this] { Refresh(); });
    Refresh();
}

void ScanWindow::BuildBand(const core::ScanOptions& band)
{
    memoryChoice_ = new QRadioButton("Memory channels", this);
    memoryChoice_->setObjectName("scanMemory");
    bandChoice_ = new QRadioButton("Band", this);
    bandChoice_->setObjectName("scanBand");
    memoryChoice_->setChecked(true);

    auto mhz = [this](const char* name) {
        auto* box = new QDoubleSpinBox(this);
        box->setObjectName(name);
        box->setDecimals(6);
        box->setRange(0.0, 2147.483647);
        box->setSuffix(" MHz");
        return box;
    };
    startMhz_ = mhz("scanStart");
    startMhz_->setValue(band.bandStart / 1e6);
    stopMhz_ = mhz("scanStop");
    stopMhz_->setValue(band.bandStop / 1e6);
    stepKhz_ = new QDoubleSpinBox(this);
    stepKhz_->setObjectName("scanStep");
    stepKhz_->setDecimals(3);
    stepKhz_->setRange(0.001, 1000.0);
    stepKhz_->setSuffix(" kHz");
    stepKhz_->setValue(band.bandStep / 1e3);
    bandMode_ = new QComboBox(this);
    bandMode_->setObjectName("scanMode");
    bandMode_->addItems(core::MemoryChannels::ModeChoices());
    bandMode_->setCurrentIndex(core::Code(band.bandMode));
}

void ScanWindow::BuildChoices(const core::ScanOptions& stored)
{
    thresholdDb_ = new QSpinBox(this);
    thresholdDb_->setObjectName("scanThreshold");
    thresholdDb_->setRange(1, 60);
    thresholdDb_->setSuffix(" dB");
    thresholdDb_->setValue(static_cast<int>(stored.thresholdDb));
    hangSeconds_ = new QDoubleSpinBox(this);
    hangSeconds_->setObjectName("scanHang");
    hangSeconds_->setDecimals(1);
    hangSeconds_->setRange(0.0, 60.0);
    hangSeconds_->setSuffix(" s");
    hangSeconds_->setValue(stored.hangSeconds);
    fmSquelch_ = new QCheckBox("FM: the squelch decides", this);
    fmSquelch_->setObjectName("scanFmSquelch");
    fmSquelch_->setChecked(stored.fmSquelch);
    recordHits_ = new QCheckBox("Record each hit", this);
    recordHits_->setObjectName("scanRecord");
    recordHits_->setChecked(stored.recordHits);
}

void ScanWindow::BuildButtons()
{
    auto button = [this](const char* name, const char* caption) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        return b;
    };
    startButton_ = button("scanStartButton", "Start");
    stopButton_ = button("scanStopButton", "Stop");
    skipButton_ = button("scanSkipButton", "Skip");
    lockOutButton_ = button("scanLockOutButton", "Lock out");
    connect(startButton_, &QPushButton::clicked, this, [this] { Start(); });
    connect(stopButton_, &QPushButton::clicked, this, [this] { receiver_.Scan().Stop(); });
    connect(skipButton_, &QPushButton::clicked, this, [this] { receiver_.Scan().Skip(); });
    connect(lockOutButton_, &QPushButton::clicked, this, [this] { receiver_.Scan().LockOut(); });

    stateText_ = new QLabel(this);
    stateText_->setObjectName("scanState");
    noticeText_ = new QLabel(this);
    noticeText_->setObjectName("scanNotice");
    noticeText_->setWordWrap(true);
    hitList_ = new QListWidget(this);
    hitList_->setObjectName("scanHits");
}

void ScanWindow::LayOut()
{
    auto* kinds = new QHBoxLayout;
    kinds->addWidget(memoryChoice_);
    kinds->addWidget(bandChoice_);
    kinds->addStretch();
    auto* form = new QFormLayout;
    form->addRow("Start", startMhz_);
    form->addRow("Stop", stopMhz_);
    form->addRow("Step", stepKhz_);
    form->addRow("Mode", bandMode_);
    form->addRow("Threshold", thresholdDb_);
    form->addRow("Hang time", hangSeconds_);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {startButton_, stopButton_, skipButton_, lockOutButton_})
        buttons->addWidget(b);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(kinds);
    layout->addLayout(form);
    layout->addWidget(fmSquelch_);
    layout->addWidget(recordHits_);
    layout->addLayout(buttons);
    layout->addWidget(stateText_);
    layout->addWidget(noticeText_);
    layout->addWidget(hitList_, 1);
}

void ScanWindow::StoreChoices() { receiver_.Scan().StoreChoices(Options()); }

void ScanWindow::showEvent(QShowEvent* event)
{
    // A window never placed by the operator is placed by the desktop.
    const core::ReceiverState& s = receiver_.State();
    if (!event->spontaneous() && s.ScanStored)
        RestoreFramePosition(*this, {s.scanWindow.left, s.scanWindow.top});
    QWidget::showEvent(event);
}

void ScanWindow::changeEvent(QEvent* event)
{
    // Kept as the operator leaves it: the main window does not close this
    // one at exit, and a window loses the focus before the program closes.
    if (event->type() == QEvent::ActivationChange && isVisible() &&
        windowState() == Qt::WindowNoState)
        receiver_.StoreWindowPlace(core::Window::Scan, QRect(FramePosition(*this), size()));
    QWidget::changeEvent(event);
}

void ScanWindow::closeEvent(QCloseEvent* event)
{
    if (isVisible())
        receiver_.StoreWindowPlace(core::Window::Scan, QRect(FramePosition(*this), size()));
    QWidget::closeEvent(event);
}

core::ScanOptions ScanWindow::Options() const
{
    core::ScanOptions o = receiver_.Scan().OptionsFor(
        bandChoice_->isChecked() ? core::ScanKind::Band : core::ScanKind::Memory);
    o.bandStart = static_cast<int32_t>(std::llround(startMhz_->value() * 1e6));
    o.bandStop = static_cast<int32_t>(std::llround(stopMhz_->value() * 1e6));
    o.bandStep = static_cast<int32_t>(std::llround(stepKhz_->value() * 1e3));
    o.bandMode = core::FromCode<core::Mode>(bandMode_->currentIndex());
    o.thresholdDb = thresholdDb_->value();
    o.hangSeconds = hangSeconds_->value();
    o.fmSquelch = fmSquelch_->isChecked();
    o.recordHits = recordHits_->isChecked();
    return o;
}

void ScanWindow::Start()
{
    const QString refusal = receiver_.Scan().Start(Options());
    if (!refusal.isEmpty())
        ShowErrorBox(this, refusal);
}

void ScanWindow::StartMemoryScan()
{
    memoryChoice_->setChecked(true);
    Start();
}

void ScanWindow::Refresh()
{
    const core::ScanSession& scan = receiver_.Scan();
    stateText_->setText(scan.StateText());
    noticeText_->setText(scan.Notice());
    const bool running = scan.Running();
    startButton_->setEnabled(!running);
    stopButton_->setEnabled(running);
    skipButton_->setEnabled(running);
    lockOutButton_->setEnabled(running);
    // Rebuilt only when a hit came: the list is not redrawn per block.
    if (scan.HitCount() != hitsShown_) {
        hitList_->clear();
        for (const core::ScanHit& hit : scan.RecentHits())
            hitList_->addItem(core::HitText(hit));
        hitsShown_ = scan.HitCount();
    }
}

}  // namespace ui
