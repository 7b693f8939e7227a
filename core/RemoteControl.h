#pragma once

// Remote control over the network, as the operator switches it: off by
// default; on from the settings file's "Remote" section, the settings
// dialog, or the command line (--remote[=PORT]) for one run. Owns the
// server (remote/) and the receiver's face towards it (RemoteRig). It lives
// beside the receiver, owned by whoever owns that (the program's main), and
// reaches it only through the receiver's public methods; the receiver knows
// nothing of it.

#include "remote/RigServer.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>
#include <string>

namespace core {

class Receiver;
class RemoteRig;

inline constexpr int32_t kRemoteDefaultPort = 4532;

struct RemoteSettings {
    bool on = false;
    int32_t port = kRemoteDefaultPort;
    std::string allow;  // addresses and subnets besides the local host
    bool operator==(const RemoteSettings&) const = default;
};

class RemoteControl : public QObject {
    Q_OBJECT

public:
    // Off until ApplyStored() or UseForThisRun(); stops with the receiver's
    // Shutdown(), before the settings are saved. Goes before the receiver.
    explicit RemoteControl(Receiver& receiver, remote::ServerLimits limits = {});
    ~RemoteControl() override;

    // Start-up, after Receiver::Start(): what the settings file chose
    // (RemoteOn, RemotePort, RemoteAllow).
    void ApplyStored();
    // --remote[=PORT]: on for this run, on `port` (0: a free port), the
    // stored allow list kept; the settings file keeps its own choice.
    void UseForThisRun(int32_t port);
    // The settings dialog's "OK" with another choice: applied, and kept in
    // the state so that the settings file writes it.
    void Choose(const RemoteSettings& settings);
    // What runs now: the stored choice or this run's.
    const RemoteSettings& InEffect() const { return inEffect_; }
    // Closes the port and every connection (the receiver's shutdown).
    void Stop();

    bool Listening() const;
    // The port listened on (the free one chosen for port 0).
    uint16_t Port() const;
    int ClientCount() const;

    // An allow list as the dialog checks it before "OK": empty when every
    // entry is an address or a subnet, otherwise the operator's message.
    static QString AllowListProblem(const QString& text);

signals:
    // The port cannot be had, or a stored allow list is unreadable.
    void Failed(const QString& message);

private:
    void Apply(const RemoteSettings& settings);

    Receiver& receiver_;
    std::unique_ptr<RemoteRig> rig_;
    std::unique_ptr<remote::RigServer> server_;
    RemoteSettings inEffect_;
};

}  // namespace core
