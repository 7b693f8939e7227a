#include "ui/windows/DeviceNotice.h"

#include <QLabel>
#include <QShowEvent>

namespace ui {

QPoint CentredTopLeft(const QRect& settings, const QSize& own)
{
    const int top = settings.top() + settings.height() / 2 - own.height() / 2;
    const int left = settings.left() + settings.width() / 2 - own.width() / 2;
    return {left, top};
}

TForm10::TForm10(QWidget* settings, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint)
    , settings_(settings)
{
    setObjectName("Form10");
    setWindowTitle("Changing Device...");
    // A fixed pixel size: the notice does not follow the desktop's font scale.
    setFixedSize(195, 43);
    Label1 = new QLabel("Now Restart Devices...", this);
    Label1->setObjectName("Label1");
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setGeometry(0, 0, 195, 43);
}

void TForm10::CentreOver(QWidget* settings)
{
    if (settings == nullptr)
        return;
    move(CentredTopLeft(settings->frameGeometry(), frameGeometry().size()));
}

void TForm10::showEvent(QShowEvent* event)
{
    if (!event->spontaneous())
        CentreOver(settings_);
    QWidget::showEvent(event);
}

}  // namespace ui
