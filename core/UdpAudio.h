#pragma once

// Audio over UDP for decoders in other programs, as the operator switches it:
// off by default; on from the settings file's "UDP" section, the settings
// dialog, or the command line (--udp [HOST:]PORT) for one run. Each block's
// decoder feed (dsp/DecoderFeed.h) goes out from the block path, live or
// from a played file alike, through remote::AudioSender, which never makes
// the block path wait. Trouble is told once when it starts (a log line and
// the status text) and cleared when it mends.

#include "remote/AudioDatagrams.h"
#include "remote/AudioSender.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <string>

namespace dsp {
struct BlockOutputs;
}

namespace core {

struct ReceiverState;

struct UdpAudioSettings {
    bool on = false;
    std::string host = remote::kAudioDefaultHost;
    int32_t port = remote::kAudioDefaultPort;
    bool operator==(const UdpAudioSettings&) const = default;
};

class UdpAudio : public QObject {
    Q_OBJECT

public:
    // Off until ApplyStored(), UseForThisRun() or Choose(); asks the chain
    // for the decoder feed (DecoderFeed) only while on.
    explicit UdpAudio(ReceiverState& state);
    ~UdpAudio() override;

    // What the settings file chose (UdpOn, UdpHost, UdpPort).
    void ApplyStored();
    // --udp: on for this run; the settings file keeps its own choice.
    void UseForThisRun(const std::string& host, int32_t port);
    // The settings dialog's "OK" with another choice: applied, and kept in
    // the state so that the settings file writes it.
    void Choose(const UdpAudioSettings& settings);
    const UdpAudioSettings& InEffect() const { return inEffect_; }
    void Stop();

    // The block path, after each block: sends its decoder feed when on.
    void SendBlock(const dsp::BlockOutputs& out);

    // "Audio over UDP to HOST:PORT" while sending, with what goes wrong when
    // it does; empty while off.
    QString StatusText() const;
    const remote::AudioSender& Sender() const { return sender_; }

signals:
    // The status text changed: on, off, a failure, a failure mended.
    void StatusChanged(const QString& text);

private:
    void Apply(const UdpAudioSettings& settings);
    void Report();

    ReceiverState& state_;
    remote::AudioSender sender_;
    UdpAudioSettings inEffect_;
};

}  // namespace core
