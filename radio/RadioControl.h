#pragma once

#include "radio/RadioLink.h"

#include <QObject>

#include <cstddef>
#include <cstdint>

namespace radio {

class HamlibRig;

// The radio's command set on top of the link: retuning the radio's centre
// frequency and the set-up sequence that switches it to IQ output.
//
// The frequencies and the radio type are fields of the application's shared
// receiver state, bound here by reference so that this library stays below
// the core that owns them.
class RadioControl : public QObject {
    Q_OBJECT

public:
    RadioControl(RadioLink& link, int32_t& FreqCenter, int32_t& FreqTune, const int32_t& RadioType,
                 QObject* parent = nullptr);

    // Moves the radio's centre to f truncated to the radio's grid, keeps the
    // receive frequency FreqCenter + FreqTune moving by exactly f - FreqCenter,
    // and offers the command to the link (dropped when the port is closed or
    // busy). Returns false, changing nothing, when f is outside the range.
    bool SetRadioFrequency(int32_t f);

    // Starts the set-up sequence of the current radio type, ending with the
    // frequency command for FreqCenter. Each step waits for the link to be
    // idle; the waits are advanced by the link's acknowledgments, time-outs
    // and port loss, never by a nested event loop. Calling it again while a
    // sequence runs starts that sequence afresh. Runs by itself when the link
    // reopens a lost port.
    void StartRadio();
    bool StartRadioRunning() const { return running_; }

    RadioLink& Link() { return link_; }

    // With the Hamlib radio type the frequency goes to `rig` rather than to
    // the serial link. FreqCenter stays the frequency the display and files
    // show at the IQ band's centre; the radio's dial is
    //     FreqCenter - IqOffset - TransverterOffset,
    // IqOffset being where the radio's IQ output is centred relative to its
    // dial (0 for a true IQ radio, the tap's offset for an IF output) and
    // TransverterOffset what a transverter adds ahead of the radio. The grid
    // is the model's finest step. A dial that would fall to 0 Hz or below is
    // refused as out of range.
    void UseHamlib(HamlibRig& rig, const int32_t& IqOffset, const int32_t& TransverterOffset);
    // The dial for a centre, and the centre a dial read back stands for.
    int64_t DialFor(int64_t freqCenter) const;
    int64_t CenterFor(int64_t dial) const;

signals:
    void StartRadioFinished();
    // The radio answered "OK" to a frequency command: it is at `fs` now.
    void FrequencyAcknowledged(int32_t fs);

private:
    void Advance();

    RadioLink& link_;
    int32_t& freqCenter_;
    int32_t& freqTune_;
    const int32_t& radioType_;
    HamlibRig* hamlib_ = nullptr;
    const int32_t* iqOffset_ = nullptr;
    const int32_t* transverterOffset_ = nullptr;

    bool running_ = false;
    int32_t setupType_ = 0;
    std::size_t nextSetup_ = 0;
    bool advancing_ = false;
    bool advanceAgain_ = false;
    // The link's pending command is our frequency command for this centre.
    bool frequencyPending_ = false;
    int32_t pendingFs_ = 0;
};

}  // namespace radio
