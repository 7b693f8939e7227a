#include "ui/MainWindow.h"

#include "ui/ImageBox.h"
#include "ui/paint/Knob.h"
#include "ui/windows/AfFilterWindow.h"
#include "ui/windows/DeviceRestartNotice.h"
#include "ui/windows/IfFilterWindow.h"
#include "ui/windows/MemoryListWindow.h"
#include "ui/windows/Placement.h"
#include "ui/windows/SettingsDialog.h"
#include "ui/windows/SpectrumWindow.h"
#include "ui/windows/VersionWindow.h"
#include "ui/windows/WaveRecorderWindow.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QSortFilterProxyModel>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>

#include <algorithm>
#include <cstdlib>

namespace ui {

namespace {

constexpr int kRow1 = 94;
constexpr int kRow2 = 129;

template <class Choice>
int Id(Choice choice)
{
    return static_cast<int>(choice);
}

// The "Open" dialog's list: folders, and the files that are recordings.
class RecordingsOnly : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override
    {
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (!files)
            return true;
        const QModelIndex index = files->index(row, 0, parent);
        return files->isDir(index) ||
               core::Receiver::ListedAsRecording(files->filePath(index).toStdString());
    }
};

}  // namespace

MainWindow::MainWindow(core::ReceiverPaths paths, audio::AudioApi api, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint)
    , receiver_(std::make_unique<core::Receiver>(std::move(paths)))
{
    setObjectName("mainWindow");
    setWindowTitle("Tesmar");
    setFixedSize(kClientWidth, kClientHeight);
    // The layout's buttons are small; a compact face keeps "Settings" and
    // "Spectrum" inside their 50 pixels.
    QFont small = font();
    small.setPixelSize(11);
    setFont(small);
    BuildLayout();
    meterPainter_ = std::make_unique<SignalMeter>(
        QString::fromStdString((receiver_->Paths().programDirectory / "Meter.bmp").string()));
    ConnectControls();
    ConnectReceiver();

    receiver_->SetAudioApi(api);
    receiver_->Start();
    SetButtonsFromState();
    SetRawButtonsFromReceiver();
    PaintDisplay();
    PaintMeter();
    DrawKnob(core::Knob::Vol, false);
    DrawKnob(core::Knob::Sql, false);
}

MainWindow::~MainWindow()
{
    // The capture device, then the playback device.
    receiver_->CloseDevices();
}

QToolButton* MainWindow::Button(const char* name, const char* caption, int left, int top, int width,
                                int height, bool checkable)
{
    auto* b = new QToolButton(this);
    b->setObjectName(name);
    b->setText(caption);
    b->setGeometry(left, top, width, height);
    b->setCheckable(checkable);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    b->setStyleSheet("QToolButton { padding: 0px; }");
    // Keys belong to the window (tuning and frequency entry), never to a button.
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

void MainWindow::Caption(const char* text, int left, int top, int width)
{
    auto* label = new QLabel(text, this);
    QFont f = label->font();
    f.setPixelSize(10);
    label->setFont(f);
    label->setGeometry(left, top, width, 12);
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Raised);
    line->setGeometry(left, top + 11, width, 3);
}

void MainWindow::BuildLayout()
{
    using core::AfChoice;
    using core::AgcSpeed;
    using core::IfChoice;
    using core::Mode;

    BuildDisplayPanels();

    Caption("Mode", 8, kRow1 - 15, 224);
    Caption("AGC", 243, kRow1 - 15, 132);
    Caption("IF Band Width", 8, kRow2 - 15, 224);
    Caption("AF Filter", 243, kRow2 - 15, 132);
    Caption("DSP", 391, kRow1 - 15, 132);
    Caption("Raw File", 391, kRow2 - 15, 132);
    Caption("VOL", 553, 97, 32);
    Caption("SQL", 616, 97, 32);
    Caption("Step", 673, 95, 41);

    // The mode buttons sit in the order AM, FM, LSB, USB, CW; they are
    // indexed by the mode's code.
    modeButtons_[Id(Mode::Am)] = Button("modeButtonAm", "AM", 8, kRow1, 40, 20, true);
    modeButtons_[Id(Mode::Fm)] = Button("modeButtonFm", "FM", 54, kRow1, 40, 20, true);
    modeButtons_[Id(Mode::Lsb)] = Button("modeButtonLsb", "LSB", 100, kRow1, 40, 20, true);
    modeButtons_[Id(Mode::Usb)] = Button("modeButtonUsb", "USB", 146, kRow1, 40, 20, true);
    modeButtons_[Id(Mode::Cw)] = Button("modeButtonCw", "CW", 192, kRow1, 40, 20, true);

    agcButtons_[Id(AgcSpeed::Fast)] = Button("agcButtonFast", "Fast", 243, kRow1, 40, 20, true);
    agcButtons_[Id(AgcSpeed::Middle)] =
        Button("agcButtonMiddle", "Middle", 289, kRow1, 40, 20, true);
    agcButtons_[Id(AgcSpeed::Slow)] = Button("agcButtonSlow", "Slow", 335, kRow1, 40, 20, true);

    ifButtons_[Id(IfChoice::Khz0_5)] = Button("ifButton0_5", "0.5 k", 8, kRow2, 40, 20, true);
    ifButtons_[Id(IfChoice::Khz3)] = Button("ifButton3", "3.0 k", 54, kRow2, 40, 20, true);
    ifButtons_[Id(IfChoice::Khz6)] = Button("ifButton6", "6.0 k", 100, kRow2, 40, 20, true);
    ifButtons_[Id(IfChoice::Khz12)] = Button("ifButton12", "12.0 k", 146, kRow2, 40, 20, true);
    ifButtons_[Id(IfChoice::User)] = Button("ifButtonUser", "User", 192, kRow2, 40, 20, true);

    afButtons_[Id(AfChoice::Khz3)] = Button("afButton3", "3.0 k", 243, kRow2, 40, 20, true);
    afButtons_[Id(AfChoice::Khz6)] = Button("afButton6", "6.0 k", 289, kRow2, 40, 20, true);
    afButtons_[Id(AfChoice::User)] = Button("afButtonUser", "User", 335, kRow2, 40, 20, true);

    auto group = [this](auto& buttons) {
        auto* g = new QButtonGroup(this);
        for (std::size_t id = 0; id < buttons.size(); ++id)
            g->addButton(buttons[id], static_cast<int>(id));
        return g;
    };
    modeGroup_ = group(modeButtons_);
    agcGroup_ = group(agcButtons_);
    ifGroup_ = group(ifButtons_);
    afGroup_ = group(afButtons_);

    BuildDspAndRawFileButtons();
    BuildKnobsAndWindowButtons();
    // Made last, so that it lies over the display.
    BuildSoundNotice();
}

// The meter and the frequency display, each an image in a sunken panel.
void MainWindow::BuildDisplayPanels()
{
    meterPanel_ = new QFrame(this);
    meterPanel_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    meterPanel_->setLineWidth(1);
    meterPanel_->setGeometry(8, 8, 142, 72);
    meter_ = new ImageBox(meterPanel_, 1, 1, SignalMeter::kWidth, SignalMeter::kHeight);
    meter_->setObjectName("meter");

    displayPanel_ = new QFrame(this);
    displayPanel_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    displayPanel_->setLineWidth(1);
    displayPanel_->setGeometry(152, 8, 473, 72);
    frequencyDisplay_ =
        new ImageBox(displayPanel_, 1, 1, FrequencyDisplay::kWidth, FrequencyDisplay::kHeight);
    frequencyDisplay_->setObjectName("frequencyDisplay");
}

// "3D", "NR", "AN" and the raw-file buttons "Rec", "Open", "Play".
void MainWindow::BuildDspAndRawFileButtons()
{
    threeDButton_ = Button("threeDButton", "3D", 391, kRow1, 40, 20, true);
    noiseReductionButton_ = Button("noiseReductionButton", "NR", 437, kRow1, 40, 20, true);
    cancellerButton_ = Button("cancellerButton", "AN", 483, kRow1, 40, 20, true);

    recButton_ = Button("recButton", "Rec", 391, kRow2, 40, 20, true);
    QPalette red = recButton_->palette();
    // Red while it can be pressed; disabled (during playback) it greys out
    // like the other buttons.
    red.setColor(QPalette::Active, QPalette::ButtonText, Qt::red);
    red.setColor(QPalette::Inactive, QPalette::ButtonText, Qt::red);
    recButton_->setPalette(red);
    openButton_ = Button("openButton", "Open", 437, kRow2, 40, 20, false);
    playButton_ = Button("playButton", "Play", 483, kRow2, 40, 20, true);
    playButton_->setEnabled(false);
}

// VOL and SQL, the step buttons, and the buttons that open the other windows
// (with "Monitor" among them).
void MainWindow::BuildKnobsAndWindowButtons()
{
    volumeKnob_ = new ImageBox(this, 553, 112, kKnobSize, kKnobSize);
    volumeKnob_->setObjectName("volumeKnob");
    squelchKnob_ = new ImageBox(this, 616, 112, kKnobSize, kKnobSize);
    squelchKnob_->setObjectName("squelchKnob");

    stepUpButton_ = Button("stepUpButton", "Up", 673, 110, 41, 16, false);
    stepDownButton_ = Button("stepDownButton", "Down", 673, 130, 41, 16, false);

    keyButton_ = Button("keyButton", "Key", 631, 8, 40, 20, false);
    listButton_ = Button("listButton", "List", 631, 34, 40, 20, false);
    waveButton_ = Button("waveButton", "Wave", 631, 60, 40, 20, false);
    settingsButton_ = Button("settingsButton", "Settings", 677, 8, 50, 20, false);
    spectrumButton_ = Button("spectrumButton", "Spectrum", 677, 34, 50, 20, false);
    monitorButton_ = Button("monitorButton", "Monitor", 677, 60, 50, 20, true);
    for (QToolButton* b : {settingsButton_, spectrumButton_, monitorButton_}) {
        QFont f = b->font();
        f.setPixelSize(10);
        b->setFont(f);
    }
}

// A lost sound device, told in a strip the window grows by below its
// controls: every part of the display and the meter is a reading.
void MainWindow::BuildSoundNotice()
{
    soundNotice_ = new QLabel(this);
    soundNotice_->setObjectName("soundNotice");
    soundNotice_->setGeometry(8, kClientHeight, kClientWidth - 16, kNoticeHeight - 4);
    soundNotice_->setWordWrap(true);
    soundNotice_->setAlignment(Qt::AlignCenter);
    soundNotice_->setAutoFillBackground(true);
    soundNotice_->setStyleSheet("QLabel { background: #fff3b0; color: black; }");
    soundNotice_->setAttribute(Qt::WA_TransparentForMouseEvents);
    soundNotice_->hide();
}

void MainWindow::ConnectControls()
{
    core::Receiver& r = *receiver_;

    // Grouped buttons act whenever they are down after the click, also when
    // they were down already.
    connect(modeGroup_, &QButtonGroup::idClicked, this,
            [&r](int id) { r.SelectMode(static_cast<core::Mode>(id)); });
    connect(agcGroup_, &QButtonGroup::idClicked, this,
            [&r](int id) { r.SelectAgc(static_cast<core::AgcSpeed>(id)); });
    connect(ifGroup_, &QButtonGroup::idClicked, this,
            [&r](int id) { r.SelectIfFilter(static_cast<core::IfChoice>(id)); });
    connect(afGroup_, &QButtonGroup::idClicked, this,
            [&r](int id) { r.SelectAfFilter(static_cast<core::AfChoice>(id)); });
    connect(threeDButton_, &QToolButton::clicked, this, [&r](bool down) { r.Set3D(down); });
    connect(noiseReductionButton_, &QToolButton::clicked, this,
            [&r](bool down) { r.SetNoiseReduction(down); });
    connect(cancellerButton_, &QToolButton::clicked, this,
            [&r](bool down) { r.SetCanceller(down); });
    connect(monitorButton_, &QToolButton::clicked, this, [&r](bool down) { r.SetMonitor(down); });
    connect(recButton_, &QToolButton::clicked, this, [&r](bool down) { r.Rec(down); });
    connect(playButton_, &QToolButton::clicked, this, [&r](bool down) { r.Play(down); });
    connect(openButton_, &QToolButton::clicked, this, [this] { ChooseRawFile(); });
    connect(stepUpButton_, &QToolButton::clicked, this, [&r] { r.StepUp(); });
    connect(stepDownButton_, &QToolButton::clicked, this, [&r] { r.StepDown(); });

    // An open window comes to the front with the keyboard, as a new one does.
    auto bringUp = [](QWidget* window) {
        if (window == nullptr)
            return;
        window->show();
        window->raise();
        window->activateWindow();
    };
    connect(keyButton_, &QToolButton::clicked, this, [this, bringUp] { bringUp(windows_.keypad); });
    connect(listButton_, &QToolButton::clicked, this,
            [this, bringUp] { bringUp(windows_.memoryList); });
    connect(waveButton_, &QToolButton::clicked, this,
            [this, bringUp] { bringUp(windows_.waveRecorder); });
    connect(spectrumButton_, &QToolButton::clicked, this,
            [this, bringUp] { bringUp(windows_.spectrum); });
    connect(settingsButton_, &QToolButton::clicked, this, [this] {
        // Modal for the whole application, without a nested event loop
        // (open() would make it modal for its parent window only).
        if (windows_.settings)
            windows_.settings->show();
    });

    for (auto [box, knob] :
         {std::pair{volumeKnob_, core::Knob::Vol}, std::pair{squelchKnob_, core::Knob::Sql}}) {
        connect(box, &ImageBox::Entered, this,
                [this, &r, knob = knob] { r.HoverKnob(knob, isActiveWindow()); });
        connect(box, &ImageBox::Left, this, [&r, knob = knob] { r.LeaveKnob(knob); });
        connect(box, &ImageBox::Released, this, [&r, knob = knob](Qt::MouseButton b, int x, int y) {
            if (b == Qt::LeftButton)
                r.SetKnobFromPoint(knob, x, y);
        });
    }
}

void MainWindow::ConnectReceiver()
{
    core::Receiver& r = *receiver_;
    connect(&r, &core::Receiver::BlockProcessed, this, [this] {
        PaintDisplay();
        PaintMeter();
    });
    connect(&r, &core::Receiver::DisplayChanged, this, [this] { PaintDisplay(); });
    connect(&r, &core::Receiver::ComLampChanged, this, [this] { PaintDisplay(); });
    connect(&r, &core::Receiver::ButtonsChanged, this, [this] { SetButtonsFromState(); });
    connect(&r, &core::Receiver::RawButtonsChanged, this, [this] {
        SetRawButtonsFromReceiver();
        PaintDisplay();
    });
    connect(&r, &core::Receiver::KnobRedraw, this,
            [this](core::Knob knob, bool highlighted) { DrawKnob(knob, highlighted); });
    connect(&r, &core::Receiver::ShowError, this,
            [this](const QString& message, bool beep) { ShowErrorBox(message, beep); });
    connect(&r, &core::Receiver::SoundNoticeChanged, this, &MainWindow::ShowSoundNotice);
    connect(&r, &core::Receiver::RadioNoticeChanged, this, &MainWindow::ShowNotices);
    // A filter window redraws only while showing; "User" redraws and shows it.
    auto filterWindowUpdate = [](FilterWindow* window, bool show) {
        if (!window)
            return;
        if (show || window->isVisible())
            window->Redraw();
        if (show)
            window->show();
    };
    connect(&r, &core::Receiver::IfWindowUpdate, this,
            [this, filterWindowUpdate](bool show) { filterWindowUpdate(windows_.ifFilter, show); });
    connect(&r, &core::Receiver::AfWindowUpdate, this,
            [this, filterWindowUpdate](bool show) { filterWindowUpdate(windows_.afFilter, show); });
    connect(&r, &core::Receiver::DeviceRestartStarted, this, [this] {
        if (windows_.deviceRestartNotice)
            windows_.deviceRestartNotice->show();
    });
    connect(&r, &core::Receiver::DeviceRestartFinished, this, [this] {
        if (windows_.deviceRestartNotice)
            windows_.deviceRestartNotice->close();
    });
}

void MainWindow::SetSecondaryWindows(const SecondaryWindows& windows)
{
    windows_ = windows;
    PlaceBesideThis(this);
    // The chain analyses the spectrum only while its window shows.
    if (windows_.spectrum)
        windows_.spectrum->installEventFilter(this);
    if (windows_.keypad) {
        windows_.keypad->KeypadKey = [this](int code) { receiver_->KeypadKey(code); };
        windows_.keypad->LoadPosition = [this] {
            const auto& s = receiver_->State();
            return QPoint(s.keypadWindow.left, s.keypadWindow.top);
        };
        windows_.keypad->StorePosition = [this](QPoint p) {
            receiver_->StoreWindowPlace(core::Window::Keypad, QRect(p, QSize(0, 0)));
        };
    }
    if (windows_.deviceRestartNotice && windows_.settings)
        windows_.deviceRestartNotice->SetSettingsDialog(windows_.settings);
    if (windows_.settings) {
        windows_.settings->ApplyMostTop = [this] { ApplyMostTop(); };
        windows_.settings->SetVersionWindow(windows_.version);
    }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == windows_.spectrum) {
        if (event->type() == QEvent::Show)
            receiver_->SetSpectrumVisible(true);
        else if (event->type() == QEvent::Hide)
            receiver_->SetSpectrumVisible(false);
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::SetButtonsFromState()
{
    const core::Receiver& r = *receiver_;
    modeButtons_[Id(r.SelectedMode())]->setChecked(true);
    agcButtons_[Id(r.SelectedAgc())]->setChecked(true);
    ifButtons_[Id(r.SelectedIfFilter())]->setChecked(true);
    afButtons_[Id(r.SelectedAfFilter())]->setChecked(true);
    const core::ReceiverState& s = r.State();
    threeDButton_->setChecked(s.DSP3D);
    noiseReductionButton_->setChecked(s.DSPNR);
    cancellerButton_->setChecked(s.DSPAN);
}

void MainWindow::SetRawButtonsFromReceiver()
{
    const core::Receiver& r = *receiver_;
    recButton_->setChecked(r.RecDown());
    recButton_->setEnabled(r.RecEnabled());
    openButton_->setEnabled(r.OpenEnabled());
    playButton_->setChecked(r.PlayDown());
    playButton_->setEnabled(r.PlayEnabled());
    monitorButton_->setChecked(r.MonitorDown());
}

void MainWindow::PaintDisplay()
{
    const core::ReceiverState& s = receiver_->State();
    const dsp::BlockOutputs& out = receiver_->Outputs();
    DisplayInputs in;
    in.FreqCenter = s.FreqCenter;
    in.FreqTune = s.FreqTune;
    in.TuneStep = s.TuneStep;
    in.FreqEntry = s.FreqEntry;
    in.MemoryMode = s.MemoryMode;
    in.MemName = s.MemName;
    in.RawPlaying = receiver_->RawPlaying();
    in.RawRecording = receiver_->RawRecording();
    in.RawTimeText = receiver_->RawTime();
    in.SqlBusy = out.SqlBusy;
    in.RadioLinkOk = receiver_->RadioLinkOk();
    in.AudioOver = out.AudioOver;
    displayPainter_.PaintDisplay(in);
    frequencyDisplay_->SetImage(displayPainter_.Image());
}

void MainWindow::PaintMeter()
{
    meterPainter_->PaintMeter(receiver_->Outputs().AGCTrace.data());
    meter_->SetImage(meterPainter_->Image());
}

void MainWindow::DrawKnob(core::Knob knob, bool highlighted)
{
    const QColor face = palette().color(QPalette::Button);
    const QColor highlight = palette().color(QPalette::Highlight);
    if (knob == core::Knob::Vol) {
        volumeKnobImage_ = ui::DrawKnob(receiver_->KnobAngle(knob), highlighted, face, highlight);
        volumeKnob_->SetImage(volumeKnobImage_);
    } else if (knob == core::Knob::Sql) {
        squelchKnobImage_ = ui::DrawKnob(receiver_->KnobAngle(knob), highlighted, face, highlight);
        squelchKnob_->SetImage(squelchKnobImage_);
    }
}

void MainWindow::ApplyMostTop()
{
    const bool top = receiver_->State().alwaysOnTop;
    if (top != bool(windowFlags() & Qt::WindowStaysOnTopHint)) {
        // Changing the flag re-creates the native window, which hides it.
        setWindowFlag(Qt::WindowStaysOnTopHint, top);
        show();
    }
    raise();
    // A box the window waits on stays above it.
    for (QMessageBox* box : findChildren<QMessageBox*>(Qt::FindDirectChildrenOnly))
        if (box->isVisible())
            box->raise();
}

void MainWindow::ShowErrorBox(const QString& message, bool beep)
{
    if (closing_ && terminating_)
        return;  // the receiver has logged it and keeps it for the next start
    if (!boxesMayOpen_ && !closing_) {
        heldBoxes_.emplace_back(message, beep);
        return;
    }
    if (beep)
        QApplication::beep();
    auto* box =
        new QMessageBox(QMessageBox::Critical, windowTitle(), message, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    if (closing_) {
        // The window is on its way out: the operator must still see why the
        // settings were not saved. A termination signal meanwhile gives the
        // box up, and the message is then shown at the next start.
        closeErrorBox_ = box;
        box->exec();
        closeErrorBox_ = nullptr;
        if (!terminating_)
            receiver_->CloseErrorsSeen();
        return;
    }
    // Modal for the operator, but no nested event loop: the handler that
    // reported the error has finished before anything else runs.
    box->setWindowModality(Qt::WindowModal);
    box->open();
}

void MainWindow::ShowSoundNotice()
{
    ShowNotices();
    if (receiver_->SoundDeviceLost())
        QApplication::beep();
}

void MainWindow::ShowNotices()
{
    QStringList lines;
    for (const QString& line : {receiver_->SoundNoticeText(), receiver_->RadioNoticeText()})
        if (!line.isEmpty())
            lines << line;
    soundNotice_->setText(lines.join(QLatin1Char('\n')));
    soundNotice_->setVisible(!lines.isEmpty());
    // In a strip below the controls, so that it hides no reading; the window
    // grows by the strip while it shows, as high as what it says needs.
    const int width = kClientWidth - 16;
    const int height = std::max(kNoticeHeight - 4, soundNotice_->heightForWidth(width));
    soundNotice_->setGeometry(8, kClientHeight, width, height);
    setFixedSize(kClientWidth, kClientHeight + (lines.isEmpty() ? 0 : height + 4));
}

void MainWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!shownOnce_) {
        shownOnce_ = true;
        ShowSecondaryWindows();
        // What the last run could not save when it was ended.
        const QString notice = receiver_->TakeNoticeFromLastRun();
        if (!notice.isEmpty())
            ShowErrorBox(notice, true);
        // The window's native window is made and raised by now; boxes made
        // after it lie above it also where no window manager stacks them.
        QTimer::singleShot(0, this, [this] {
            boxesMayOpen_ = true;
            for (const auto& [message, beep] : std::exchange(heldBoxes_, {}))
                ShowErrorBox(message, beep);
        });
    }
}

void MainWindow::CloseForTermination()
{
    terminating_ = true;
    if (closeErrorBox_) {
        closeErrorBox_->reject();
        return;
    }
    close();
}

void MainWindow::ShowSecondaryWindows()
{
    const core::ReceiverState& s = receiver_->State();
    RestoreFramePosition(*this, {s.mainWindow.left, s.mainWindow.top});
    const core::WindowsShowing showing = receiver_->WindowsToShow();
    auto showIf = [](bool flag, QWidget* w) {
        if (flag && w)
            w->show();
    };
    showIf(showing.spectrum, windows_.spectrum);
    showIf(showing.ifFilter, windows_.ifFilter);
    showIf(showing.keypad, windows_.keypad);
    showIf(showing.memoryList, windows_.memoryList);
    showIf(showing.afFilter, windows_.afFilter);
    showIf(showing.waveRecorder, windows_.waveRecorder);
    ApplyMostTop();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (closing_) {
        event->accept();
        return;
    }
    closing_ = true;
    receiver_->StoreWindowPlace(core::Window::Main, QRect(FramePosition(*this), size()));
    core::WindowsShowing showing;
    auto visible = [](QWidget* w) { return w && w->isVisible(); };
    showing.spectrum = visible(windows_.spectrum);
    showing.ifFilter = visible(windows_.ifFilter);
    showing.keypad = visible(windows_.keypad);
    showing.memoryList = visible(windows_.memoryList);
    showing.afFilter = visible(windows_.afFilter);
    showing.waveRecorder = visible(windows_.waveRecorder);
    for (QWidget* w :
         {static_cast<QWidget*>(windows_.spectrum), static_cast<QWidget*>(windows_.ifFilter),
          static_cast<QWidget*>(windows_.keypad), static_cast<QWidget*>(windows_.memoryList),
          static_cast<QWidget*>(windows_.afFilter), static_cast<QWidget*>(windows_.waveRecorder)}) {
        if (w)
            w->close();
    }
    receiver_->Shutdown(showing);
    event->accept();
    // The other windows are top-level too: the application ends with the
    // main window.
    QTimer::singleShot(0, qApp, &QApplication::quit);
}

void MainWindow::keyPressEvent(QKeyEvent* event)
{
    pressed_.Pressed(event->key());
    if (const int d = StepDirectionFromQt(event->key()))
        receiver_->StepTune(d);
    else
        QWidget::keyPressEvent(event);
}

void MainWindow::keyReleaseEvent(QKeyEvent* event)
{
    // Only the release of a press this window saw: not the Enter that closed
    // an error box or confirmed the file dialog over it.
    if (event->isAutoRepeat() || !pressed_.Released(event->key()))
        return;
    const int code = VirtualKeyFromQt(event->key(), event->modifiers());
    if (code >= 0)
        receiver_->KeypadKey(code);
}

void MainWindow::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange && !isActiveWindow())
        pressed_.Clear();
    QWidget::changeEvent(event);
}

void MainWindow::wheelEvent(QWheelEvent* event)
{
    // One step per whole notch, also from wheels that report finer parts.
    const int notches = wheel_.Add(event->angleDelta().y());
    for (int n = 0; n < std::abs(notches); ++n)
        receiver_->StepTune(notches > 0 ? 1 : -1);
    event->accept();
}

void MainWindow::ChooseRawFile()
{
    // Every recording "Open" plays, ours and other programs': the dialog
    // starts there, not on our own "DAT" alone.
    const QString everyRecording = QStringLiteral(
        "IQ recordings (*.dat *.wav *.WAV *.rf64 *.RF64 *.sigmf-meta *.sigmf-data *.sdriq "
        "*_fc.raw)");
    auto* dialog = new QFileDialog(
        this, QString(), QString::fromStdString(receiver_->OpenFolder().string()),
        "DAT (*.dat);;" + everyRecording +
            ";;WAV, RF64 (*.wav *.WAV *.rf64 *.RF64);;SigMF (*.sigmf-meta);;SDRIQ (*.sdriq);;"
            "Complex float (*_fc.raw);;All files (*)");
    dialog->selectNameFilter(everyRecording);
    dialog->setObjectName("openRawFileDialog");
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::ExistingFile);
    // Our own list, so that WAV files that are no IQ recordings stay out.
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setProxyModel(new RecordingsOnly(dialog));
    connect(dialog, &QFileDialog::fileSelected, this,
            [this](const QString& file) { receiver_->OpenRawFile(file.toStdString()); });
    dialog->open();
}

}  // namespace ui
