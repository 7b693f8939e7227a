#include "core/RemoteRig.h"

#include "core/Receiver.h"
#include "core/ScanSession.h"
#include "radio/RadioTypes.h"

#include <cmath>

namespace core {

namespace {

constexpr int32_t kKnobTravel = kKnobMax - kKnobMin;

Mode CoreMode(remote::RigMode mode)
{
    switch (mode) {
    case remote::RigMode::Am: return Mode::Am;
    case remote::RigMode::Fm: return Mode::Fm;
    case remote::RigMode::Cw: return Mode::Cw;
    case remote::RigMode::Lsb: return Mode::Lsb;
    case remote::RigMode::Usb: break;
    }
    return Mode::Usb;
}

remote::RigMode RigModeOf(Mode mode)
{
    switch (mode) {
    case Mode::Am: return remote::RigMode::Am;
    case Mode::Fm: return remote::RigMode::Fm;
    case Mode::Cw: return remote::RigMode::Cw;
    case Mode::Lsb: return remote::RigMode::Lsb;
    case Mode::Usb: break;
    }
    return remote::RigMode::Usb;
}

// A knob's angle as 0..1 over its travel, and back.
double KnobLevel(int32_t angle) { return double(angle - kKnobMin) / kKnobTravel; }
int32_t KnobAngleOf(double level) { return kKnobMin + int32_t(std::lround(level * kKnobTravel)); }

}  // namespace

RemoteRig::RemoteRig(Receiver& receiver)
    : receiver_(receiver)
{}

remote::RigCaps RemoteRig::Caps() const
{
    // What can be typed is what can be tuned.
    const radio::RadioTypeInfo& type = radio::RadioTypeOf(receiver_.State().RadioType);
    remote::RigCaps caps;
    caps.minHz = std::llround(type.KeypadMinMHz * 1e6);
    caps.maxHz = std::llround(type.KeypadMaxMHz * 1e6);
    for (int m = 0; m < remote::kRigModeCount; ++m) {
        const IfChoice preset = IfPresetOf(CoreMode(static_cast<remote::RigMode>(m)));
        caps.normalWidth[m] = FixedIfWidth(preset);
    }
    caps.widths = kFixedIfWidths;
    caps.anyWidth = true;  // "User"
    caps.tuningSteps = kStepTable;
    return caps;
}

int64_t RemoteRig::Frequency() const
{
    return int64_t(receiver_.State().FreqCenter) + receiver_.State().FreqTune;
}

remote::RigStatus RemoteRig::SetFrequency(int64_t hz)
{
    switch (receiver_.TuneTo(hz)) {
    case Receiver::TuneResult::Tuned: return remote::RigStatus::Ok;
    case Receiver::TuneResult::FileBusy: return remote::RigStatus::Rejected;
    case Receiver::TuneResult::OutOfRange: break;
    }
    return remote::RigStatus::InvalidParameter;
}

remote::RigMode RemoteRig::Mode() const { return RigModeOf(receiver_.SelectedMode()); }

int32_t RemoteRig::Passband() const { return receiver_.State().IFWidth; }

remote::RigStatus RemoteRig::SetMode(remote::RigMode mode, int32_t width)
{
    const core::Mode wanted = CoreMode(mode);
    if (wanted != receiver_.SelectedMode()) {
        const IfChoice before = receiver_.SelectedIfFilter();
        receiver_.SelectMode(wanted);
        if (width == 0) {
            if (before == IfChoice::User)
                receiver_.SetUserIfWidth(receiver_.State().PosIFBW);
            else
                receiver_.SelectIfFilter(before);
        }
    }
    if (width > 0)
        receiver_.SetIfWidth(width);
    return remote::RigStatus::Ok;
}

int RemoteRig::StrengthDb() const
{
    return static_cast<int>(std::lround(receiver_.SignalDbOverS9()));
}

double RemoteRig::Volume() const { return KnobLevel(receiver_.KnobAngle(Knob::Vol)); }

double RemoteRig::Squelch() const { return KnobLevel(receiver_.KnobAngle(Knob::Sql)); }

remote::RigStatus RemoteRig::SetVolume(double level)
{
    receiver_.TurnKnob(Knob::Vol, KnobAngleOf(level));
    return remote::RigStatus::Ok;
}

remote::RigStatus RemoteRig::SetSquelch(double level)
{
    receiver_.TurnKnob(Knob::Sql, KnobAngleOf(level));
    return remote::RigStatus::Ok;
}

remote::RigStatus RemoteRig::StartRecording()
{
    // The file could not be created: the window's REC stays up.
    return receiver_.WaveRecord(true) ? remote::RigStatus::Ok : remote::RigStatus::IoError;
}

remote::RigStatus RemoteRig::StopRecording()
{
    receiver_.WaveRecord(false);
    return remote::RigStatus::Ok;
}

remote::RigStatus RemoteRig::Scan(remote::RigScan what)
{
    ScanSession& scan = receiver_.Scan();
    if (what == remote::RigScan::Stop) {
        scan.Stop();
        return remote::RigStatus::Ok;
    }
    const ScanKind kind = what == remote::RigScan::Memory ? ScanKind::Memory : ScanKind::Band;
    return scan.Start(scan.OptionsFor(kind)).isEmpty() ? remote::RigStatus::Ok
                                                       : remote::RigStatus::Rejected;
}

}  // namespace core
