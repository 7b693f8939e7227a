#include "ui/Recoding.h"

#include "audio/AudioEngine.h"
#include "audio/SoundPlayer.h"
#include "dsp/SignalChain.h"
#include "ui/paint/Knob.h"
#include "ui/windows/AfFilterWindow.h"
#include "ui/windows/DeviceNotice.h"
#include "ui/windows/IfFilterWindow.h"
#include "ui/windows/Keypad.h"
#include "ui/windows/MemoryListWindow.h"
#include "ui/windows/SettingsWindow.h"
#include "ui/windows/SpectrumWindow.h"
#include "ui/windows/WaveRecoderWindow.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>

namespace ui {

// --- ImageBox ---------------------------------------------------------------

ImageBox::ImageBox(QWidget* parent, int left, int top, int width, int height)
    : QWidget(parent)
    , image_(&own_)
{
    setGeometry(left, top, width, height);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ImageBox::SetImage(const QImage& image)
{
    // The painters keep their pictures for the window's life; pointing at
    // them avoids a copy per block.
    image_ = &image;
    update();
}

void ImageBox::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (image_->isNull())
        p.fillRect(rect(), palette().window());
    else
        p.drawImage(0, 0, *image_);
}

void ImageBox::enterEvent(QEnterEvent*) { emit Entered(); }
void ImageBox::leaveEvent(QEvent*) { emit Left(); }

void ImageBox::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    emit Released(event->button(), at.x(), at.y());
}

// --- TForm1 -----------------------------------------------------------------

namespace {

constexpr int kRow1 = 94;
constexpr int kRow2 = 129;

}  // namespace

TForm1::TForm1(core::ReceiverPaths paths, audio::AudioApi api, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint)
    , receiver_(std::make_unique<core::Receiver>(std::move(paths)))
    , sounds_(std::make_unique<audio::SoundPlayer>())
{
    setObjectName("Form1");
    setWindowTitle("Tesmar");
    setFixedSize(kClientWidth, kClientHeight);
    // The layout's buttons are small; a compact face keeps "Settings" and
    // "Spectrum" inside their 50 pixels.
    QFont small = font();
    small.setPixelSize(11);
    setFont(small);
    BuildLayout();
    meter_ = std::make_unique<SignalMeter>(
        QString::fromStdString((receiver_->Paths().programDirectory / "Meter.bmp").string()));
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

TForm1::~TForm1()
{
    // FormDestroy: the capture device, then the playback device.
    receiver_->FormDestroy();
}

QToolButton* TForm1::Button(const char* name, const char* caption, int left, int top, int width,
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

void TForm1::Caption(const char* text, int left, int top, int width)
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

void TForm1::BuildLayout()
{
    Panel3 = new QFrame(this);
    Panel3->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel3->setLineWidth(1);
    Panel3->setGeometry(8, 8, 142, 72);
    Image3 = new ImageBox(Panel3, 1, 1, SignalMeter::kWidth, SignalMeter::kHeight);
    Image3->setObjectName("Image3");

    Panel2 = new QFrame(this);
    Panel2->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel2->setLineWidth(1);
    Panel2->setGeometry(152, 8, 473, 72);
    Image1 = new ImageBox(Panel2, 1, 1, FrequencyDisplay::kWidth, FrequencyDisplay::kHeight);
    Image1->setObjectName("Image1");

    Caption("Mode", 8, kRow1 - 15, 224);
    Caption("AGC", 243, kRow1 - 15, 132);
    Caption("IF Band Width", 8, kRow2 - 15, 224);
    Caption("AF Filter", 243, kRow2 - 15, 132);
    Caption("DSP", 391, kRow1 - 15, 132);
    Caption("Raw File", 391, kRow2 - 15, 132);
    Caption("VOL", 553, 97, 32);
    Caption("SQL", 616, 97, 32);
    Caption("Step", 673, 95, 41);

    SpeedButton17 = Button("SpeedButton17", "AM", 8, kRow1, 40, 20, true);
    SpeedButton18 = Button("SpeedButton18", "FM", 54, kRow1, 40, 20, true);
    SpeedButton19 = Button("SpeedButton19", "LSB", 100, kRow1, 40, 20, true);
    SpeedButton20 = Button("SpeedButton20", "USB", 146, kRow1, 40, 20, true);
    SpeedButton21 = Button("SpeedButton21", "CW", 192, kRow1, 40, 20, true);
    modeGroup_ = new QButtonGroup(this);
    modeGroup_->addButton(SpeedButton17, dsp::kModeAM);
    modeGroup_->addButton(SpeedButton18, dsp::kModeFM);
    modeGroup_->addButton(SpeedButton19, dsp::kModeLSB);
    modeGroup_->addButton(SpeedButton20, dsp::kModeUSB);
    modeGroup_->addButton(SpeedButton21, dsp::kModeCW);

    SpeedButton22 = Button("SpeedButton22", "Fast", 243, kRow1, 40, 20, true);
    SpeedButton23 = Button("SpeedButton23", "Middle", 289, kRow1, 40, 20, true);
    SpeedButton24 = Button("SpeedButton24", "Slow", 335, kRow1, 40, 20, true);
    agcGroup_ = new QButtonGroup(this);
    agcGroup_->addButton(SpeedButton22, 0);
    agcGroup_->addButton(SpeedButton23, 1);
    agcGroup_->addButton(SpeedButton24, 2);

    SpeedButton25 = Button("SpeedButton25", "0.5 k", 8, kRow2, 40, 20, true);
    SpeedButton26 = Button("SpeedButton26", "3.0 k", 54, kRow2, 40, 20, true);
    SpeedButton27 = Button("SpeedButton27", "6.0 k", 100, kRow2, 40, 20, true);
    SpeedButton28 = Button("SpeedButton28", "12.0 k", 146, kRow2, 40, 20, true);
    SpeedButton29 = Button("SpeedButton29", "User", 192, kRow2, 40, 20, true);
    ifGroup_ = new QButtonGroup(this);
    ifGroup_->addButton(SpeedButton25, 0);
    ifGroup_->addButton(SpeedButton26, 1);
    ifGroup_->addButton(SpeedButton27, 2);
    ifGroup_->addButton(SpeedButton28, 3);
    ifGroup_->addButton(SpeedButton29, 4);

    SpeedButton30 = Button("SpeedButton30", "3.0 k", 243, kRow2, 40, 20, true);
    SpeedButton31 = Button("SpeedButton31", "6.0 k", 289, kRow2, 40, 20, true);
    SpeedButton32 = Button("SpeedButton32", "User", 335, kRow2, 40, 20, true);
    afGroup_ = new QButtonGroup(this);
    afGroup_->addButton(SpeedButton30, 0);
    afGroup_->addButton(SpeedButton31, 1);
    afGroup_->addButton(SpeedButton32, 2);

    SpeedButton15 = Button("SpeedButton15", "3D", 391, kRow1, 40, 20, true);
    SpeedButton16 = Button("SpeedButton16", "NR", 437, kRow1, 40, 20, true);
    SpeedButton38 = Button("SpeedButton38", "AN", 483, kRow1, 40, 20, true);

    SpeedButton2 = Button("SpeedButton2", "Rec", 391, kRow2, 40, 20, true);
    QPalette red = SpeedButton2->palette();
    red.setColor(QPalette::ButtonText, Qt::red);
    SpeedButton2->setPalette(red);
    SpeedButton4 = Button("SpeedButton4", "Open", 437, kRow2, 40, 20, false);
    SpeedButton3 = Button("SpeedButton3", "Play", 483, kRow2, 40, 20, true);
    SpeedButton3->setEnabled(false);

    Image2 = new ImageBox(this, 553, 112, kKnobSize, kKnobSize);
    Image2->setObjectName("Image2");
    Image4 = new ImageBox(this, 616, 112, kKnobSize, kKnobSize);
    Image4->setObjectName("Image4");

    SpeedButton36 = Button("SpeedButton36", "Up", 673, 110, 41, 16, false);
    SpeedButton37 = Button("SpeedButton37", "Down", 673, 130, 41, 16, false);

    SpeedButton39 = Button("SpeedButton39", "Key", 631, 8, 40, 20, false);
    SpeedButton40 = Button("SpeedButton40", "List", 631, 34, 40, 20, false);
    SpeedButton41 = Button("SpeedButton41", "Wave", 631, 60, 40, 20, false);
    SpeedButton35 = Button("SpeedButton35", "Settings", 677, 8, 50, 20, false);
    SpeedButton33 = Button("SpeedButton33", "Spectrum", 677, 34, 50, 20, false);
    SpeedButton1 = Button("SpeedButton1", "Monitor", 677, 60, 50, 20, true);
    for (QToolButton* b : {SpeedButton35, SpeedButton33, SpeedButton1}) {
        QFont f = b->font();
        f.setPixelSize(10);
        b->setFont(f);
    }
}

void TForm1::ConnectReceiver()
{
    core::Receiver& r = *receiver_;

    // Grouped buttons act whenever they are down after the click, also when
    // they were down already.
    connect(modeGroup_, &QButtonGroup::idClicked, this, [&r](int id) { r.ModeClick(id); });
    connect(agcGroup_, &QButtonGroup::idClicked, this, [&r](int id) { r.AGCClick(id); });
    connect(ifGroup_, &QButtonGroup::idClicked, this, [&r](int id) { r.IFClick(id); });
    connect(afGroup_, &QButtonGroup::idClicked, this, [&r](int id) { r.AFClick(id); });
    connect(SpeedButton15, &QToolButton::clicked, this, [&r](bool down) { r.DSP3DClick(down); });
    connect(SpeedButton16, &QToolButton::clicked, this, [&r](bool down) { r.NRClick(down); });
    connect(SpeedButton38, &QToolButton::clicked, this, [&r](bool down) { r.ANClick(down); });
    connect(SpeedButton1, &QToolButton::clicked, this, [&r](bool down) { r.MonitorClick(down); });
    connect(SpeedButton2, &QToolButton::clicked, this, [&r](bool down) { r.RecClick(down); });
    connect(SpeedButton3, &QToolButton::clicked, this, [&r](bool down) { r.PlayClick(down); });
    connect(SpeedButton4, &QToolButton::clicked, this, [this] { SpeedButton4Click(); });
    connect(SpeedButton36, &QToolButton::clicked, this, [&r] { r.StepUp(); });
    connect(SpeedButton37, &QToolButton::clicked, this, [&r] { r.StepDown(); });

    connect(SpeedButton39, &QToolButton::clicked, this, [this] {
        if (windows_.keypad)
            windows_.keypad->show();
    });
    connect(SpeedButton40, &QToolButton::clicked, this, [this] {
        if (windows_.memoryList)
            windows_.memoryList->show();
    });
    connect(SpeedButton41, &QToolButton::clicked, this, [this] {
        if (windows_.waveRecoder)
            windows_.waveRecoder->show();
    });
    connect(SpeedButton33, &QToolButton::clicked, this, [this] {
        if (windows_.spectrum && !windows_.spectrum->isVisible())
            windows_.spectrum->show();
    });
    connect(SpeedButton35, &QToolButton::clicked, this, [this] {
        if (windows_.settings)
            windows_.settings->open();  // modal, without a nested event loop
    });

    for (auto [box, knob] :
         {std::pair{Image2, core::Knob::Vol}, std::pair{Image4, core::Knob::Sql}}) {
        connect(box, &ImageBox::Entered, this,
                [this, &r, knob = knob] { r.KnobEnter(knob, isActiveWindow()); });
        connect(box, &ImageBox::Left, this, [&r, knob = knob] { r.KnobLeave(knob); });
        connect(box, &ImageBox::Released, this, [&r, knob = knob](Qt::MouseButton b, int x, int y) {
            if (b == Qt::LeftButton)
                r.KnobRelease(knob, x, y);
        });
    }

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
    connect(&r, &core::Receiver::PlaySound, this,
            [this](int, const QString& file) { sounds_->Play(file.toStdString()); });
    connect(&r, &core::Receiver::IFWindowUpdate, this, [this](bool show) {
        if (!windows_.ifFilter)
            return;
        if (show)
            windows_.ifFilter->show();
        if (windows_.ifFilter->isVisible())
            windows_.ifFilter->update();
    });
    connect(&r, &core::Receiver::AFWindowUpdate, this, [this](bool show) {
        if (!windows_.afFilter)
            return;
        if (show)
            windows_.afFilter->show();
        if (windows_.afFilter->isVisible())
            windows_.afFilter->update();
    });
    connect(&r.Audio(), &audio::AudioEngine::RestartStarted, this, [this] {
        if (windows_.deviceNotice)
            windows_.deviceNotice->show();
    });
    connect(&r.Audio(), &audio::AudioEngine::RestartFinished, this, [this] {
        if (windows_.deviceNotice)
            windows_.deviceNotice->close();
    });
}

void TForm1::SetSecondaryWindows(const SecondaryWindows& windows)
{
    windows_ = windows;
    // The chain analyses the spectrum only while its window shows.
    if (windows_.spectrum)
        windows_.spectrum->installEventFilter(this);
    if (windows_.keypad) {
        windows_.keypad->KeypadKey = [this](int code) { receiver_->KeypadKey(code); };
        windows_.keypad->LoadPosition = [this] {
            const auto& s = receiver_->State();
            return QPoint(s.InpLeft, s.InpTop);
        };
        windows_.keypad->StorePosition = [this](QPoint p) {
            auto& s = receiver_->State();
            s.InpLeft = p.x();
            s.InpTop = p.y();
        };
    }
    if (windows_.deviceNotice && windows_.settings)
        windows_.deviceNotice->SetSettingsWindow(windows_.settings);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == windows_.spectrum) {
        if (event->type() == QEvent::Show)
            receiver_->SetSpectrumVisible(true);
        else if (event->type() == QEvent::Hide)
            receiver_->SetSpectrumVisible(false);
    }
    return QWidget::eventFilter(watched, event);
}

void TForm1::SetButtonsFromState()
{
    const core::ReceiverState& s = receiver_->State();
    if (auto* b = modeGroup_->button(s.RxMode))
        b->setChecked(true);
    if (auto* b = agcGroup_->button(s.AGC))
        b->setChecked(true);
    if (auto* b = ifGroup_->button(s.IFBW))
        b->setChecked(true);
    if (auto* b = afGroup_->button(s.AFLPF))
        b->setChecked(true);
    SpeedButton15->setChecked(s.DSP3D);
    SpeedButton16->setChecked(s.DSPNR);
    SpeedButton38->setChecked(s.DSPAN);
}

void TForm1::SetRawButtonsFromReceiver()
{
    const core::Receiver& r = *receiver_;
    SpeedButton2->setChecked(r.RecDown());
    SpeedButton2->setEnabled(r.RecEnabled());
    SpeedButton4->setEnabled(r.OpenEnabled());
    SpeedButton3->setChecked(r.PlayDown());
    SpeedButton3->setEnabled(r.PlayEnabled());
    SpeedButton1->setChecked(r.MonitorDown());
}

void TForm1::PaintDisplay()
{
    const core::ReceiverState& s = receiver_->State();
    const dsp::BlockOutputs& out = receiver_->Outputs();
    const bool playing = receiver_->RawPlaying();
    const bool recording = receiver_->RawRecording();
    DisplayInputs in;
    in.FreqCenter = s.FreqCenter;
    in.FreqTune = s.FreqTune;
    in.TuneStep = s.TuneStep;
    in.FreqEntry = s.FreqEntry;
    in.MemoryMode = s.MemoryMode;
    in.MemName = s.MemName;
    in.RawPlaying = playing;
    in.RawRecording = recording;
    in.RawTimeText = receiver_->RawTime();
    in.SqlBusy = out.SqlBusy;
    in.RadioLinkOk = receiver_->RadioLinkOk();
    in.AudioOver = out.AudioOver;
    display_.PaintDisplay(in);
    Image1->SetImage(display_.Image());
}

void TForm1::PaintMeter()
{
    meter_->PaintMeter(receiver_->Outputs().AGCTrace.data());
    Image3->SetImage(meter_->Image());
}

void TForm1::DrawKnob(core::Knob knob, bool highlighted)
{
    const QColor face = palette().color(QPalette::Button);
    const QColor highlight = palette().color(QPalette::Highlight);
    if (knob == core::Knob::Vol) {
        volKnob_ = ui::DrawKnob(receiver_->KnobAngle(knob), highlighted, face, highlight);
        Image2->SetImage(volKnob_);
    } else if (knob == core::Knob::Sql) {
        sqlKnob_ = ui::DrawKnob(receiver_->KnobAngle(knob), highlighted, face, highlight);
        Image4->SetImage(sqlKnob_);
    }
}

void TForm1::ApplyMostTop()
{
    const bool top = receiver_->State().MostTop;
    if (top != bool(windowFlags() & Qt::WindowStaysOnTopHint)) {
        // Changing the flag re-creates the native window, which hides it.
        setWindowFlag(Qt::WindowStaysOnTopHint, top);
        show();
    }
    raise();
}

void TForm1::ShowErrorBox(const QString& message, bool beep)
{
    if (beep)
        QApplication::beep();
    auto* box =
        new QMessageBox(QMessageBox::Critical, windowTitle(), message, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    if (closing_) {
        // The window is on its way out: the operator must still see why the
        // settings were not saved.
        box->exec();
        return;
    }
    // Modal for the operator, but no nested event loop: the handler that
    // reported the error has finished before anything else runs.
    box->setWindowModality(Qt::WindowModal);
    box->open();
}

void TForm1::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!shownOnce_) {
        shownOnce_ = true;
        FormShow();
    }
}

void TForm1::FormShow()
{
    const core::ReceiverState& s = receiver_->State();
    move(s.MainLeft, s.MainTop);
    auto showIf = [](bool flag, QWidget* w) {
        if (flag && w)
            w->show();
    };
    showIf(s.SpecShow, windows_.spectrum);
    showIf(s.FiltShow, windows_.ifFilter);
    showIf(s.InpShow, windows_.keypad);
    showIf(s.ListShow, windows_.memoryList);
    showIf(s.AudioShow, windows_.afFilter);
    showIf(s.WaveShow, windows_.waveRecoder);
    ApplyMostTop();
}

void TForm1::closeEvent(QCloseEvent* event)
{
    if (closing_) {
        event->accept();
        return;
    }
    closing_ = true;
    core::ReceiverState& s = receiver_->State();
    s.MainLeft = x();
    s.MainTop = y();
    core::WindowsShowing showing;
    auto visible = [](QWidget* w) { return w && w->isVisible(); };
    showing.SpecShow = visible(windows_.spectrum);
    showing.FiltShow = visible(windows_.ifFilter);
    showing.InpShow = visible(windows_.keypad);
    showing.ListShow = visible(windows_.memoryList);
    showing.AudioShow = visible(windows_.afFilter);
    showing.WaveShow = visible(windows_.waveRecoder);
    for (QWidget* w :
         {static_cast<QWidget*>(windows_.spectrum), static_cast<QWidget*>(windows_.ifFilter),
          static_cast<QWidget*>(windows_.keypad), static_cast<QWidget*>(windows_.memoryList),
          static_cast<QWidget*>(windows_.afFilter), static_cast<QWidget*>(windows_.waveRecoder)}) {
        if (w)
            w->close();
    }
    receiver_->FormClose(showing);
    event->accept();
    // The other windows are top-level too: the application ends with the
    // main window.
    QTimer::singleShot(0, qApp, &QApplication::quit);
}

void TForm1::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Right: receiver_->StepTune(1); break;
    case Qt::Key_Left:
    case Qt::Key_Down: receiver_->StepTune(-1); break;
    default: QWidget::keyPressEvent(event);
    }
}

void TForm1::keyReleaseEvent(QKeyEvent* event)
{
    if (event->isAutoRepeat())
        return;
    const int code = VirtualKeyFromQt(event->key(), event->modifiers());
    if (code >= 0)
        receiver_->KeypadKey(code);
}

void TForm1::wheelEvent(QWheelEvent* event)
{
    const int delta = event->angleDelta().y();
    if (delta != 0)
        receiver_->StepTune(delta > 0 ? 1 : -1);
    event->accept();
}

void TForm1::SpeedButton4Click()
{
    auto* dialog = new QFileDialog(
        this, QString(), QString::fromStdString(receiver_->Paths().dataDirectory.string()),
        "DAT (*.dat)");
    dialog->setObjectName("OpenDialog1");
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::ExistingFile);
    connect(dialog, &QFileDialog::fileSelected, this,
            [this](const QString& file) { receiver_->OpenRawFile(file.toStdString()); });
    dialog->open();
}

}  // namespace ui
