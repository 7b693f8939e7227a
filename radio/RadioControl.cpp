#include "radio/RadioControl.h"

#include "radio/HamlibRig.h"
#include "radio/RadioTypes.h"

#include <utility>

namespace radio {

RadioControl::RadioControl(RadioLink& link, int32_t& FreqCenter, int32_t& FreqTune,
                           const int32_t& RadioType, QObject* parent)
    : QObject(parent)
    , link_(link)
    , freqCenter_(FreqCenter)
    , freqTune_(FreqTune)
    , radioType_(RadioType)
{
    connect(&link_, &RadioLink::CommandFinished, this, [this](bool acknowledged) {
        if (std::exchange(frequencyPending_, false) && acknowledged)
            emit FrequencyAcknowledged(pendingFs_);
        Advance();
    });
    // A radio whose adapter was unplugged lost its IQ mode and frequency with it.
    connect(&link_, &RadioLink::PortReopened, this, &RadioControl::StartRadio);
}

void RadioControl::UseHamlib(HamlibRig& rig, const int32_t& IqOffset,
                             const int32_t& TransverterOffset)
{
    hamlib_ = &rig;
    iqOffset_ = &IqOffset;
    transverterOffset_ = &TransverterOffset;
}

int64_t RadioControl::DialFor(int64_t freqCenter) const
{
    if (iqOffset_ == nullptr)
        return freqCenter;
    return freqCenter - *iqOffset_ - *transverterOffset_;
}

int64_t RadioControl::CenterFor(int64_t dial) const
{
    if (iqOffset_ == nullptr)
        return dial;
    return dial + *iqOffset_ + *transverterOffset_;
}

bool RadioControl::SetRadioFrequency(int32_t f)
{
    const RadioTypeInfo& type = RadioTypeOf(radioType_);
    if (f < type.MinCenter || f > type.MaxCenter)
        return false;
    if (radioType_ == kHamlibRadioType && hamlib_ != nullptr) {
        const int64_t grid = hamlib_->Abilities().Grid;
        const auto fs = static_cast<int32_t>(f / grid * grid);
        const int64_t dial = DialFor(fs);
        if (dial <= 0)
            return false;
        freqTune_ += f - fs;
        freqCenter_ = fs;
        if (hamlib_->IsOpen())
            hamlib_->SetFrequency(dial);
        return true;
    }
    const int32_t fs = f / type.Grid * type.Grid;
    char command[kMaxCommandLength];
    const std::size_t length = FormatFrequencyCommand(radioType_, fs, command);
    freqTune_ += f - fs;
    // A busy link drops the command: only one it took is waited for.
    const bool wasPending = link_.CommandPending();
    link_.SendRadioCommand(std::string_view(command, length));
    if (!wasPending && link_.CommandPending()) {
        frequencyPending_ = true;
        pendingFs_ = fs;
    }
    freqCenter_ = fs;
    return true;
}

void RadioControl::StartRadio()
{
    running_ = true;
    setupType_ = radioType_;
    nextSetup_ = 0;
    Advance();
}

void RadioControl::Advance()
{
    // Sending or finishing can lead straight back here (a lost port ends the
    // command at once; a finished-handler may restart the sequence): the outer
    // call then simply goes round once more.
    if (advancing_) {
        advanceAgain_ = true;
        return;
    }
    advancing_ = true;
    do {
        advanceAgain_ = false;
        while (running_ && !link_.CommandPending()) {
            const RadioTypeInfo& type = RadioTypeOf(setupType_);
            if (nextSetup_ < type.SetupCount) {
                link_.SendRadioCommand(type.SetupCommands[nextSetup_++]);
            } else {
                running_ = false;
                SetRadioFrequency(freqCenter_);
                emit StartRadioFinished();
            }
        }
    } while (advanceAgain_);
    advancing_ = false;
}

}  // namespace radio
