#include "ui/windows/ScanWindow.h"

#include "core/Receiver.h"
#include "core/ScanSession.h"
#include "ui/windows/MessageBoxes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
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
    const core::ScanOptions band = receiver_.Scan().OptionsFor(core::ScanKind::Band);
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

    thresholdDb_ = new QSpinBox(this);
    thresholdDb_->setObjectName("scanThreshold");
    thresholdDb_->setRange(1, 60);
    thresholdDb_->setSuffix(" dB");
    thresholdDb_->setValue(static_cast<int>(band.thresholdDb));
    hangSeconds_ = new QDoubleSpinBox(this);
    hangSeconds_->setObjectName("scanHang");
    hangSeconds_->setDecimals(1);
    hangSeconds_->setRange(0.0, 60.0);
    hangSeconds_->setSuffix(" s");
    hangSeconds_->setValue(band.hangSeconds);
    fmSquelch_ = new QCheckBox("FM: the squelch decides", this);
    fmSquelch_->setObjectName("scanFmSquelch");
    recordHits_ = new QCheckBox("Record each hit", this);
    recordHits_->setObjectName("scanRecord");

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

    connect(&receiver_.Scan(), &core::ScanSession::Changed, this, [this] { Refresh(); });
    Refresh();
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
