#include "core/RemoteControl.h"

#include "core/Receiver.h"
#include "core/RemoteRig.h"

namespace core {

RemoteControl::RemoteControl(Receiver& receiver, remote::ServerLimits limits)
    : receiver_(receiver)
    , rig_(std::make_unique<RemoteRig>(receiver))
    , server_(std::make_unique<remote::RigServer>(*rig_, limits))
{
    // No client may change what is about to be saved.
    connect(&receiver_, &Receiver::ShuttingDown, this, &RemoteControl::Stop);
}

RemoteControl::~RemoteControl()
{
    // The server's clients call the rig; they go first.
    server_.reset();
}

void RemoteControl::ApplyStored()
{
    const ReceiverState& s = receiver_.State();
    Apply({s.RemoteOn, s.RemotePort, s.RemoteAllow});
}

void RemoteControl::UseForThisRun(int32_t port)
{
    Apply({true, port, receiver_.State().RemoteAllow});
}

void RemoteControl::Choose(const RemoteSettings& settings)
{
    receiver_.StoreRemoteChoice(settings.on, settings.port, settings.allow);
    Apply(settings);
}

void RemoteControl::Stop() { server_->Stop(); }

bool RemoteControl::Listening() const { return server_->Listening(); }

uint16_t RemoteControl::Port() const { return server_->Port(); }

int RemoteControl::ClientCount() const { return server_->ClientCount(); }

QString RemoteControl::AllowListProblem(const QString& text)
{
    QString bad;
    if (remote::AllowList::Parse(text, &bad))
        return {};
    return QStringLiteral("\"%1\" is neither an address nor a subnet (such as 192.168.1.20 or "
                          "192.168.1.0/24).")
        .arg(bad);
}

void RemoteControl::Apply(const RemoteSettings& settings)
{
    inEffect_ = settings;
    if (!settings.on) {
        server_->Stop();
        return;
    }
    QString bad;
    std::optional<remote::AllowList> allow =
        remote::AllowList::Parse(QString::fromStdString(settings.allow), &bad);
    if (!allow) {
        // A list edited by hand in the settings file: the local host alone
        // is the safe reading.
        emit Failed(QStringLiteral("Remote control: \"%1\" in the allowed addresses is neither an "
                                   "address nor a subnet; only this computer may connect.")
                        .arg(bad));
        allow = remote::AllowList();
    }
    QString error;
    if (settings.port < 0 || settings.port > 65535 ||
        !server_->Listen(static_cast<uint16_t>(settings.port), *allow, &error)) {
        emit Failed(QStringLiteral("Remote control cannot listen on port %1: %2")
                        .arg(settings.port)
                        .arg(error.isEmpty() ? QStringLiteral("no such port") : error));
    }
}

}  // namespace core
