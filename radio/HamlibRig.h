#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace radio {

// The receiver's modes as a radio knows them, in the order of the mode buttons.
enum class RigMode { AM, FM, CW, LSB, USB };

// One radio model of the installed Hamlib library.
struct HamlibModel {
    int Model = 0;  // Hamlib's model number
    std::string Maker;
    std::string Name;
};

// Every model the installed library lists, sorted by maker, then name.
// Read from the library once, then kept.
const std::vector<HamlibModel>& HamlibModels();

// What the open model can do, learnt when it opens.
struct HamlibAbilities {
    std::string ModelName;  // maker and name, as the operator knows the radio
    bool CanSetFrequency = true;
    bool CanReadFrequency = true;
    bool CanSetMode = true;
    bool CanReadMode = true;
    int64_t Grid = 1;  // Hz; the finest step the model lists, 1 when it lists none
};

// A radio that Hamlib controls: a serial device, or a rigctld shared with
// other programs (model 2 and "host:port"). Every Hamlib call runs on a
// worker thread of this object's own: the owner's thread only queues requests
// and takes the results, which arrive as queued signals, so a radio that
// answers slowly, not at all, or is unplugged never holds up the caller.
//
// While open, the frequency and (where the model can) the mode are read back
// every kPollIntervalMs and reported when they differ from what was last read
// or set. A radio that fails is closed, told (Outage), and opened again every
// kReopenIntervalMs until it answers, each open bounded; a frequency or mode
// asked for meanwhile is sent when it does. Otherwise the radio's own dial is
// followed after a return, never overwritten.
//
// Every Open and Close begins a new generation: what the worker reports
// carries the generation it was learnt in, and a report of an opening since
// closed or replaced (a call that was still under way) is dropped.
class HamlibRig : public QObject {
    Q_OBJECT

public:
    // Start to start; a slow line keeps kPollGapMs free between polls.
    static constexpr int kPollIntervalMs = 150;
    static constexpr int kPollGapMs = 50;
    static constexpr int kReopenIntervalMs = 2000;
    // An open waits at most this long for each answer (the model's own time,
    // where shorter, for a serial radio): rigctld's model waits 10 s at each
    // of two exchanges, so a server that accepts and never answers held the
    // worker for 20 s, far beyond the interval the operator is told. The
    // model's own time returns once the radio is open, since a slow radio
    // behind rigctld may need it for its calls.
    static constexpr int kOpenNetworkTimeoutMs = 500;
    static constexpr int kOpenSerialTimeoutMs = 1000;
    // Kept free after a failed attempt before the next one begins.
    static constexpr int kReopenGapMs = 500;
    // What destruction waits for a call in progress: well inside the
    // program's termination deadline.
    static constexpr int kCloseWaitMs = 1000;

    explicit HamlibRig(QObject* parent = nullptr);
    // Waits briefly for a call in progress; one still stuck on a silent radio
    // finishes on its own and the radio is closed after it.
    ~HamlibRig() override;
    HamlibRig(const HamlibRig&) = delete;
    HamlibRig& operator=(const HamlibRig&) = delete;

    // Opens `model` on `port` (a device path, or host:port for a network
    // model) at `speed` baud (0: the model's default), closing what was open.
    void Open(int model, const std::string& port, int speed);
    void Close();
    // Tunes the radio's dial to hz. Only the latest request waiting counts.
    void SetFrequency(int64_t hz);
    // Sets the mode, the radio's own filter left as it is.
    void SetMode(RigMode mode);

    bool IsOpen() const { return open_; }
    // The radio answered its last call: the "COM" lamp.
    bool LinkUp() const { return linkUp_; }
    // Opened, and the radio has neither answered nor failed yet.
    bool Opening() const { return open_ && !settled_; }
    // Learnt when the model opened (Opened); until then, and after Close,
    // a model that can do everything on a 1 Hz grid.
    const HamlibAbilities& Abilities() const { return abilities_; }

signals:
    void Opened();
    void LinkChanged(bool up);
    // The dial or the mode differs from what Tesmar last set or read: the
    // operator turned the knob. Never sent while a request of Tesmar's own is
    // on its way, so a read of the old frequency cannot undo a new one.
    void FrequencyRead(int64_t hz);
    void ModeRead(radio::RigMode mode);
    // The radio took the frequency (Hamlib returned RIG_OK).
    void FrequencySettled(int64_t hz);
    // The radio does not answer, and how often Tesmar tries again: told
    // once per outage, before the lamp darkens, and again should the
    // interval change (attempts that take longer than it allows);
    // LinkChanged(true) ends the outage.
    void Outage(const QString& text);
    // Something the operator is told once: a model that cannot do what
    // Tesmar would ask of it.
    void Notice(const QString& text);

private:
    struct Worker;
    // Results from the worker, on this object's thread.
    void TakeLink(bool up);
    void TakeAbilities(const HamlibAbilities& abilities);
    void TakeFrequency(int64_t hz, uint64_t seq);
    void TakeMode(RigMode mode, uint64_t seq);
    void TakeSettled(int64_t hz);
    // Open and Close: a new generation, whose reports alone count, its
    // link dark until it answers.
    void Begin(bool open);
    void ShowLink(bool up);

    std::shared_ptr<Worker> worker_;
    uint64_t generation_ = 0;
    bool open_ = false;
    bool settled_ = true;  // the current opening has answered or failed
    bool linkUp_ = false;
    HamlibAbilities abilities_;
    uint64_t freqSeq_ = 0;  // frequency requests made
    uint64_t modeSeq_ = 0;
};

}  // namespace radio

Q_DECLARE_METATYPE(radio::RigMode)
