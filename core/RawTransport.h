#pragma once

// The raw IQ file buttons "Rec", "Open" and "Play": recording the captured
// input, and playing a recording through the chain in place of the sound
// card, paced by the playback device.

#include "core/model/ReceiverState.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace audio {
class AudioEngine;
}
namespace recording {
class RawRecorder;
class IqPlayer;
}  // namespace recording

namespace core {

// Whether "Open" lists `file` among the recordings: a WAV or RF64 file only
// when it holds two channels (the keypad's sounds and the "Wave recoder"'s
// files are WAV files too, but no IQ recordings); every other name as its
// pattern matched it.
bool ListedAsRecording(const std::filesystem::path& file);

// What the operator is told when a raw recording that lost input ends.
QString IncompleteRecordingMessage(const std::string& file, uint64_t lostBlocks);

// Owns the raw recorder and player and the state of the three buttons (and of
// "Monitor", which shares "Rec"'s exclusive group). Reads and writes the
// receiver state's FreqCenter, SavedCenter, RawFileName, MonitorOn,
// MemoryMode and DragTune. GUI-free; everything runs on the main thread.
class RawTransport : public QObject {
    Q_OBJECT

public:
    // Where a played block goes: the same path a captured block takes.
    using BlockSink = std::function<void(const int16_t* frames)>;

    // dataDirectory: recordings go to its "Raw" folder. audio: the capture
    // that a playing file replaces.
    RawTransport(ReceiverState& state, std::filesystem::path dataDirectory,
                 audio::AudioEngine& audio, BlockSink process, QObject* parent = nullptr);
    ~RawTransport() override;

    // Start-up: "Rec" and "Open" up and enabled, "Play" up, and enabled
    // when RawFileName is there to play (the operator's own recording, or the
    // demo band installed with the program).
    void Reset();

    // "Rec" pressed down (a new recording; one still running after "Monitor"
    // released the button ends normally first) or released (the recording
    // ends with its end marker and becomes the file "Play" plays). A file
    // that cannot be created leaves "Rec" up. Ignored while a file plays.
    void Rec(bool down);
    // "Play" down plays RawFileName from its start; up ends playback. A
    // refused header is reported through Refused. Ignored while recording.
    void Play(bool down);
    // "Open" with the file the dialog returned: it becomes the file to play,
    // and plays.
    void Open(const std::filesystem::path& file);
    // While a recording wider than 48 kHz plays: the slice that plays moves
    // 48 kHz down (d < 0) or up within it, and FreqCenter shows its centre.
    // False (nothing moves) when no such file plays or the slice would leave
    // the recording.
    bool MoveSlice(int d);
    static constexpr int64_t kSliceStep = 48000;
    // "Monitor" down releases "Rec" on screen; a recording goes on.
    void SetMonitor(bool on);

    // The raw-record hook: one captured block, before the chain sees it. A
    // block that cannot be written (disk full, device gone) ends the
    // recording: "Rec" comes up, the file keeps its whole blocks and gets its
    // end marker when the disk takes it, and RecordingFailed says so.
    void RecordBlock(const int16_t* frames);
    // Input was lost before the next captured block (the main thread fell
    // behind the sound card): a recording under way notes it in the log at
    // once and tells the operator when it ends (RecordingIncomplete).
    void InputLost(unsigned blocks);
    // The output-done path: while a file plays, the blocks of it the
    // playback queue lacks (one at a time when no device paces it).
    void Pump();
    // The audio devices have been closed and reopened: while a file plays,
    // the reopened capture is stopped again, so that the file alone feeds
    // the chain (live input resumes when playback ends), and the next block
    // of the file goes out so that the new playback device paces it on.
    void DevicesReopened();
    // Closing: a playing file is closed and the centre from before playback
    // restored; a recording is abandoned without an end marker.
    void CloseFiles();

    bool Recording() const;
    bool Playing() const;
    bool RecDown() const { return recDown_; }
    bool RecEnabled() const { return recEnabled_; }
    bool OpenEnabled() const { return openEnabled_; }
    bool PlayDown() const { return playDown_; }
    bool PlayEnabled() const { return playEnabled_; }
    // Where "Open" starts: the folder of the file "Play" plays (the demo
    // band's for a new user of an installed program, "Raw" after a
    // recording), or the data folder when that folder is not there.
    std::filesystem::path OpenFolder() const;
    // "hh:mm:ss" of the file playing or recording (empty when neither).
    std::string_view TimeText() const;

signals:
    // The buttons' states changed.
    void ButtonsChanged();
    // Something the display shows changed (status lines, centre frequency).
    void DisplayChanged();
    // A file's header was refused: beep and show the message.
    void Refused(const QString& message);
    // A recording stopped because its file could not be written: beep and
    // show the message (it names the file and the reason).
    void RecordingFailed(const QString& message);
    // A recording ended that misses input lost while it ran: show the
    // message (it names the file and how much is missing).
    void RecordingIncomplete(const QString& message);

private:
    void StopRecording();
    void FinishRecording(bool written);
    void EndPlayback(bool closeFile);
    void PumpBlock();
    void ShowSliceCenter();

    ReceiverState& state_;
    std::filesystem::path dataDirectory_;
    audio::AudioEngine& audio_;
    BlockSink process_;
    std::unique_ptr<recording::RawRecorder> recorder_;
    std::unique_ptr<recording::IqPlayer> player_;

    uint64_t lostBlocks_ = 0;  // input lost during the recording under way
    bool recDown_ = false;
    bool recEnabled_ = true;
    bool openEnabled_ = true;
    bool playDown_ = false;
    bool playEnabled_ = false;
};

}  // namespace core
