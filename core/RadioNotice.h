#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

namespace core {

// Shown for a while once the radio answers again.
inline constexpr const char* kRadioBackMessage = "The radio answers again.";

// The main window's notice of a Hamlib radio that does not answer. As the
// lost sound device's, it never waits for the operator: it tells the outage
// while it lasts, says when the radio answers again, and clears itself
// kBackShownMs later. A modal box used to stay open long after the lamp had
// relit.
class RadioNotice : public QObject {
    Q_OBJECT

public:
    enum class State { None, Lost, Back };
    static constexpr int kBackShownMs = 5000;

    explicit RadioNotice(QObject* parent = nullptr);

    // The radio does not answer: `text` says why and what Tesmar does.
    void Lost(const QString& text);
    void Answers();
    // The radio was closed or another opened: its outage is no longer.
    void Closed();

    State Current() const { return state_; }
    // Empty when nothing is to be shown.
    QString Text() const;

signals:
    void Changed();

private:
    void Set(State state, const QString& text);

    State state_ = State::None;
    QString lostText_;
    QTimer clear_;
};

}  // namespace core
