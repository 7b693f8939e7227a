#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

namespace core {

// Shown for a while once every lost sound device runs again.
inline constexpr const char* kDeviceBackMessage = "The sound device is back.";

// The main window's notice of a lost sound device. It never waits for the
// operator: it says the device has gone while it is gone, says it is back
// when it returns, and clears itself kBackShownMs later. A modal box used to
// block the window until OK, though the audio had long returned.
class SoundNotice : public QObject {
    Q_OBJECT

public:
    enum class State { None, Lost, Back };
    static constexpr int kBackShownMs = 5000;

    explicit SoundNotice(QObject* parent = nullptr);

    // A device went away, or could not open at the start (the engine tells
    // each loss once); message says which and that it is waited for.
    void DeviceLost(const QString& message);
    // Every lost device runs again.
    void DevicesRecovered();
    // The devices were closed and opened anew by hand (the settings dialog):
    // whatever was lost is no longer, and an open that failed has said so.
    void DevicesReopened();

    State Current() const { return state_; }
    // Empty when nothing is to be shown.
    QString Text() const;

signals:
    void Changed();

private:
    void Set(State state);

    State state_ = State::None;
    QString lostMessage_;
    QTimer clear_;
};

}  // namespace core
