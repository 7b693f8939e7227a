#include "ui/ImageBox.h"

#include <QMouseEvent>
#include <QPainter>

namespace ui {

ImageBox::ImageBox(QWidget* parent, int left, int top, int width, int height)
    : QWidget(parent)
    , image_(&own_)
{
    setGeometry(left, top, width, height);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ImageBox::SetImage(const QImage& image)
{
    // The painters keep their pictures for the window's life; pointing at
    // them avoids a copy per block.
    image_ = &image;
    update();
}

void ImageBox::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    if (image_->isNull())
        p.fillRect(rect(), palette().window());
    else
        p.drawImage(0, 0, *image_);
}

void ImageBox::enterEvent(QEnterEvent*) { emit Entered(); }
void ImageBox::leaveEvent(QEvent*) { emit Left(); }

void ImageBox::mouseReleaseEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    emit Released(event->button(), at.x(), at.y());
}

}  // namespace ui
