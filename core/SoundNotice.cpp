#include "core/SoundNotice.h"

#include "audio/AudioEngine.h"

namespace core {

SoundNotice::SoundNotice(QObject* parent)
    : QObject(parent)
{
    clear_.setSingleShot(true);
    connect(&clear_, &QTimer::timeout, this, [this] { Set(State::None); });
}

void SoundNotice::DeviceLost() { Set(State::Lost); }

void SoundNotice::DevicesRecovered()
{
    if (state_ != State::Lost)
        return;
    Set(State::Back);
    clear_.start(kBackShownMs);
}

void SoundNotice::DevicesReopened()
{
    if (state_ == State::Lost)
        Set(State::None);
}

QString SoundNotice::Text() const
{
    switch (state_) {
    case State::Lost: return QString::fromLatin1(audio::kDeviceLostMessage);
    case State::Back: return QString::fromLatin1(kDeviceBackMessage);
    case State::None: break;
    }
    return {};
}

void SoundNotice::Set(State state)
{
    if (state != State::Back)
        clear_.stop();
    if (state == state_)
        return;
    state_ = state;
    emit Changed();
}

}  // namespace core
