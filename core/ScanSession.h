#pragma once

// The scanner as the receiver runs it (core/model/Scanner holds the logic): the
// memory list's channels with their lock-out marks ("MemoryLockout.txt"
// beside "MemoryList.txt"), the receiver's tuning, the radio, the WAV
// recorder for the hits and the log "ScanLog.csv" beside the settings file.
//
// Tuning to a channel inside the band moves FreqTune alone; a channel outside
// it retunes the radio through SetRadioFrequency, and the scan waits for the
// radio's acknowledgement (Receiver::RadioSettled: a serial radio's "OK", the
// Hamlib radio's settled frequency). With no radio to retune (no serial port
// open, no Hamlib link up) there is no way to hear a channel outside the band
// (the band stays where it is): such channels are left out, and the operator
// is told once per scan.
//
// Any tuning by the operator (keys, wheel, keypad, the spectrum, the band
// buttons, a memory recall, a remote client's frequency) stops the scan, and
// so does a raw file that plays: its band is not the radio's. Main thread.

#include "core/LockoutMarks.h"
#include "core/model/Scanner.h"

#include <QObject>
#include <QString>

#include <deque>
#include <filesystem>
#include <functional>

namespace core {

class Receiver;
class WaveRecording;
struct ReceiverState;

// What the session needs of the receiver behind its facade: the state it
// tunes, the recorder and the radio. The receiver hands it over.
struct ScanAccess {
    ReceiverState& state;
    WaveRecording& wave;
    std::function<bool()> fileBusy;       // a raw file records or plays
    std::function<bool()> radioBusy;      // the radio still answers a command
    std::function<bool()> radioPortOpen;  // a radio is there to retune
    // SetRadioFrequency: false when the radio's range refuses `center`.
    std::function<bool(int32_t center)> setRadioFrequency;
};

class ScanSession : public QObject {
    Q_OBJECT

public:
    // The hits the window lists, newest first.
    static constexpr std::size_t kRecentHits = 50;

    ScanSession(Receiver& receiver, ScanAccess access, QObject* parent = nullptr);
    ~ScanSession() override;

    // Starts a scan with these options (a memory scan takes the memory
    // list's channels). The refusal, or empty when it runs.
    QString Start(const ScanOptions& options);
    // The options the last start used, for a scan of `kind`, with the
    // stored choices; a band search never started before searches the band
    // around the radio's centre in 5 kHz steps in the mode in effect.
    ScanOptions OptionsFor(ScanKind kind) const;
    // The window's choices (record each hit, threshold, hang time, the FM
    // squelch) for the settings file and the next scan.
    void StoreChoices(const ScanOptions& options);
    void Stop();
    void Skip();
    void LockOut();

    bool Running() const { return scanner_.Running(); }
    const Scanner& Scan() const { return scanner_; }
    // "Searching", "Tower 5.000000 MHz AM", ...: what the scan does now.
    QString StateText() const;
    const std::deque<ScanHit>& RecentHits() const { return recent_; }
    // Hits since the program started (the list above keeps the recent ones).
    uint64_t HitCount() const { return hitCount_; }
    // The last notice (channels left out, a log that could not be written).
    const QString& Notice() const { return notice_; }
    std::filesystem::path LogFile() const;
    std::filesystem::path LockoutFile() const { return lockouts_.File(); }
    // The memory channels' lock-out marks; the receiver's start reads them.
    LockoutMarks& Lockouts() { return lockouts_; }
    const LockoutMarks& Lockouts() const { return lockouts_; }
    // The memory list's row `row` is locked out of the scan.
    bool LockedOut(int row) const;
    // The memory list window's "Unlock" of row `row`: visited again from the
    // next scan on. Empty, or why the file does not keep it.
    QString Unlock(int row);

    // The receiver's part, not the windows'.
    void OnBlock();
    void RadioSettled(int32_t freqCenter);
    // The operator tuned: the scan ends.
    void OperatorTuned();

signals:
    // Phase, channel, hits or notice changed.
    void Changed();
    // A channel was locked out or unlocked.
    void LockoutsChanged();

private:
    ScanHooks Hooks();
    bool StartHitRecording(const ScanHit& hit);
    void StopHitRecording();
    void SetNotice(const QString& text);

    Receiver& rx_;
    ScanAccess access_;
    Scanner scanner_;
    LockoutMarks lockouts_;
    std::deque<ScanHit> recent_;
    uint64_t hitCount_ = 0;
    ScanOptions last_;
    bool bandSet_ = false;  // last_ holds a band search's start, stop, step and mode
    QString notice_;
    bool tuning_ = false;                 // the scan itself tunes: not the operator
    std::filesystem::path hitRecording_;  // the file a hit's recording was started in
};

// A hit as the window lists it: "23:40:01  5.000000 MHz  Tower  AM  3.2 s  +23 dB".
QString HitText(const ScanHit& hit);

}  // namespace core
