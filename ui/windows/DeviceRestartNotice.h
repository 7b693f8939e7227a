#pragma once

// "Changing Device...": the notice shown while the audio devices close and
// reopen, centred over the settings dialog.

#include <QPointer>
#include <QWidget>

class QLabel;

namespace ui {

// Top-left corner that centres a window of size own over the rectangle
// settings (outer frames), each half taken with integer division.
QPoint CentredTopLeft(const QRect& settings, const QSize& own);

class DeviceRestartNotice : public QWidget {
    Q_OBJECT
public:
    // settings: the window to centre over whenever the notice is shown.
    explicit DeviceRestartNotice(QWidget* settings = nullptr, QWidget* parent = nullptr);

    void SetSettingsDialog(QWidget* settings) { settings_ = settings; }
    // Moves the notice so that it sits in the middle of settings.
    void CentreOver(QWidget* settings);

    QLabel* Message() const { return message_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLabel* message_ = nullptr;
    QPointer<QWidget> settings_;
};

}  // namespace ui
