#include "core/SoundNotice.h"

#include "audio/AudioEngine.h"

namespace core {

SoundNotice::SoundNotice(QObject* parent)
    : QObject(parent)
{
    clear_.setSingleShot(true);
    connect(&clear_, &QTimer::timeout, this, [this] { Set(State::None); });
}

void SoundNotice::DeviceLost(const QString& message)
{
    const bool changed = state_ == State::Lost && message != lostMessage_;
    lostMessage_ = message;
    Set(State::Lost);
    if (changed)
        emit Changed();
}

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
    case State::Lost: return lostMessage_;
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
