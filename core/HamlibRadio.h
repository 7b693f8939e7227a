#pragma once

// The Hamlib radio type as the receiver sees it: opening the configured
// model and port, the mode buttons reaching the radio, and Tesmar following
// the radio's own dial and mode switch.

#include "core/RadioNotice.h"
#include "core/model/ReceiverState.h"
#include "radio/HamlibRig.h"

#include <QObject>

#include <cstdint>
#include <optional>

namespace radio {
class RadioControl;
}

namespace core {

class Receiver;

class HamlibRadio : public QObject {
    Q_OBJECT

public:
    HamlibRadio(Receiver& receiver, radio::RadioControl& control);

    // Opens HamlibModel on HamlibPort at HamlibSpeed, tunes the radio to
    // FreqCenter and sets the selected mode; the link comes up (or is told
    // not to) later. False, opening nothing, without a port.
    bool Open();
    void Close();
    // A mode button: the radio takes the mode, where its model can.
    void ModeSelected(Mode mode);
    // The offsets changed in the dialog: the radio stays where it is and
    // FreqCenter moves to what its dial now stands for; a radio whose dial
    // is not known yet is tuned to FreqCenter through the new offsets.
    void OffsetsChanged();
    bool LinkUp() const { return rig_.LinkUp(); }
    // Opened, and the radio has neither answered nor failed yet.
    bool Opening() const { return rig_.Opening(); }
    // An outage as the main window tells it (Receiver::RadioNoticeChanged).
    const RadioNotice& Notice() const { return notice_; }
    radio::HamlibRig& Rig() { return rig_; }

private:
    void Follow(int64_t dial);
    void FollowMode(radio::RigMode mode);

    Receiver& receiver_;
    radio::RadioControl& control_;
    radio::HamlibRig rig_;
    RadioNotice notice_;
    std::optional<int64_t> dial_;  // last read or acknowledged
};

}  // namespace core
