#include "core/ScanSession.h"

#include "core/Receiver.h"
#include "core/WaveRecording.h"
#include "core/model/ScanLog.h"
#include "dsp/SignalChain.h"
#include "memory/Lockouts.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>
#include <utility>

namespace core {
namespace {

QString Mhz(int32_t hz) { return QString::number(hz / 1e6, 'f', 6) + QStringLiteral(" MHz"); }

QString ChannelText(const ScanChannel& c)
{
    QString text = Mhz(c.hz) + QStringLiteral("  ") + QString::fromLatin1(ScanModeName(c.mode));
    if (!c.name.empty())
        text = MemoryChannels::DisplayName(c.name) + QStringLiteral("  ") + text;
    return text;
}

}  // namespace

QString HitText(const ScanHit& hit)
{
    const qint64 ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(hit.start.time_since_epoch()).count();
    const QString time = QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("HH:mm:ss"));
    ScanChannel c{hit.hz, hit.name, hit.mode, false};
    return QStringLiteral("%1  %2  %3 s  +%4 dB")
        .arg(time, ChannelText(c), QString::number(hit.Seconds(), 'f', 1),
             QString::number(std::lround(hit.peakDb)));
}

ScanSession::ScanSession(Receiver& receiver, ScanAccess access, QObject* parent)
    : QObject(parent)
    , rx_(receiver)
    , access_(std::move(access))
    , scanner_(Hooks())
    , lockouts_(memory::LockoutPath(receiver.Memory().File().parent_path()))
{
    // A file's band is not the radio's, and a scan would retune the radio
    // under it: the scan ends as the file begins to play.
    connect(&rx_, &Receiver::RawButtonsChanged, this, [this] {
        if (rx_.RawPlaying() && scanner_.Running()) {
            scanner_.Stop();
            SetNotice(QStringLiteral("The scan stopped: a raw file plays."));
        }
    });
}

ScanSession::~ScanSession() = default;

std::filesystem::path ScanSession::LogFile() const { return ScanLogPath(rx_.Paths().settingsFile); }

bool ScanSession::LockedOut(int row) const
{
    const auto& channels = rx_.Memory().Channels();
    return row >= 0 && row < int(channels.size()) &&
           lockouts_.LockedOut(channels[static_cast<std::size_t>(row)]);
}

QString ScanSession::Unlock(int row)
{
    if (!LockedOut(row))
        return {};
    const QString error = lockouts_.Unlock(rx_.Memory().Channels()[static_cast<std::size_t>(row)]);
    emit LockoutsChanged();
    return error;
}

QString ScanSession::Start(const ScanOptions& options)
{
    if (rx_.RawPlaying())
        return QStringLiteral("The scan does not run while a raw file plays.");
    std::vector<ScanChannel> channels;
    if (options.kind == ScanKind::Memory) {
        if (lockouts_.Unread())
            return lockouts_.UnreadRefusal();
        for (const memory::Channel& m : rx_.Memory().Channels())
            channels.push_back(
                {m.hz, m.name, KnownOrFirst(FromCode<Mode>(m.mode)), lockouts_.LockedOut(m)});
    }
    SetNotice({});
    const std::string refusal = scanner_.Start(options, std::move(channels));
    if (refusal.empty()) {
        last_ = options;
        bandSet_ = bandSet_ || options.kind == ScanKind::Band;
    }
    return QString::fromStdString(refusal);
}

ScanOptions ScanSession::OptionsFor(ScanKind kind) const
{
    ScanOptions options = last_;
    options.kind = kind;
    const ReceiverState& stored = rx_.State();
    options.recordHits = stored.ScanRecordHits;
    options.thresholdDb = stored.ScanThreshold;
    options.hangSeconds = stored.ScanHangMs / 1000.0;
    options.fmSquelch = stored.ScanFmSquelch;
    if (!bandSet_) {
        constexpr int32_t kStep = 5000;
        options.bandStep = kStep;
        options.bandStart = std::max(kStep, (stored.FreqCenter - 20000) / kStep * kStep);
        options.bandStop = options.bandStart + 40000;
        options.bandMode = stored.RxMode;
    }
    return options;
}

void ScanSession::StoreChoices(const ScanOptions& options)
{
    ReceiverState& s = access_.state;
    s.ScanRecordHits = options.recordHits;
    s.ScanThreshold = static_cast<int32_t>(std::lround(options.thresholdDb));
    s.ScanHangMs = static_cast<int32_t>(std::lround(options.hangSeconds * 1000.0));
    s.ScanFmSquelch = options.fmSquelch;
    s.ScanStored = true;
}

void ScanSession::Stop() { scanner_.Stop(); }

void ScanSession::Skip() { scanner_.Skip(); }

void ScanSession::LockOut() { scanner_.LockOut(); }

void ScanSession::OnBlock()
{
    if (!scanner_.Running() || rx_.RawPlaying())
        return;
    const dsp::BlockOutputs& out = rx_.Outputs();
    scanner_.OnBlock({out.SpectrumUpdated ? out.SpectrumDb.data() : nullptr, out.SqlBusy});
}

void ScanSession::RadioSettled(int32_t freqCenter) { scanner_.RadioSettled(freqCenter); }

void ScanSession::OperatorTuned()
{
    if (!tuning_ && scanner_.Running())
        scanner_.Stop();
}

void ScanSession::SetNotice(const QString& text)
{
    // Asked again in every block while it lasts: told once.
    if (text == notice_)
        return;
    notice_ = text;
    emit Changed();
}

QString ScanSession::StateText() const
{
    const int current = scanner_.Current();
    const QString channel =
        current >= 0 && current < int(scanner_.Channels().size())
            ? ChannelText(scanner_.Channels()[static_cast<std::size_t>(current)])
            : QString();
    switch (scanner_.Phase()) {
    case ScanPhase::Idle: return QStringLiteral("Stopped");
    case ScanPhase::Searching: return QStringLiteral("Searching");
    case ScanPhase::Retuning:
    case ScanPhase::Settling: return QStringLiteral("Retuning the radio");
    case ScanPhase::Probing: return QStringLiteral("Listening: ") + channel;
    case ScanPhase::Holding: return QStringLiteral("Active: ") + channel;
    case ScanPhase::Hanging: return QStringLiteral("Waiting: ") + channel;
    }
    return {};
}

bool ScanSession::StartHitRecording(const ScanHit& hit)
{
    // The operator's own recording goes on as it is.
    if (access_.wave.Recording())
        return false;
    const std::string label = hit.name.empty() ? std::to_string(hit.hz / 1000) + "kHz" : hit.name;
    if (!access_.wave.StartLabelled(label))
        return false;
    hitRecording_ = access_.wave.FileName();
    return true;
}

void ScanSession::StopHitRecording()
{
    // The operator may have stopped the hit's recording and started one of
    // their own meanwhile: that one goes on. A new recording never takes an
    // existing file's name, so the name tells them apart.
    if (access_.wave.Recording() && access_.wave.FileName() == hitRecording_)
        access_.wave.Stop();
    hitRecording_.clear();
}

ScanHooks ScanSession::Hooks()
{
    ScanHooks h;
    h.freqCenter = [this] { return access_.state.FreqCenter; };
    h.tuneInBand = [this](const ScanChannel& c) {
        tuning_ = true;
        ReceiverState& s = access_.state;
        s.FreqTune = c.hz - s.FreqCenter;
        if (s.RxMode != c.mode)
            rx_.SelectMode(c.mode);
        // A memory channel shows by its name, as a recall shows it.
        s.MemoryMode = scanner_.Options().kind == ScanKind::Memory;
        s.MemName = s.MemoryMode ? c.name : std::string();
        tuning_ = false;
        emit rx_.DisplayChanged();
    };
    h.retuneRadio = [this](int32_t center) {
        // A raw recording's header keeps the centre it began at.
        if (access_.fileBusy()) {
            SetNotice(QStringLiteral("The radio is not retuned while a raw file records: the "
                                     "channels outside the band are left out."));
            return ScanHooks::Retune::Refused;
        }
        if (access_.radioBusy())
            return ScanHooks::Retune::Busy;
        tuning_ = true;
        const bool sent = access_.setRadioFrequency(center);
        tuning_ = false;
        if (sent) {
            // The display's frequency is no channel's now: a name beside it
            // would say where the receiver is not.
            access_.state.MemoryMode = false;
            access_.state.MemName.clear();
        }
        emit rx_.DisplayChanged();
        return sent ? ScanHooks::Retune::Sent : ScanHooks::Retune::Refused;
    };
    h.radioAvailable = [this] { return access_.radioPortOpen(); };
    h.startRecording = [this](const ScanHit& hit) { return StartHitRecording(hit); };
    h.stopRecording = [this] { StopHitRecording(); };
    h.hitEnded = [this](const ScanHit& hit) {
        std::string error;
        if (!AppendScanLog(LogFile(), hit, &error))
            notice_ = QString::fromStdString(error);
        recent_.push_front(hit);
        ++hitCount_;
        if (recent_.size() > kRecentHits)
            recent_.pop_back();
        emit Changed();
    };
    h.lockedOut = [this](const ScanChannel& c) {
        if (scanner_.Options().kind != ScanKind::Memory)
            return;
        const QString error = lockouts_.Lock({c.hz, c.name, Code(c.mode)});
        if (!error.isEmpty())
            SetNotice(error);
        emit LockoutsChanged();
    };
    h.notice = [this](const std::string& text) { SetNotice(QString::fromStdString(text)); };
    h.changed = [this] {
        access_.state.ScanRunning = scanner_.Running();
        emit Changed();
    };
    return h;
}

}  // namespace core
