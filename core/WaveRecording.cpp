#include "core/WaveRecording.h"

#include "recording/FileStamp.h"
#include "recording/TimeText.h"
#include "recording/WavFile.h"

namespace core {

QString RecordingStoppedMessage(const std::string& error, int32_t blocksKept, bool repaired)
{
    QString message = QStringLiteral("Recording stopped: %1.").arg(QString::fromStdString(error));
    if (repaired) {
        message += QStringLiteral(" The file keeps the %1 recorded before.")
                       .arg(QString::fromStdString(recording::TimeText(blocksKept)));
    } else {
        message += QStringLiteral(" The file could not be repaired.");
    }
    return message;
}

WaveRecording::WaveRecording(ReceiverState& state, std::filesystem::path dataDirectory,
                             QObject* parent)
    : QObject(parent)
    , state_(state)
    , dataDirectory_(std::move(dataDirectory))
    , recorder_(std::make_unique<recording::WaveRecorder>())
{}

WaveRecording::~WaveRecording() = default;

bool WaveRecording::Start()
{
    if (recorder_->IsOpen())
        return true;
    const bool created = recorder_->StartInFolder(dataDirectory_, recording::LocalNow(),
                                                  state_.FreqTune, state_.FreqCenter);
    state_.Recording = created;
    emit StateChanged();
    return created;
}

bool WaveRecording::StartLabelled(const std::string& label)
{
    if (recorder_->IsOpen())
        return true;
    std::string name = recording::RecordingStem(recording::LocalNow());
    for (char c : label) {
        // No folder separators, control characters or leading dot: the
        // name stays one plain file in "Wav".
        const bool plain = c != '/' && c != '\\' && static_cast<unsigned char>(c) >= 0x20 &&
                           c != 0x7f && !(c == '.' && name.back() == '_');
        name += plain ? c : '_';
    }
    name += ".wav";
    const bool created = recorder_->StartInFolder(dataDirectory_, name);
    state_.Recording = created;
    emit StateChanged();
    return created;
}

void WaveRecording::Stop()
{
    if (recorder_->IsOpen() && !recorder_->Stop()) {
        // The last block reached the disk only as the file closed, and not all of it.
        StopAfterFailure();
        return;
    }
    state_.Recording = false;
    emit StateChanged();
}

void WaveRecording::RecordBlock(const int16_t* samples)
{
    if (!recorder_->IsOpen())
        return;
    if (!recorder_->RecordBlock(samples)) {
        StopAfterFailure();
        return;
    }
    emit StateChanged();
}

void WaveRecording::StopAfterFailure()
{
    const std::string error = recorder_->LastError();
    const bool repaired = recorder_->SalvageAfterFailure();
    state_.Recording = false;
    emit StateChanged();
    emit Failed(RecordingStoppedMessage(error, recorder_->BlockCount(), repaired));
}

bool WaveRecording::Recording() const { return recorder_->IsOpen(); }

const char* WaveRecording::TimeText() const { return recorder_->TimeText(); }

const std::filesystem::path& WaveRecording::FileName() const { return recorder_->FileName(); }

}  // namespace core
