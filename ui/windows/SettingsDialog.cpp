#include "ui/windows/SettingsDialog.h"

#include "core/Receiver.h"
#include "core/SettingsChoices.h"
#include "core/UdpAudio.h"
#include "ui/windows/MessageBoxes.h"
#include "ui/windows/Placement.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QDoubleSpinBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QShowEvent>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>

#include <tuple>

namespace ui {

namespace {

QLabel* Label(QWidget* parent, const char* text, int left, int top, int width,
              Qt::Alignment align = Qt::AlignLeft)
{
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setGeometry(left, top, width, 14);
    label->setAlignment(align | Qt::AlignVCenter);
    return label;
}

QComboBox* List(QWidget* parent, const char* name, int left, int top, const QStringList& entries,
                int selected)
{
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    box->setGeometry(left, top, 193, 21);
    box->addItems(entries);
    box->setCurrentIndex(selected);
    return box;
}

// A track bar from -40 to 40 with a tick every 10, its two ends labelled and
// its value shown between them by `text`.
QSlider* TrackBar(QWidget* parent, const char* name, int left, int top, int value,
                  const char* lowEnd, const char* highEnd, QString (*text)(int))
{
    auto* bar = new QSlider(Qt::Horizontal, parent);
    bar->setObjectName(name);
    bar->setGeometry(left, top, 193, 26);
    bar->setRange(-40, 40);
    bar->setTickInterval(10);
    bar->setTickPosition(QSlider::TicksBelow);
    bar->setValue(value);
    Label(parent, lowEnd, left, top + 27, 50);
    Label(parent, highEnd, left + 193 - 50, top + 27, 50, Qt::AlignRight);
    QLabel* shown = Label(parent, "", left + 50, top + 27, 193 - 2 * 50, Qt::AlignHCenter);
    shown->setObjectName(QLatin1String(name) + QLatin1String("Value"));
    shown->setText(text(value));
    QObject::connect(bar, &QSlider::valueChanged, shown,
                     [shown, text](int v) { shown->setText(text(v)); });
    return bar;
}

// The buttons' row is placed at the dialog's foot (ShowHamlibArea).
QPushButton* Button(QWidget* parent, const char* name, const char* caption, int left, int width)
{
    auto* b = new QPushButton(QString::fromLatin1(caption), parent);
    b->setObjectName(name);
    b->resize(width, 25);
    b->move(left, 0);
    b->setAutoDefault(false);
    return b;
}

}  // namespace

SettingsDialog::SettingsDialog(core::Receiver& receiver, core::RemoteControl& remote,
                               QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint)
    , choices_(std::make_unique<core::SettingsChoices>(receiver, remote))
{
    setObjectName("settingsDialog");
    setWindowTitle("Settings");
    // While it is open the operator works in it alone: the main window and
    // the other windows wait.
    setWindowModality(Qt::ApplicationModal);
    setFont(DialogFont(11));
    BuildLayout();
    BuildUdpRows(receiver);
    BuildInputCorrectionRow();
    ConnectControls();
    ShowHamlibArea(choices_->HamlibAreaShown());
    // Lists made while a sound server was away offered the defaults alone;
    // an open dialog takes the new ones when it shows next.
    connect(&receiver, &core::Receiver::SoundDevicesRecovered, this, [this] {
        choices_->TakeRecoveredDevices();
        if (!isVisible())
            RefillDeviceLists();
        else
            devicesStale_ = true;
    });
}

void SettingsDialog::RefillDeviceLists()
{
    devicesStale_ = false;
    const core::SettingsChoices& c = *choices_;
    for (auto [box, entries, chosen] :
         {std::tuple{inputDevices_, c.InputEntries(), c.Input()},
          std::tuple{outputDevices_, c.OutputEntries(), c.Output()}}) {
        box->clear();
        box->addItems(entries);
        box->setCurrentIndex(chosen);
    }
}

SettingsDialog::~SettingsDialog() = default;

void SettingsDialog::BuildLayout()
{
    const core::SettingsChoices& c = *choices_;
    Label(this, "Input device", 16, 10, 193);
    inputDevices_ = List(this, "inputDevices", 16, 26, c.InputEntries(), c.Input());
    Label(this, "Output device", 16, 58, 193);
    outputDevices_ = List(this, "outputDevices", 16, 74, c.OutputEntries(), c.Output());
    portsLabel_ = Label(this, "RS232C port", 16, 102, 193);
    ports_ = List(this, "ports", 16, 118, c.PortEntries(), c.Port());
    Label(this, "Radio type", 16, 144, 193);
    radioTypes_ =
        List(this, "radioTypes", 16, 160, core::SettingsChoices::RadioTypeEntries(), c.RadioType());

    Label(this, "Input software wave gain", 232, 14, 193);
    inputGain_ = TrackBar(this, "inputGain", 232, 30, c.InputGainPos(), "-40dB", "+40dB",
                          &core::SettingsChoices::InputGainText);
    Label(this, "Waterfall gain", 232, 78, 193);
    waterfallGain_ = TrackBar(this, "waterfallGain", 232, 94, c.WaterGainPos(), "-10dB", "+10dB",
                              &core::SettingsChoices::WaterGainText);

    invertIq_ = new QCheckBox(QStringLiteral("Invert IQ signal"), this);
    invertIq_->setObjectName("invertIq");
    invertIq_->move(234, 139);
    invertIq_->setChecked(c.InvertIq());
    mostTop_ = new QCheckBox(QStringLiteral("Show window always on top"), this);
    mostTop_->setObjectName("mostTop");
    mostTop_->move(234, 162);
    mostTop_->setChecked(c.MostTop());

    levelControlButton_ = Button(this, "levelControlButton", "Volume control of Windows", 8, 153);
    // Without a recording level control on this desktop there is nothing to open.
    levelControlButton_->setEnabled(c.LevelControlAvailable());
    versionButton_ = Button(this, "versionButton", "Tesmar version infomation", 167, 146);
    okButton_ = Button(this, "okButton", "OK", 319, 50);
    okButton_->setDefault(true);
    cancelButton_ = Button(this, "cancelButton", "Cancel", 375, 50);
    BuildRemoteRow();
    BuildHamlibArea();
}

void SettingsDialog::BuildHamlibArea()
{
    const core::SettingsChoices& c = *choices_;
    hamlibArea_ = new QWidget(this);
    hamlibArea_->setObjectName("hamlibArea");
    hamlibArea_->setGeometry(0, kHamlibAreaTop, kClientWidth, kHamlibAreaHeight);
    QWidget* area = hamlibArea_;
    auto* line = new QFrame(area);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(8, 0, 417, 3);

    Label(area, "Hamlib radio model (type to search by maker and name)", 16, 8, 409);
    hamlibModel_ = List(area, "hamlibModel", 16, 24, core::SettingsChoices::HamlibModelEntries(),
                        c.HamlibModelEntry());
    hamlibModel_->setGeometry(16, 24, 409, 21);
    hamlibModel_->setEditable(true);
    hamlibModel_->setInsertPolicy(QComboBox::NoInsert);
    hamlibModel_->setMaxVisibleItems(20);
    hamlibModel_->completer()->setCompletionMode(QCompleter::PopupCompletion);
    hamlibModel_->completer()->setFilterMode(Qt::MatchContains);
    hamlibModel_->completer()->setCaseSensitivity(Qt::CaseInsensitive);

    Label(area, "Port (device or host:port of rigctld)", 16, 52, 193);
    hamlibPort_ = List(area, "hamlibPort", 16, 68, c.HamlibPortEntries(), -1);
    hamlibPort_->setEditable(true);
    hamlibPort_->setInsertPolicy(QComboBox::NoInsert);
    hamlibPort_->setEditText(c.HamlibPort());
    Label(area, "Serial speed", 232, 52, 193);
    hamlibSpeed_ = List(area, "hamlibSpeed", 232, 68, core::SettingsChoices::HamlibSpeedEntries(),
                        c.HamlibSpeedEntry());

    const auto offset = [area](const char* name, int left, int limit, int value) {
        auto* box = new QSpinBox(area);
        box->setObjectName(name);
        box->setGeometry(left, 112, 193, 21);
        box->setRange(-limit, limit);
        box->setSuffix(QStringLiteral(" Hz"));
        box->setValue(value);
        return box;
    };
    Label(area, "IQ centre offset from the dial", 16, 96, 193);
    hamlibIqOffset_ = offset("hamlibIqOffset", 16, 1000000, c.HamlibIqOffset());
    hamlibIqOffset_->setToolTip(
        QStringLiteral("Where the radio's IQ output is centred relative to its dial: 0 for an IQ "
                       "output, the tap's offset for an IF output"));
    Label(area, "Transverter offset", 232, 96, 193);
    hamlibTransverterOffset_ =
        offset("hamlibTransverterOffset", 232, 2000000000, c.HamlibTransverterOffset());
    hamlibTransverterOffset_->setToolTip(
        QStringLiteral("Added to the radio's frequency for the display and the files"));
}

void SettingsDialog::ShowHamlibArea(bool shown)
{
    hamlibArea_->setVisible(shown);
    // The Hamlib radio has a port of its own: the serial one would only
    // mislead beside it.
    portsLabel_->setVisible(!shown);
    ports_->setVisible(!shown);
    const int extra = shown ? kHamlibAreaHeight : 0;
    for (QPushButton* b : {levelControlButton_, versionButton_, okButton_, cancelButton_})
        b->move(b->x(), kHamlibAreaTop + extra);
    setFixedSize(kClientWidth, kClientHeight + extra);
}

void SettingsDialog::BuildRemoteRow()
{
    const core::SettingsChoices& c = *choices_;
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(8, 190, 417, 3);

    remoteOn_ = new QCheckBox(QStringLiteral("Remote control, port"), this);
    remoteOn_->setObjectName("remoteOn");
    remoteOn_->move(16, 199);
    remoteOn_->adjustSize();
    remoteOn_->setChecked(c.RemoteOn());
    remoteOn_->setToolTip(QStringLiteral(
        "Logging and digital-mode programs follow and set the frequency and mode as they do with a "
        "Hamlib network rig (model 2, NET rigctl)"));
    remotePort_ = new QSpinBox(this);
    remotePort_->setObjectName("remotePort");
    remotePort_->setGeometry(150, 196, 62, 21);
    remotePort_->setRange(1, 65535);
    remotePort_->setValue(c.RemotePort());

    Label(this, "Also from", 232, 199, 52);
    remoteAllow_ = new QLineEdit(c.RemoteAllow(), this);
    remoteAllow_->setObjectName("remoteAllow");
    remoteAllow_->setGeometry(286, 196, 139, 21);
    remoteAllow_->setPlaceholderText(QStringLiteral("this computer only"));
    remoteAllow_->setToolTip(
        QStringLiteral("Addresses or subnets besides this computer that may connect, for example "
                       "192.168.1.0/24, separated by commas"));
}

void SettingsDialog::BuildUdpRows(core::Receiver& receiver)
{
    const core::SettingsChoices& c = *choices_;
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(8, 224, 417, 3);

    udpOn_ = new QCheckBox(QStringLiteral("Audio over UDP to"), this);
    udpOn_->setObjectName("udpOn");
    udpOn_->move(16, 233);
    udpOn_->adjustSize();
    udpOn_->setChecked(c.UdpOn());
    udpOn_->setToolTip(QStringLiteral(
        "Decoders (direwolf, WSJT-X, fldigi, ...) hear the receiver's audio: 48 kHz, 16-bit, "
        "mono, at a level that does not follow VOL"));
    udpHost_ = new QLineEdit(c.UdpHost(), this);
    udpHost_->setObjectName("udpHost");
    udpHost_->setGeometry(150, 230, 190, 21);
    udpHost_->setToolTip(QStringLiteral("The decoder's computer: 127.0.0.1 for this one"));
    Label(this, "port", 344, 233, 26);
    udpPort_ = new QSpinBox(this);
    udpPort_->setObjectName("udpPort");
    udpPort_->setGeometry(372, 230, 53, 21);
    udpPort_->setButtonSymbols(QAbstractSpinBox::NoButtons);
    udpPort_->setRange(1, 65535);
    udpPort_->setValue(c.UdpPort());

    // What is sent and where, or what goes wrong, as it changes.
    udpStatus_ = Label(this, "", 16, 255, 409);
    udpStatus_->setObjectName("udpStatus");
    udpStatus_->setText(c.UdpStatus());
    connect(&receiver.Udp(), &core::UdpAudio::StatusChanged, udpStatus_, &QLabel::setText);
}

void SettingsDialog::BuildInputCorrectionRow()
{
    const core::SettingsChoices& c = *choices_;
    constexpr int top = kInputCorrectionRowTop;
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(8, top, 417, 3);

    Label(this, "IQ balance", 16, top + 9, 70);
    iqBalance_ = List(this, "iqBalance", 90, top + 6, core::SettingsChoices::IqBalanceEntries(),
                      c.IqBalance());
    iqBalance_->setGeometry(90, top + 6, 119, 21);
    iqBalance_->setToolTip(QStringLiteral(
        "Removes the mirror images the sound card's two channels make: learned from the band by "
        "itself, or set by hand"));
    dcRemoval_ = new QCheckBox(QStringLiteral("DC removal"), this);
    dcRemoval_->setObjectName("dcRemoval");
    dcRemoval_->move(234, top + 9);
    dcRemoval_->setChecked(c.DcRemoval());
    dcRemoval_->setToolTip(QStringLiteral("Removes the spike at the centre of the band"));

    // Shown with a point, as the gains' values are, in any locale.
    const auto manual = [this](const char* name, int left, double limit, double step,
                               const QString& suffix, double value) {
        auto* box = new QDoubleSpinBox(this);
        box->setObjectName(name);
        box->setLocale(QLocale::c());
        box->setGeometry(left, top + 32, 119, 21);
        box->setDecimals(2);
        box->setRange(-limit, limit);
        box->setSingleStep(step);
        box->setSuffix(suffix);
        box->setValue(value);
        return box;
    };
    Label(this, "Amplitude", 16, top + 35, 70);
    iqGain_ = manual("iqGain", 90, 6.0, 0.05, QStringLiteral(" dB"), c.IqGainDb());
    iqGain_->setToolTip(QStringLiteral("How much louder the card's I channel is than its Q"));
    Label(this, "Phase", 232, top + 35, 70);
    iqPhase_ = manual("iqPhase", 306, 30.0, 0.1, QStringLiteral(" \u00b0"), c.IqPhaseDeg());
    iqPhase_->setToolTip(QStringLiteral("How far the card's I channel is off quadrature"));

    imageRejection_ = Label(this, "", 16, top + 58, 409);
    imageRejection_->setObjectName("imageRejection");
    // The measurement moves slowly: once a second is enough to read it.
    rejectionTimer_ = new QTimer(this);
    rejectionTimer_->setInterval(1000);
    connect(rejectionTimer_, &QTimer::timeout, this,
            [this] { imageRejection_->setText(choices_->ImageRejectionText()); });
    ShowInputCorrections();
}

void SettingsDialog::ShowInputCorrections()
{
    const bool manual = choices_->ManualBalance();
    iqGain_->setEnabled(manual);
    iqPhase_->setEnabled(manual);
    imageRejection_->setText(choices_->ImageRejectionText());
}

void SettingsDialog::ConnectControls()
{
    core::SettingsChoices& c = *choices_;
    // The lists remember what the operator picks; only "OK" applies it.
    connect(inputDevices_, &QComboBox::activated, this, [&c](int i) { c.ChooseInput(i); });
    connect(outputDevices_, &QComboBox::activated, this, [&c](int i) { c.ChooseOutput(i); });
    connect(ports_, &QComboBox::activated, this, [&c](int i) { c.ChoosePort(i); });
    connect(radioTypes_, &QComboBox::activated, this, [this, &c](int i) {
        invertIq_->setChecked(c.ChooseRadioType(i));
        ShowHamlibArea(c.HamlibAreaShown());
    });
    connect(hamlibModel_, &QComboBox::activated, this,
            [&c](int i) { c.ChooseHamlibModelEntry(i); });
    // A model picked from the search's matches, or a text typed and left
    // without picking, stands for the model it names.
    const auto takeTyped = [this, &c](const QString& text) {
        const int entry = core::SettingsChoices::FindHamlibModel(text);
        if (entry >= 0) {
            hamlibModel_->setCurrentIndex(entry);
            c.ChooseHamlibModelEntry(entry);
        }
    };
    connect(hamlibModel_->completer(), qOverload<const QString&>(&QCompleter::activated), this,
            takeTyped);
    connect(hamlibModel_->lineEdit(), &QLineEdit::editingFinished, this,
            [this, takeTyped] { takeTyped(hamlibModel_->currentText()); });
    connect(hamlibPort_, &QComboBox::currentTextChanged, this,
            [&c](const QString& text) { c.ChooseHamlibPort(text); });
    connect(hamlibSpeed_, &QComboBox::activated, this,
            [&c](int i) { c.ChooseHamlibSpeedEntry(i); });
    connect(hamlibIqOffset_, &QSpinBox::valueChanged, this,
            [&c](int hz) { c.ChooseHamlibIqOffset(hz); });
    connect(hamlibTransverterOffset_, &QSpinBox::valueChanged, this,
            [&c](int hz) { c.ChooseHamlibTransverterOffset(hz); });
    connect(mostTop_, &QCheckBox::toggled, this, [&c](bool on) { c.ChooseMostTop(on); });

    // These act at once; "Cancel" keeps them.
    connect(inputGain_, &QSlider::valueChanged, this, [&c](int v) { c.SetInputGainPos(v); });
    connect(waterfallGain_, &QSlider::valueChanged, this, [&c](int v) { c.SetWaterGainPos(v); });
    connect(invertIq_, &QCheckBox::toggled, this, [&c](bool on) { c.SetInvertIq(on); });
    connect(iqBalance_, &QComboBox::activated, this, [this, &c](int i) {
        c.SetIqBalance(i);
        ShowInputCorrections();
    });
    connect(dcRemoval_, &QCheckBox::toggled, this, [&c](bool on) { c.SetDcRemoval(on); });
    connect(iqGain_, &QDoubleSpinBox::valueChanged, this, [&c](double dB) { c.SetIqGainDb(dB); });
    connect(iqPhase_, &QDoubleSpinBox::valueChanged, this,
            [&c](double degrees) { c.SetIqPhaseDeg(degrees); });

    connect(remoteOn_, &QCheckBox::toggled, this, [&c](bool on) { c.ChooseRemoteOn(on); });
    connect(remotePort_, &QSpinBox::valueChanged, this,
            [&c](int port) { c.ChooseRemotePort(port); });
    connect(remoteAllow_, &QLineEdit::textChanged, this,
            [&c](const QString& text) { c.ChooseRemoteAllow(text); });
    connect(udpOn_, &QCheckBox::toggled, this, [&c](bool on) { c.ChooseUdpOn(on); });
    connect(udpHost_, &QLineEdit::textChanged, this,
            [&c](const QString& text) { c.ChooseUdpHost(text); });
    connect(udpPort_, &QSpinBox::valueChanged, this, [&c](int port) { c.ChooseUdpPort(port); });

    connect(levelControlButton_, &QPushButton::clicked, this, [&c] { c.OpenLevelControl(); });
    connect(versionButton_, &QPushButton::clicked, this, [this] { ShowVersion(); });
    connect(okButton_, &QPushButton::clicked, this, [this] { Confirm(); });
    connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);
}

void SettingsDialog::Confirm()
{
    // Nothing is applied while the row cannot be read; the dialog stays.
    const QString problem = choices_->Problem();
    if (!problem.isEmpty()) {
        (problem.contains(QStringLiteral("Hamlib")) ? static_cast<QWidget*>(hamlibPort_)
         : problem.contains(QStringLiteral("UDP"))  ? static_cast<QWidget*>(udpHost_)
                                                    : remoteAllow_)
            ->setFocus();
        ShowErrorBox(this, problem);
        return;
    }
    choices_->Confirm();
    if (ApplyMostTop)
        ApplyMostTop();
    accept();
}

void SettingsDialog::ShowVersion()
{
    if (!version_)
        return;
    // Modal above this dialog, without a nested event loop.
    version_->setWindowModality(Qt::ApplicationModal);
    version_->show();
    version_->raise();
    version_->activateWindow();
}

void SettingsDialog::showEvent(QShowEvent* event)
{
    // The controls are not reloaded: they show what they showed at the last close.
    if (!event->spontaneous())
        CentreOver(this, parentWidget());
    if (devicesStale_)
        RefillDeviceLists();
    imageRejection_->setText(choices_->ImageRejectionText());
    rejectionTimer_->start();
    QDialog::showEvent(event);
}

void SettingsDialog::hideEvent(QHideEvent* event)
{
    rejectionTimer_->stop();
    QDialog::hideEvent(event);
}

}  // namespace ui
