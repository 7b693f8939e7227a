#pragma once

// The WAV recorder behind the "Wave recoder" window: starting and stopping a
// recording of the received audio, the chain's per-block feed, and what a
// failed write does.

#include "core/model/ReceiverState.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace recording {
class WaveRecorder;
}

namespace core {

// The operator's message when a recording stopped because its file could not
// be written: which file and why, and how much of it was kept.
QString RecordingStoppedMessage(const std::string& error, int32_t blocksKept, bool repaired);

// Owns the recorder; keeps the state's Recording flag. GUI-free, main thread.
//
// A write that fails (disk full, device gone) stops the recording: the file
// is cut back to a valid WAV file holding every whole block written before,
// and Failed carries the message for the operator. The window's "REC" follows
// Recording() on StateChanged, so it comes up by itself.
class WaveRecording : public QObject {
    Q_OBJECT

public:
    // dataDirectory: recordings go to its "Wav" folder, named after the
    // receive frequency.
    WaveRecording(ReceiverState& state, std::filesystem::path dataDirectory,
                  QObject* parent = nullptr);
    ~WaveRecording() override;

    // A new recording; false when its file could not be created. Does
    // nothing while one runs.
    bool Start();
    // A recording of one scanner hit: "Wav/yyyymmdd_hhmmss_<label>.wav" with
    // the local time and the label (a channel's name) made safe for a file
    // name. As Start otherwise.
    bool StartLabelled(const std::string& label);
    // Ends the recording (nothing happens when none runs).
    void Stop();
    // One block of the recorder feed (400 samples at 8000 Hz) in which the
    // squelch opened.
    void RecordBlock(const int16_t* samples);

    bool Recording() const;
    // "hh:mm:ss" of the audio in the file; kept after the recording ends.
    const char* TimeText() const;
    const std::filesystem::path& FileName() const;

signals:
    // Started, stopped, or the time text may have changed.
    void StateChanged();
    // The recording stopped on a write error; message names file and reason.
    void Failed(const QString& message);

private:
    void StopAfterFailure();

    ReceiverState& state_;
    std::filesystem::path dataDirectory_;
    std::unique_ptr<recording::WaveRecorder> recorder_;
};

}  // namespace core
