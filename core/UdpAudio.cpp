#include "core/UdpAudio.h"

#include "core/model/ReceiverState.h"
#include "dsp/SignalChain.h"

#include <QLoggingCategory>

namespace core {

namespace {

Q_LOGGING_CATEGORY(lcUdp, "tesmar.udp")

}  // namespace

UdpAudio::UdpAudio(ReceiverState& state)
    : state_(state)
{}

UdpAudio::~UdpAudio() = default;

void UdpAudio::ApplyStored() { Apply({state_.UdpOn, state_.UdpHost, state_.UdpPort}); }

void UdpAudio::UseForThisRun(const std::string& host, int32_t port) { Apply({true, host, port}); }

void UdpAudio::Choose(const UdpAudioSettings& settings)
{
    state_.UdpOn = settings.on;
    state_.UdpHost = settings.host;
    state_.UdpPort = settings.port;
    state_.UdpStored = true;
    if (settings != inEffect_)
        Apply(settings);
}

void UdpAudio::Stop() { Apply({false, inEffect_.host, inEffect_.port}); }

void UdpAudio::Apply(const UdpAudioSettings& settings)
{
    inEffect_ = settings;
    if (settings.on && settings.port >= 1 && settings.port <= 65535 && !settings.host.empty())
        sender_.Start(settings.host, settings.port);
    else
        sender_.Stop();
    state_.DecoderFeed = sender_.CurrentStatus().state != remote::AudioSender::State::Off;
    Report();
}

void UdpAudio::SendBlock(const dsp::BlockOutputs& out)
{
    if (!out.DecoderAudioReady)
        return;
    sender_.Send(out.DecoderAudio.data(), static_cast<int>(out.DecoderAudio.size()));
    Report();
}

void UdpAudio::Report()
{
    remote::AudioSender::Status status;
    if (!sender_.TakeChange(&status))
        return;
    if (status.state == remote::AudioSender::State::Failing)
        qCWarning(lcUdp).noquote() << StatusText();
    else
        qCInfo(lcUdp).noquote() << StatusText();
    emit StatusChanged(StatusText());
}

QString UdpAudio::StatusText() const
{
    using State = remote::AudioSender::State;
    const remote::AudioSender::Status& s = sender_.CurrentStatus();
    const QString to =
        QStringLiteral("Audio over UDP to %1").arg(QString::fromStdString(s.destination));
    switch (s.state) {
    case State::Off: return {};
    case State::Resolving: return to + QStringLiteral(" (looking the name up)");
    case State::Sending: return to;
    case State::Failing: return to + QStringLiteral(": ") + QString::fromStdString(s.problem);
    }
    return {};
}

}  // namespace core
