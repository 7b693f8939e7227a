#include "core/RadioNotice.h"

namespace core {

RadioNotice::RadioNotice(QObject* parent)
    : QObject(parent)
{
    clear_.setSingleShot(true);
    connect(&clear_, &QTimer::timeout, this, [this] { Set(State::None, {}); });
}

void RadioNotice::Lost(const QString& text) { Set(State::Lost, text); }

void RadioNotice::Answers()
{
    if (state_ != State::Lost)
        return;
    Set(State::Back, {});
    clear_.start(kBackShownMs);
}

void RadioNotice::Closed() { Set(State::None, {}); }

QString RadioNotice::Text() const
{
    switch (state_) {
    case State::Lost: return lostText_;
    case State::Back: return QString::fromLatin1(kRadioBackMessage);
    case State::None: break;
    }
    return {};
}

void RadioNotice::Set(State state, const QString& text)
{
    if (state != State::Back)
        clear_.stop();
    if (state == state_ && text == lostText_)
        return;
    state_ = state;
    lostText_ = text;
    emit Changed();
}

}  // namespace core
