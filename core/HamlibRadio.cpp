#include "core/HamlibRadio.h"

#include "core/Receiver.h"
#include "radio/RadioControl.h"
#include "radio/RadioTypes.h"

namespace core {
namespace {

radio::RigMode ToRig(Mode mode)
{
    switch (mode) {
    case Mode::Am: return radio::RigMode::AM;
    case Mode::Fm: return radio::RigMode::FM;
    case Mode::Cw: return radio::RigMode::CW;
    case Mode::Lsb: return radio::RigMode::LSB;
    case Mode::Usb: break;
    }
    return radio::RigMode::USB;
}

Mode FromRig(radio::RigMode mode)
{
    switch (mode) {
    case radio::RigMode::AM: return Mode::Am;
    case radio::RigMode::FM: return Mode::Fm;
    case radio::RigMode::CW: return Mode::Cw;
    case radio::RigMode::LSB: return Mode::Lsb;
    case radio::RigMode::USB: break;
    }
    return Mode::Usb;
}

}  // namespace

HamlibRadio::HamlibRadio(Receiver& receiver, radio::RadioControl& control)
    : receiver_(receiver)
    , control_(control)
{
    ReceiverState& s = receiver_.state_;
    control_.UseHamlib(rig_, s.HamlibIqOffset, s.HamlibTransverterOffset);
    connect(&rig_, &radio::HamlibRig::LinkChanged, this, [this](bool up) {
        if (up)
            notice_.Answers();
        emit receiver_.ComLampChanged(up);
    });
    // An outage mends itself: told without a box, which would stay open
    // after the radio is back. What a model cannot do stays as it is.
    connect(&rig_, &radio::HamlibRig::Outage, &notice_, &RadioNotice::Lost);
    connect(&notice_, &RadioNotice::Changed, this, [this] { emit receiver_.RadioNoticeChanged(); });
    connect(&rig_, &radio::HamlibRig::Notice, this,
            [this](const QString& text) { emit receiver_.ShowError(text, false); });
    connect(&rig_, &radio::HamlibRig::FrequencyRead, this, &HamlibRadio::Follow);
    connect(&rig_, &radio::HamlibRig::ModeRead, this, &HamlibRadio::FollowMode);
    connect(&rig_, &radio::HamlibRig::FrequencySettled, this, [this](int64_t dial) {
        dial_ = dial;
        const int64_t center = control_.CenterFor(dial);
        if (center >= INT32_MIN && center <= INT32_MAX)
            emit receiver_.RadioSettled(static_cast<int32_t>(center));
    });
    // A grid learnt only now moves FreqCenter onto it.
    connect(&rig_, &radio::HamlibRig::Opened, this, [this] {
        if (rig_.Abilities().Grid > 1 && !receiver_.FileBusy())
            control_.SetRadioFrequency(receiver_.state_.FreqCenter);
    });
}

bool HamlibRadio::Open()
{
    const ReceiverState& s = receiver_.state_;
    rig_.Close();
    notice_.Closed();
    dial_.reset();
    if (s.HamlibPort.empty())
        return false;
    rig_.Open(s.HamlibModel, s.HamlibPort, s.HamlibSpeed);
    // As the serial radios' set-up does: the radio is tuned to where Tesmar
    // stands, and takes its mode.
    control_.StartRadio();
    rig_.SetMode(ToRig(s.RxMode));
    return true;
}

void HamlibRadio::Close()
{
    rig_.Close();
    notice_.Closed();
    dial_.reset();
}

void HamlibRadio::ModeSelected(Mode mode)
{
    if (rig_.IsOpen())
        rig_.SetMode(ToRig(mode));
}

void HamlibRadio::OffsetsChanged()
{
    if (dial_)
        Follow(*dial_);
    else if (rig_.IsOpen() && !receiver_.FileBusy())
        control_.SetRadioFrequency(receiver_.state_.FreqCenter);
}

void HamlibRadio::Follow(int64_t dial)
{
    dial_ = dial;
    ReceiverState& s = receiver_.state_;
    const radio::RadioTypeInfo& type = radio::RadioTypeOf(radio::kHamlibRadioType);
    const int64_t center = control_.CenterFor(dial);
    if (center < type.MinCenter || center > type.MaxCenter)
        return;
    const auto c = static_cast<int32_t>(center);
    if (receiver_.RawPlaying()) {
        // The band shown is the file's; the radio's own frequency returns
        // when playback ends.
        s.SavedCenter = c;
        return;
    }
    if (c == s.FreqCenter)
        return;
    if (receiver_.RawRecording()) {
        // The file's header holds the centre it began at: as the band
        // buttons are refused meanwhile, the radio is put back there.
        control_.SetRadioFrequency(s.FreqCenter);
        return;
    }
    // The receive frequency moves with the dial: FreqTune is kept.
    s.FreqCenter = c;
    s.MemoryMode = false;
    emit receiver_.DisplayChanged();
}

void HamlibRadio::FollowMode(radio::RigMode mode)
{
    const Mode m = FromRig(mode);
    if (m == receiver_.state_.RxMode)
        return;
    // As the mode button: its IF and AF presets with it. The radio already
    // has the mode, so nothing is sent back.
    receiver_.SelectMode(m);
}

}  // namespace core
