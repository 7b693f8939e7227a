#include "ui/windows/DeviceRestartNotice.h"

#include <QLabel>
#include <QShowEvent>

namespace ui {

QPoint CentredTopLeft(const QRect& settings, const QSize& own)
{
    const int top = settings.top() + settings.height() / 2 - own.height() / 2;
    const int left = settings.left() + settings.width() / 2 - own.width() / 2;
    return {left, top};
}

DeviceRestartNotice::DeviceRestartNotice(QWidget* settings, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint)
    , settings_(settings)
{
    setObjectName("deviceRestartNotice");
    setWindowTitle("Changing Device...");
    // A fixed pixel size: the notice does not follow the desktop's font scale.
    setFixedSize(195, 43);
    message_ = new QLabel("Now Restart Devices...", this);
    message_->setObjectName("message");
    message_->setAlignment(Qt::AlignCenter);
    message_->setGeometry(0, 0, 195, 43);
}

void DeviceRestartNotice::CentreOver(QWidget* settings)
{
    if (settings == nullptr)
        return;
    move(CentredTopLeft(settings->frameGeometry(), frameGeometry().size()));
}

void DeviceRestartNotice::showEvent(QShowEvent* event)
{
    if (!event->spontaneous())
        CentreOver(settings_);
    QWidget::showEvent(event);
}

}  // namespace ui
