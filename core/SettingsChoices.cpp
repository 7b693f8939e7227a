#include "core/SettingsChoices.h"

#include "core/Receiver.h"
#include "radio/HamlibRig.h"
#include "radio/RadioTypes.h"

#include <QFileInfo>
#include <QProcess>
#include <QSerialPortInfo>
#include <QStandardPaths>

#include <algorithm>
#include <cmath>

namespace core {

std::vector<SerialPortEntry> SystemSerialPorts()
{
    std::vector<SerialPortEntry> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        ports.push_back({info.portName().toStdString(), info.description().toStdString(),
                         info.systemLocation().toStdString()});
    return ports;
}

PortList ListPorts(const std::vector<SerialPortEntry>& ports, const std::string& PortStr,
                   int32_t PortNum, bool storedPresent)
{
    PortList list;
    list.PortNum = PortNum;
    for (const SerialPortEntry& port : ports) {
        list.texts << QString::fromStdString(
            port.description.empty() ? port.name : port.name + " - " + port.description);
        list.ports.push_back(port.name);
    }
    const auto named = std::find_if(ports.begin(), ports.end(), [&](const SerialPortEntry& p) {
        return !PortStr.empty() && (p.name == PortStr || p.location == PortStr);
    });
    if (named != ports.end()) {
        list.selected = static_cast<int>(named - ports.begin());
        list.PortNum = list.selected;
        // Kept as stored: a path stays a path.
        list.ports[std::size_t(list.selected)] = PortStr;
        list.PortStr = PortStr;
        return list;
    }
    if (!PortStr.empty()) {
        list.texts
            << (storedPresent
                    ? QString::fromStdString(PortStr)
                    : QStringLiteral("%1 (not present)").arg(QString::fromStdString(PortStr)));
        list.ports.push_back(PortStr);
        list.selected = static_cast<int>(list.ports.size()) - 1;
        list.PortNum = list.selected;
        list.PortStr = PortStr;
        if (!storedPresent)
            list.absent = list.selected;
        return list;
    }
    if (PortNum >= 0 && std::size_t(PortNum) < list.ports.size()) {
        list.selected = PortNum;
        list.PortStr = list.ports[std::size_t(PortNum)];
    }
    return list;
}

bool PortDevicePresent(const std::string& PortStr)
{
    if (PortStr.empty())
        return false;
    const QString name = QString::fromStdString(PortStr);
    return QFileInfo::exists(name.contains(u'/') ? name : QStringLiteral("/dev/") + name);
}

QStringList DeviceEntries(const QString& defaultEntry, const QStringList& devices, int32_t chosen)
{
    QStringList entries;
    entries << defaultEntry << devices;
    for (int32_t n = int32_t(entries.size()); n <= chosen; ++n)
        entries << QStringLiteral("Device %1 (not present)").arg(n);
    return entries;
}

LevelControl FindRecordingLevelControl()
{
    // The PulseAudio (and PipeWire) volume controls open on their input
    // devices' tab, where the recording levels are.
    for (const char* program : {"pavucontrol", "pavucontrol-qt"}) {
        const QString path = QStandardPaths::findExecutable(QString::fromLatin1(program));
        if (!path.isEmpty())
            return {path, {QStringLiteral("--tab=4")}};
    }
    return {};
}

namespace {

// The stored type may be any number other than 0 and 2 for "DJ-X11".
int StoredType(int32_t RadioType)
{
    return RadioType == 0 || RadioType == radio::kHamlibRadioType ? RadioType : 1;
}

QString ModelEntry(const radio::HamlibModel& m)
{
    return QStringLiteral("%1 %2 (%3)")
        .arg(QString::fromStdString(m.Maker), QString::fromStdString(m.Name))
        .arg(m.Model);
}

}  // namespace

// ---------------------------------------------------------------------------

SettingsChoices::SettingsChoices(Receiver& receiver, RemoteControl& remote,
                                 const std::vector<SerialPortEntry>& ports)
    : receiver_(receiver)
    , remoteControl_(remote)
{
    const ReceiverState& s = receiver_.State();
    inputEntries_ = DeviceEntries(QStringLiteral("Default input device"),
                                  receiver_.InputDeviceNames(), s.Input);
    outputEntries_ = DeviceEntries(QStringLiteral("Default output device"),
                                   receiver_.OutputDeviceNames(), s.Output);
    input_ = s.Input;
    output_ = s.Output;

    ports_ = ListPorts(ports, s.PortStr, s.PortNum, PortDevicePresent(s.PortStr));
    receiver_.StorePortChoice(ports_.PortNum, ports_.PortStr);
    port_ = committedPort_ = ports_.selected;

    remote_ = committedRemote_ = remoteControl_.InEffect();
    udp_ = committedUdp_ = receiver_.Udp().InEffect();
    radioType_ = StoredType(s.RadioType);
    hamlib_ = receiver_.HamlibInEffect();
    for (const SerialPortEntry& port : ports)
        hamlibPorts_ << QString::fromStdString(port.location);
    hamlibPorts_ << QStringLiteral("localhost:4532");
    mostTop_ = s.alwaysOnTop;
    levelControl_ = FindRecordingLevelControl();

    if (!receiver_.OpenRadio() && ports_.absent >= 0 && ports_.absent == port_)
        receiver_.AwaitRadioPort();
}

void SettingsChoices::TakeRecoveredDevices()
{
    inputEntries_ = DeviceEntries(QStringLiteral("Default input device"),
                                  receiver_.RecoveredInputDeviceNames(), input_);
    outputEntries_ = DeviceEntries(QStringLiteral("Default output device"),
                                   receiver_.RecoveredOutputDeviceNames(), output_);
}

QStringList SettingsChoices::RadioTypeEntries()
{
    QStringList names;
    for (int type = 0; type < radio::kRadioTypeCount; ++type)
        names << QString::fromLatin1(radio::RadioTypeOf(type).Name);
    return names;
}

bool SettingsChoices::ChooseRadioType(int type)
{
    if (type < 0 || type >= radio::kRadioTypeCount)
        return InvertIq();
    radioType_ = type;
    SetInvertIq(radio::RadioTypeOf(type).InvertIQ);
    return InvertIq();
}

bool SettingsChoices::HamlibAreaShown() const { return radioType_ == radio::kHamlibRadioType; }

QStringList SettingsChoices::HamlibModelEntries()
{
    QStringList entries;
    for (const radio::HamlibModel& m : radio::HamlibModels())
        entries << ModelEntry(m);
    return entries;
}

int SettingsChoices::HamlibModelEntry() const
{
    const std::vector<radio::HamlibModel>& models = radio::HamlibModels();
    for (std::size_t i = 0; i < models.size(); ++i)
        if (models[i].Model == hamlib_.Model)
            return static_cast<int>(i);
    return -1;
}

void SettingsChoices::ChooseHamlibModelEntry(int entry)
{
    const std::vector<radio::HamlibModel>& models = radio::HamlibModels();
    if (entry >= 0 && std::size_t(entry) < models.size())
        hamlib_.Model = models[std::size_t(entry)].Model;
}

int SettingsChoices::FindHamlibModel(const QString& text)
{
    const QStringList entries = HamlibModelEntries();
    const QString typed = text.simplified();
    if (const auto exact = entries.indexOf(typed); exact >= 0)
        return static_cast<int>(exact);
    const QStringList words = typed.split(u' ', Qt::SkipEmptyParts);
    if (words.isEmpty())
        return -1;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (std::all_of(words.begin(), words.end(), [&](const QString& w) {
                return entries[i].contains(w, Qt::CaseInsensitive);
            }))
            return static_cast<int>(i);
    }
    return -1;
}

const std::vector<int32_t>& SettingsChoices::HamlibSpeeds()
{
    static const std::vector<int32_t> speeds = {0,     1200,  2400,  4800,  9600,
                                                19200, 38400, 57600, 115200};
    return speeds;
}

QStringList SettingsChoices::HamlibSpeedEntries()
{
    QStringList entries;
    for (int32_t speed : HamlibSpeeds())
        entries << (speed == 0 ? QStringLiteral("Model's default") : QString::number(speed));
    return entries;
}

int SettingsChoices::HamlibSpeedEntry() const
{
    const std::vector<int32_t>& speeds = HamlibSpeeds();
    const auto at = std::find(speeds.begin(), speeds.end(), hamlib_.Speed);
    return at == speeds.end() ? 0 : static_cast<int>(at - speeds.begin());
}

void SettingsChoices::ChooseHamlibSpeedEntry(int entry)
{
    const std::vector<int32_t>& speeds = HamlibSpeeds();
    if (entry >= 0 && std::size_t(entry) < speeds.size())
        hamlib_.Speed = speeds[std::size_t(entry)];
}

int SettingsChoices::InputGainPos() const { return receiver_.State().InGainPos; }

int SettingsChoices::WaterGainPos() const { return receiver_.State().WaterGainPos; }

bool SettingsChoices::InvertIq() const { return receiver_.State().InvIQ; }

void SettingsChoices::SetInputGainPos(int pos) { receiver_.SetInputGain(pos); }

void SettingsChoices::SetWaterGainPos(int pos) { receiver_.SetWaterfallGain(pos); }

namespace {

QString DecibelText(double dB)
{
    // QString::number ignores the process locale: a point, never a comma.
    return (dB > 0 ? QStringLiteral("+") : QString()) + QString::number(dB) + QStringLiteral("dB");
}

}  // namespace

QString SettingsChoices::InputGainText(int pos) { return DecibelText(pos); }

// WaterGain = 10^(pos x 0.0125), that is 20 x 0.0125 = 0.25 dB per step.
QString SettingsChoices::WaterGainText(int pos) { return DecibelText(pos * 0.25); }

void SettingsChoices::SetInvertIq(bool on) { receiver_.SetInvertIq(on); }

QStringList SettingsChoices::IqBalanceEntries()
{
    return {QStringLiteral("Off"), QStringLiteral("Automatic"), QStringLiteral("Manual")};
}

int SettingsChoices::IqBalance() const { return receiver_.State().IQCorr; }

bool SettingsChoices::DcRemoval() const { return receiver_.State().DCCorr; }

double SettingsChoices::IqGainDb() const { return receiver_.State().IQCorrGain / 100.0; }

double SettingsChoices::IqPhaseDeg() const { return receiver_.State().IQCorrPhase / 100.0; }

namespace {

// IQCorrGain and IQCorrPhase keep hundredths.
int32_t Hundredths(double value) { return static_cast<int32_t>(std::lround(value * 100.0)); }

}  // namespace

void SettingsChoices::SetIqBalance(int entry)
{
    if (entry < 0 || entry >= IqBalanceEntries().size())
        return;
    const ReceiverState& s = receiver_.State();
    receiver_.SetInputCorrections(entry, s.DCCorr, s.IQCorrGain, s.IQCorrPhase);
}

void SettingsChoices::SetDcRemoval(bool on)
{
    const ReceiverState& s = receiver_.State();
    receiver_.SetInputCorrections(s.IQCorr, on, s.IQCorrGain, s.IQCorrPhase);
}

void SettingsChoices::SetIqGainDb(double dB)
{
    const ReceiverState& s = receiver_.State();
    receiver_.SetInputCorrections(s.IQCorr, s.DCCorr, Hundredths(dB), s.IQCorrPhase);
}

void SettingsChoices::SetIqPhaseDeg(double degrees)
{
    const ReceiverState& s = receiver_.State();
    receiver_.SetInputCorrections(s.IQCorr, s.DCCorr, s.IQCorrGain, Hundredths(degrees));
}

QString SettingsChoices::ImageRejectionText() const
{
    if (IqBalance() != 1)
        return {};
    const double dB = receiver_.ImageRejectionDb();
    if (std::isnan(dB))
        return QStringLiteral("Image rejection: no station measured yet");
    // QString::number ignores the process locale: a point, never a comma.
    return QStringLiteral("Image rejection %1 dB").arg(QString::number(dB, 'f', 1));
}

SettingsChoices::Applied SettingsChoices::Confirm()
{
    Applied applied;
    const ReceiverState& s = receiver_.State();
    if (input_ != s.Input || output_ != s.Output) {
        receiver_.RestartDevices(input_, output_);
        applied.devicesRestarted = true;
    }
    // Before the radio reopens, so that it opens with them.
    if (hamlib_ != receiver_.HamlibInEffect()) {
        receiver_.ChooseHamlib(hamlib_);
        applied.hamlibChanged = true;
    }
    const int storedType = StoredType(s.RadioType);
    if (port_ != committedPort_ || radioType_ != storedType) {
        const bool listed = port_ >= 0 && std::size_t(port_) < ports_.ports.size();
        const bool open = receiver_.ReopenRadio(
            listed ? port_ : s.PortNum, listed ? ports_.ports[std::size_t(port_)] : std::string(),
            radioType_);
        if (!open && ports_.absent >= 0 && port_ == ports_.absent)
            receiver_.AwaitRadioPort();
        committedPort_ = port_;
        applied.radioRestarted = true;
    }
    receiver_.SetAlwaysOnTop(mostTop_);
    // Compared with what the dialog last applied, so that closing it with
    // "OK" untouched keeps a port given on the command line for this run.
    if (remote_ != committedRemote_) {
        remoteControl_.Choose(remote_);
        committedRemote_ = remote_;
        applied.remoteChanged = true;
    }
    if (udp_ != committedUdp_) {
        receiver_.Udp().Choose(udp_);
        committedUdp_ = udp_;
        applied.udpChanged = true;
    }
    return applied;
}

QString SettingsChoices::UdpStatus() const { return receiver_.Udp().StatusText(); }

QString SettingsChoices::Problem() const
{
    if (udp_.on && udp_.host.empty())
        return QStringLiteral("Audio over UDP needs the decoder's host (127.0.0.1 for this "
                              "computer).");
    const QString allow = RemoteControl::AllowListProblem(QString::fromStdString(remote_.allow));
    if (!allow.isEmpty() || !HamlibAreaShown() || !remote_.on)
        return allow;
    const QString port = HamlibPort();
    const qsizetype colon = port.lastIndexOf(u':');
    const QString host = port.left(colon).remove(u'[').remove(u']');
    const bool local = host == u"localhost" || host == u"127.0.0.1" || host == u"::1";
    if (colon > 0 && local && port.mid(colon + 1).toInt() == remote_.port)
        return QStringLiteral("The Hamlib port %1 is Tesmar's own remote control.").arg(port);
    return {};
}

bool SettingsChoices::OpenLevelControl() const
{
    return LevelControlAvailable() &&
           QProcess::startDetached(levelControl_.program, levelControl_.arguments);
}

}  // namespace core
