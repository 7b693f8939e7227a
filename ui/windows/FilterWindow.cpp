#include "ui/windows/FilterWindow.h"

#include "core/Receiver.h"
#include "ui/windows/Placement.h"

#include <QCloseEvent>
#include <QFrame>
#include <QMouseEvent>
#include <QPainter>
#include <QShowEvent>

namespace ui {

// Shows the window's picture as it is and hands the mouse to the window.
class FilterPictureBox : public QWidget {
public:
    FilterPictureBox(FilterWindow& window, QWidget* parent)
        : QWidget(parent)
        , window_(window)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
        // The cursor changes over an edge before any button goes down.
        setMouseTracking(true);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.drawImage(0, 0, window_.Picture());
    }
    void mousePressEvent(QMouseEvent* event) override
    {
        const QPoint at = event->position().toPoint();
        window_.PointerPressed(at.x(), at.y());
    }
    void mouseMoveEvent(QMouseEvent* event) override
    {
        const QPoint at = event->position().toPoint();
        window_.Moved(at.x(), at.y());
    }
    void mouseReleaseEvent(QMouseEvent*) override { window_.PointerReleased(); }

private:
    FilterWindow& window_;
};

FilterWindow::FilterWindow(core::Receiver& receiver, const char* objectName, const char* title,
                           core::Window window, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint |
                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , receiver_(receiver)
    , painter_(core::kFilterPictureWidth, core::kFilterPictureHeight)
    , window_(window)
{
    setObjectName(objectName);
    setWindowTitle(title);
    setFixedSize(kClientWidth, kClientHeight);
    panel_ = new QFrame(this);
    panel_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel_->setLineWidth(1);
    panel_->setGeometry(0, 0, kClientWidth, kClientHeight);
    picture_ = new FilterPictureBox(*this, panel_);
    picture_->setObjectName("picture");
    picture_->setGeometry(1, 1, core::kFilterPictureWidth, core::kFilterPictureHeight);
}

QWidget* FilterWindow::PictureBox() const { return picture_; }

void FilterWindow::Redraw()
{
    PaintPicture();
    picture_->update();
}

void FilterWindow::Moved(int x, int y)
{
    const core::PointerAnswer answer = PointerMoved(x, y);
    picture_->setCursor(answer.shape == core::PointerShape::SizeHorizontal ? Qt::SizeHorCursor
                                                                           : Qt::ArrowCursor);
    if (answer.redraw)
        Redraw();
}

void FilterWindow::showEvent(QShowEvent* event)
{
    if (!event->spontaneous()) {
        RestoreFramePosition(*this, receiver_.WindowPlace(window_).topLeft());
        // Mode and filter buttons redraw only a showing window.
        Redraw();
    }
    QWidget::showEvent(event);
}

void FilterWindow::closeEvent(QCloseEvent* event)
{
    // The main window closes every window at exit, also one that never
    // showed this run: its position is the stored one, not where it stands.
    if (isVisible()) {
        receiver_.StoreWindowPlace(window_, QRect(FramePosition(*this), size()));
    }
    QWidget::closeEvent(event);
}

}  // namespace ui
