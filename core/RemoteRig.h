#pragma once

// The receiver as the network rig protocol sees it: each remote command
// mapped onto the control that does the same (a typed frequency, the mode
// buttons, the IF buttons and the IF filter window's user width, the VOL
// and SQL knobs, the "Wave recoder" window's REC). Main thread only, as
// the controls.

#include "remote/Rig.h"

namespace core {

class Receiver;

class RemoteRig : public remote::Rig {
public:
    explicit RemoteRig(Receiver& receiver);

    remote::RigCaps Caps() const override;
    int64_t Frequency() const override;
    remote::RigStatus SetFrequency(int64_t hz) override;
    remote::RigMode Mode() const override;
    int32_t Passband() const override;
    // A new mode presses its button (with the IF and AF presets); a width of
    // 0 then brings the IF choice back to what it was, any other width sets
    // it as SetIfWidth does. The mode in effect is not pressed again, so a
    // client that repeats it does not undo the operator's filters.
    remote::RigStatus SetMode(remote::RigMode mode, int32_t width) override;
    int StrengthDb() const override;
    double Volume() const override;
    double Squelch() const override;
    remote::RigStatus SetVolume(double level) override;
    remote::RigStatus SetSquelch(double level) override;
    remote::RigStatus StartRecording() override;
    remote::RigStatus StopRecording() override;
    // The "Scan" window's Start (a memory scan or a band search with the
    // window's settings) and Stop; refused while a raw file plays.
    remote::RigStatus Scan(remote::RigScan what) override;

private:
    Receiver& receiver_;
};

}  // namespace core
