#include "radio/RadioLink.h"

#include "radio/RadioTypes.h"

#include <QLoggingCategory>

#include <cerrno>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace radio {

Q_LOGGING_CATEGORY(lcRadio, "tesmar.radio")

namespace {

// The group whose members may use the device: "dialout" on Debian for the
// usual serial adapters.
std::string DeviceGroup(const std::string& device)
{
    struct stat st {};
    if (::stat(device.c_str(), &st) == 0) {
        if (const group* g = ::getgrgid(st.st_gid))
            return g->gr_name;
    }
    return "dialout";
}

}  // namespace

RadioLink::RadioLink(QObject* parent)
    : QObject(parent)
{
    idleTimer_.setInterval(kBlockPeriodMs);
    connect(&idleTimer_, &QTimer::timeout, this, &RadioLink::OnIdleTick);
    reopenTimer_.setInterval(kReopenIntervalMs);
    connect(&reopenTimer_, &QTimer::timeout, this, &RadioLink::TryReopen);
    connect(&port_, &QSerialPort::errorOccurred, this, &RadioLink::OnPortError);
}

RadioLink::~RadioLink()
{
    // No port signal may reach this object while it is half destroyed.
    disconnect(&port_, nullptr, this, nullptr);
    if (port_.isOpen())
        port_.close();
}

bool RadioLink::OpenRadioPort(const std::string& PortStr, int32_t RadioType)
{
    reopenTimer_.stop();
    if (port_.isOpen())
        CloseRadioPort();
    portName_ = PortStr;
    radioType_ = RadioType;
    if (PortStr.empty()) {
        SetPortOpen(false);
        return false;
    }
    const RadioTypeInfo& type = RadioTypeOf(RadioType);
    port_.setPortName(QString::fromStdString(PortStr));
    port_.setBaudRate(type.BaudRate);
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    if (!port_.open(QIODevice::ReadWrite)) {
        qCDebug(lcRadio) << "cannot open" << port_.portName() << port_.errorString();
        if (port_.error() == QSerialPort::PermissionError)
            TellRefusal(PortStr);
        port_.clearError();
        SetPortOpen(false);
        return false;
    }
    // The radio takes its power for the level converter from DTR and RTS.
    // Pseudo-terminals and some adapters cannot set them and still carry data.
    if (!port_.setDataTerminalReady(true) || !port_.setRequestToSend(true)) {
        qCWarning(lcRadio) << "cannot raise DTR/RTS on" << port_.portName() << ":"
                           << port_.errorString();
        port_.clearError();
    }
    port_.clear(QSerialPort::AllDirections);
    replies_.DropPartialLine();
    refusalTold_.clear();
    SetPortOpen(true);
    return true;
}

void RadioLink::TellRefusal(const std::string& PortStr)
{
    if (refusalTold_ == PortStr)
        return;
    refusalTold_ = PortStr;
    // The serial library says "Permission error while locking the device"
    // both when the device is not ours to use and when another program
    // holds its lock; only the first is the user's to mend.
    const std::string device = PortStr.front() == '/' ? PortStr : "/dev/" + PortStr;
    const QString name = QString::fromStdString(PortStr);
    if (::access(device.c_str(), R_OK | W_OK) != 0 && errno == EACCES) {
        const QString group = QString::fromStdString(DeviceGroup(device));
        emit PortRefused(
            QStringLiteral("You have no permission to use the serial port %1. Join the group "
                           "\"%2\" with\n    sudo usermod -aG %2 $USER\nand then log out and in "
                           "again.")
                .arg(name, group));
    } else {
        emit PortRefused(
            QStringLiteral("The serial port %1 is in use by another program.").arg(name));
    }
}

void RadioLink::AwaitRadioPort()
{
    if (!portOpen_ && !portName_.empty())
        reopenTimer_.start();
}

void RadioLink::CloseRadioPort()
{
    idleTimer_.stop();
    reopenTimer_.stop();
    if (port_.isOpen())
        port_.close();
    port_.clearError();
    // Bytes of a line begun on the old port would spoil the first line of the new one.
    replies_.DropPartialLine();
    const bool wasPending = commandPending_;
    commandPending_ = false;
    replyWaitCount_ = 0;
    SetPortOpen(false);
    if (wasPending)
        emit CommandFinished(false);
}

void RadioLink::SendRadioCommand(std::string_view command)
{
    if (!portOpen_ || commandPending_)
        return;
    replies_.CommandWritten(command);
    // One write call puts the whole line into the port's queue, and nothing
    // here runs the event loop, so two commands can never interleave.
    port_.write(command.data(), static_cast<qint64>(command.size()));
    port_.flush();
    if (!portOpen_)  // the port failed while writing
        return;
    commandPending_ = true;
    replyWaitCount_ = 0;
    sinceWrite_.start();
    StartIdleTimer();
}

void RadioLink::PollRadioPort()
{
    blockPolled_ = true;
    Poll();
}

qint64 RadioLink::BytesWaiting() const { return port_.isOpen() ? port_.bytesAvailable() : 0; }

void RadioLink::SetIdlePollEnabled(bool enabled)
{
    idlePollEnabled_ = enabled;
    if (!enabled)
        idleTimer_.stop();
    else if (commandPending_)
        StartIdleTimer();
}

void RadioLink::Poll()
{
    if (!portOpen_ || inPoll_)
        return;
    inPoll_ = true;
    const bool wasPending = commandPending_;
    const bool wasLinkOk = radioLinkOk_;
    bool acknowledged = false;

    const qint64 waiting = port_.bytesAvailable();
    if (waiting > 0) {
        const qint64 want = waiting < kReceiveBufferSize - 1 ? waiting : kReceiveBufferSize - 1;
        qint64 got = port_.read(receiveBuffer_, want);
        if (got < 0)
            got = 0;
        receiveBuffer_[got] = '\0';
        // An "OK" also lights the lamp when it comes after the command was
        // given up: the radio is there.
        if (replies_.Take(receiveBuffer_, static_cast<std::size_t>(got))) {
            acknowledged = commandPending_;
            commandPending_ = false;
            radioLinkOk_ = true;
        }
    }

    if (commandPending_) {
        ++replyWaitCount_;
        if (replyWaitCount_ > kReplyWaitLimit && sinceWrite_.elapsed() >= kReplyTimeoutMs) {
            commandPending_ = false;
            replyWaitCount_ = 0;
            radioLinkOk_ = false;
        }
    }
    if (!commandPending_)
        idleTimer_.stop();
    inPoll_ = false;

    if (radioLinkOk_ != wasLinkOk)
        emit RadioLinkOkChanged(radioLinkOk_);
    if (wasPending && !commandPending_)
        emit CommandFinished(acknowledged);
}

void RadioLink::StartIdleTimer()
{
    if (!idlePollEnabled_)
        return;
    blockPolled_ = false;
    idleTicks_ = 0;
    idleTimer_.start();
}

void RadioLink::OnIdleTick()
{
    if (blockPolled_) {
        blockPolled_ = false;
        idleTicks_ = 0;
        return;
    }
    if (idleTicks_ < kStallPeriods)
        ++idleTicks_;
    if (idleTicks_ >= kStallPeriods)
        Poll();
}

void RadioLink::OnPortError(QSerialPort::SerialPortError error)
{
    // A vanished device reports these, on Linux over and over until closed.
    if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError)
        return;
    if (!port_.isOpen())
        return;
    qCWarning(lcRadio) << "serial port" << port_.portName() << "lost:" << port_.errorString();
    LosePort();
}

void RadioLink::LosePort()
{
    idleTimer_.stop();
    port_.close();
    port_.clearError();
    replies_.DropPartialLine();
    const bool wasPending = commandPending_;
    commandPending_ = false;
    replyWaitCount_ = 0;
    SetPortOpen(false);
    SetRadioLinkOk(false);
    reopenTimer_.start();
    emit PortLost();
    if (wasPending)
        emit CommandFinished(false);
}

void RadioLink::TryReopen()
{
    // The open is non-blocking: a device that is not there (yet) fails at
    // once, so the main thread never waits here.
    const std::string name = portName_;
    if (!OpenRadioPort(name, radioType_)) {
        reopenTimer_.start();
        return;
    }
    qCInfo(lcRadio) << "serial port" << port_.portName() << "is back";
    emit PortReopened();
}

void RadioLink::SetPortOpen(bool open)
{
    if (portOpen_ == open)
        return;
    portOpen_ = open;
    emit PortOpenChanged(open);
}

void RadioLink::SetRadioLinkOk(bool on)
{
    if (radioLinkOk_ == on)
        return;
    radioLinkOk_ = on;
    emit RadioLinkOkChanged(on);
}

}  // namespace radio
