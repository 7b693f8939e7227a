#include "core/RawTransport.h"

#include "audio/AudioEngine.h"
#include "core/WaveRecording.h"
#include "recording/FileStamp.h"
#include "recording/IqFormats.h"
#include "recording/IqPlayer.h"
#include "recording/RawIqFile.h"

#include <QDebug>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <limits>

namespace core {

RawTransport::RawTransport(ReceiverState& state, std::filesystem::path dataDirectory,
                           audio::AudioEngine& audio, BlockSink process, QObject* parent)
    : QObject(parent)
    , state_(state)
    , dataDirectory_(std::move(dataDirectory))
    , audio_(audio)
    , process_(std::move(process))
    , recorder_(std::make_unique<recording::RawRecorder>())
    , player_(std::make_unique<recording::IqPlayer>())
{}

RawTransport::~RawTransport() = default;

void RawTransport::Reset()
{
    recDown_ = false;
    recEnabled_ = true;
    openEnabled_ = true;
    playDown_ = false;
    std::error_code ec;
    playEnabled_ = std::filesystem::is_regular_file(state_.RawFileName, ec);
}

std::filesystem::path RawTransport::OpenFolder() const
{
    const std::filesystem::path folder = std::filesystem::path(state_.RawFileName).parent_path();
    std::error_code ec;
    return !folder.empty() && std::filesystem::is_directory(folder, ec) ? folder : dataDirectory_;
}

bool ListedAsRecording(const std::filesystem::path& file)
{
    std::string ext = file.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (ext != ".wav" && ext != ".rf64")
        return true;
    std::error_code ec;
    const uintmax_t size = std::filesystem::file_size(file, ec);
    std::ifstream in(file, std::ios::binary);
    if (ec || !in)
        return false;
    const recording::ReadAt read = [&in](uint64_t offset, uint8_t* out, std::size_t count) {
        in.clear();
        in.seekg(static_cast<std::streamoff>(offset));
        in.read(reinterpret_cast<char*>(out), static_cast<std::streamsize>(count));
        return in.gcount() == static_cast<std::streamsize>(count);
    };
    recording::IqLayout layout;
    std::string error;
    return recording::ParseWavHeader(read, size, &layout, &error);
}

bool RawTransport::Recording() const { return recorder_->IsOpen(); }

bool RawTransport::Playing() const { return player_->IsOpen(); }

std::string_view RawTransport::TimeText() const
{
    if (player_->IsOpen())
        return player_->TimeText();
    if (recorder_->IsOpen())
        return recorder_->TimeText();
    return {};
}

void RawTransport::RecordBlock(const int16_t* frames)
{
    if (!recorder_->IsOpen() || recorder_->AppendBlock(frames))
        return;
    recDown_ = false;
    FinishRecording(false);
    emit ButtonsChanged();
    emit DisplayChanged();
}

void RawTransport::StopRecording()
{
    if (!recorder_->IsOpen())
        return;
    // The last blocks reach the disk only as the file closes.
    FinishRecording(recorder_->Stop());
}

void RawTransport::InputLost(unsigned blocks)
{
    if (!recorder_->IsOpen())
        return;
    lostBlocks_ += blocks;
    qWarning().noquote() << QStringLiteral("Raw recording %1: %2 blocks of input lost, the "
                                           "receiver fell behind the sound card")
                                .arg(QString::fromStdString(recorder_->FileName().string()))
                                .arg(blocks);
}

QString IncompleteRecordingMessage(const std::string& file, uint64_t lostBlocks)
{
    return QStringLiteral("The recording %1 misses %2 blocks (%3 s) of input: the receiver fell "
                          "behind the sound card while it recorded.")
        .arg(QString::fromStdString(file))
        .arg(lostBlocks)
        .arg(double(lostBlocks) * 0.05, 0, 'f', 2);
}

void RawTransport::FinishRecording(bool written)
{
    if (!written) {
        const std::string error = recorder_->LastError();
        const bool repaired = recorder_->SalvageAfterFailure();
        emit RecordingFailed(RecordingStoppedMessage(error, recorder_->BlockCount(), repaired));
    }
    if (lostBlocks_ != 0) {
        emit RecordingIncomplete(
            IncompleteRecordingMessage(recorder_->FileName().string(), lostBlocks_));
        lostBlocks_ = 0;
    }
    // What reached the disk is what "Play" plays.
    state_.RawFileName = recorder_->FileName().string();
    playEnabled_ = true;
    openEnabled_ = true;
}

void RawTransport::Rec(bool down)
{
    if (!down) {
        recDown_ = false;
        StopRecording();
        emit ButtonsChanged();
        emit DisplayChanged();
        return;
    }
    if (player_->IsOpen()) {
        // "Rec" is disabled while a file plays.
        emit ButtonsChanged();
        return;
    }
    // "Rec" and "Monitor" form one group: pressing "Rec" releases "Monitor".
    state_.MonitorOn = false;
    // A recording left running when "Monitor" released "Rec" ends as a
    // normal stop does before the new one begins.
    StopRecording();

    lostBlocks_ = 0;
    const bool created =
        recorder_->StartInFolder(dataDirectory_, recording::LocalNow(), state_.FreqCenter);
    state_.RawFileName = recorder_->FileName().string();
    if (created) {
        recDown_ = true;
        playEnabled_ = false;
        openEnabled_ = false;
    } else {
        // Nothing records: the button comes up again, so it never shows a
        // recording that is not there.
        recDown_ = false;
    }
    emit ButtonsChanged();
    emit DisplayChanged();
}

void RawTransport::SetMonitor(bool on)
{
    state_.MonitorOn = on;
    if (on && recDown_) {
        // Only the button comes up; a recording under way goes on.
        recDown_ = false;
    }
    emit ButtonsChanged();
}

void RawTransport::Play(bool down)
{
    if (!down) {
        playDown_ = false;
        if (player_->IsOpen()) {
            EndPlayback(true);
            audio_.KeepQueuedBlocks(false);
        }
        emit ButtonsChanged();
        emit DisplayChanged();
        return;
    }
    if (player_->IsOpen() || recorder_->IsOpen()) {
        // Already playing, or "Play" is disabled while recording.
        playDown_ = player_->IsOpen();
        emit ButtonsChanged();
        return;
    }

    playDown_ = true;
    audio_.StopCapture();
    const recording::IqPlayer::OpenResult check = player_->Open(state_.RawFileName);
    if (check.status != recording::RawHeaderStatus::Accepted) {
        playDown_ = false;
        emit ButtonsChanged();
        if (!check.message.empty())
            emit Refused(QString::fromStdString(check.message));
        audio_.RestartCapture();
        return;
    }

    state_.SavedCenter = state_.FreqCenter;
    ShowSliceCenter();
    recEnabled_ = false;
    openEnabled_ = false;
    state_.MemoryMode = false;
    state_.DragTune = false;
    emit ButtonsChanged();
    emit DisplayChanged();
    audio_.KeepQueuedBlocks(true);
    Pump();
}

void RawTransport::ShowSliceCenter()
{
    // Five header bytes can hold more than a frequency field does.
    state_.FreqCenter = static_cast<int32_t>(
        std::clamp<int64_t>(player_->SliceCenter(), 0, std::numeric_limits<int32_t>::max()));
}

bool RawTransport::MoveSlice(int d)
{
    if (!player_->IsOpen() ||
        !player_->SetShift(player_->Shift() + (d < 0 ? -kSliceStep : kSliceStep)))
        return false;
    ShowSliceCenter();
    emit DisplayChanged();
    return true;
}

void RawTransport::EndPlayback(bool closeFile)
{
    if (closeFile)
        player_->Close();
    playDown_ = false;
    state_.FreqCenter = state_.SavedCenter;
    recEnabled_ = true;
    openEnabled_ = true;
    audio_.RestartCapture();
}

void RawTransport::Open(const std::filesystem::path& file)
{
    if (player_->IsOpen() || recorder_->IsOpen())
        return;  // "Open" is disabled meanwhile
    state_.RawFileName = file.string();
    playEnabled_ = true;
    Play(true);
}

void RawTransport::Pump()
{
    // The device asks for what its queue lacks: a block for each one played,
    // more when it lets the queue grow, none while it holds enough. None of
    // them is dropped to catch up, so the file is heard whole at real time
    // whatever period the device runs at.
    for (int n = audio_.PlaybackBlocksWanted(); n > 0 && player_->IsOpen(); --n)
        PumpBlock();
}

void RawTransport::PumpBlock()
{
    switch (player_->Pump()) {
    case recording::RawPlayer::Step::Idle: return;
    case recording::RawPlayer::Step::Block: process_(player_->Frames()); return;
    case recording::RawPlayer::Step::FinalBlock:
        // The player has closed the file; the zero-padded rest still goes
        // through the chain after live input has resumed, and is heard.
        EndPlayback(false);
        emit ButtonsChanged();
        process_(player_->Frames());
        audio_.KeepQueuedBlocks(false);
        return;
    }
}

void RawTransport::DevicesReopened()
{
    if (!player_->IsOpen())
        return;
    audio_.StopCapture();
    // Playback is paced by the device's output calls, and the reopened
    // device has nothing queued: the first blocks start the pacing again.
    Pump();
}

void RawTransport::CloseFiles()
{
    if (player_->IsOpen()) {
        // The radio is still tuned where it was before playback: keep that
        // centre, not the file's, for the next start.
        player_->Close();
        state_.FreqCenter = state_.SavedCenter;
        playDown_ = false;
        audio_.KeepQueuedBlocks(false);
    }
    if (recorder_->IsOpen())
        recorder_->Abandon();
    lostBlocks_ = 0;
}

}  // namespace core
