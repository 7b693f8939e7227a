#pragma once

#include "radio/ReplyParser.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSerialPort>
#include <QTimer>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace radio {

// The serial link to the radio: one command at a time, each answered by its
// echo line and then "OK". Lives on the main thread; never blocks and never
// runs a nested event loop.
//
// The application calls PollRadioPort once per processed audio block. When
// blocks stop arriving while a command is pending (no audio input, a stalled
// device), an internal timer takes over the polling at the block rate, so that
// a pending command is always given up in bounded time.
class RadioLink : public QObject {
    Q_OBJECT

public:
    // A command is given up when this many polls have passed without its "OK"
    // and one more arrives, at the 11th poll after the write, but never before
    // kReplyTimeoutMs of real time: the blocks that queue up while the main
    // thread is busy are handled in a burst, and a burst of polls is no time
    // for the radio to answer in.
    static constexpr int kReplyWaitLimit = 10;
    static constexpr int kReceiveBufferSize = 1024;
    static constexpr int kBlockPeriodMs = 50;
    static constexpr int kReplyTimeoutMs = (kReplyWaitLimit + 1) * kBlockPeriodMs;
    // Polls stop being counted as block-driven after this many idle timer
    // periods without one; then the timer polls by itself.
    static constexpr int kStallPeriods = 2;
    static constexpr std::size_t kMaxReplyLine = ReplyParser::kMaxReplyLine;
    // A lost port is tried again this often until its device is back.
    static constexpr int kReopenIntervalMs = 2000;

    explicit RadioLink(QObject* parent = nullptr);
    ~RadioLink() override;

    // Opens PortStr (a system name such as "ttyUSB0", or a path) with the
    // line settings of RadioType. Any port already open is closed first.
    // The result is also kept as PortOpen(). Ends the retries of a lost port.
    bool OpenRadioPort(const std::string& PortStr, int32_t RadioType);
    // The port last asked for did not open because it is not there (an
    // adapter not plugged in yet): it is tried again every
    // kReopenIntervalMs as a lost port is, and PortReopened follows its
    // open. Opening or closing a port ends the retries.
    void AwaitRadioPort();
    // Closes the device. A command still pending is abandoned: with the port
    // gone no reply can end it, and a wait on it would never end. Ends the
    // retries of a lost port.
    void CloseRadioPort();
    // Writes one complete command line (CR LF included) unless the port is
    // closed or another command is pending; a refused command is dropped.
    void SendRadioCommand(std::string_view command);
    // Takes the bytes already received (at most 1023) and applies the reply
    // rules. Call once per processed audio block; cheap when the port is closed.
    void PollRadioPort();

    bool PortOpen() const { return portOpen_; }
    bool CommandPending() const { return commandPending_; }
    int32_t ReplyWaitCount() const { return replyWaitCount_; }
    bool RadioLinkOk() const { return radioLinkOk_; }
    const std::string& LastCommand() const { return replies_.LastCommand(); }
    bool EchoSeen() const { return replies_.EchoSeen(); }
    const std::string& ReplyLine() const { return replies_.ReplyLine(); }

    // Bytes received from the radio and not yet taken by a poll.
    qint64 BytesWaiting() const;
    // The stand-in poll for missing audio blocks; on by default.
    void SetIdlePollEnabled(bool enabled);
    bool IdlePollEnabled() const { return idlePollEnabled_; }
    // A port lost under us (or awaited) is being tried again every
    // kReopenIntervalMs.
    bool Reopening() const { return reopenTimer_.isActive(); }

signals:
    // The "COM" lamp: emitted whenever RadioLinkOk changes.
    void RadioLinkOkChanged(bool on);
    void PortOpenChanged(bool open);
    // The pending command ended: acknowledged, timed out, or abandoned with
    // its port. Emitted after the poll that ended it has finished its work.
    void CommandFinished(bool acknowledged);
    // The open port failed under us (adapter unplugged, device gone). From
    // then on the port is tried again every kReopenIntervalMs (an open that
    // never waits: a missing device fails at once) until it opens, or until
    // the application opens or closes a port itself.
    void PortLost();
    // The lost or awaited port opened, with the line settings asked for;
    // the radio behind it has to be set up afresh.
    void PortReopened();
    // The port could not be opened for want of permission (what the user
    // must do about it) or because another program holds it. Told once for
    // a port, not again on each retry, until it opens or another is chosen.
    void PortRefused(const QString& message);

private:
    void TellRefusal(const std::string& PortStr);
    void Poll();
    void OnIdleTick();
    void OnPortError(QSerialPort::SerialPortError error);
    void LosePort();
    void TryReopen();
    void SetPortOpen(bool open);
    void SetRadioLinkOk(bool on);
    void StartIdleTimer();

    QSerialPort port_;
    QTimer idleTimer_;
    QTimer reopenTimer_;
    std::string portName_;
    std::string refusalTold_;  // the port whose refusal was last told
    int32_t radioType_ = 0;
    bool idlePollEnabled_ = true;
    bool blockPolled_ = false;
    int idleTicks_ = 0;
    bool inPoll_ = false;

    bool portOpen_ = false;
    bool commandPending_ = false;
    int32_t replyWaitCount_ = 0;
    bool radioLinkOk_ = false;
    QElapsedTimer sinceWrite_;
    ReplyParser replies_;
    char receiveBuffer_[kReceiveBufferSize] = {};
};

}  // namespace radio
