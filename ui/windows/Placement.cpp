#include "ui/windows/Placement.h"

#include "core/WindowPlacement.h"
#include "core/model/ReceiverState.h"
#include "ui/windows/DeviceRestartNotice.h"

#include <QEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QVariant>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace ui {

QPoint CentredInsideDesktop(const QRect& over, const QSize& own, const QRect& desktop)
{
    const QPoint centred = CentredTopLeft(over, own);
    return {std::max(centred.x(), desktop.left()), std::max(centred.y(), desktop.top())};
}

void CentreOver(QWidget* window, const QWidget* over)
{
    if (window == nullptr || over == nullptr)
        return;
    const QScreen* screen = over->screen();
    const QRect desktop = screen ? screen->availableGeometry() : QRect();
    window->move(
        CentredInsideDesktop(over->frameGeometry(), window->frameGeometry().size(), desktop));
}

namespace {

// The window the others are placed beside when they have no place of their
// own.
QPointer<QWidget> mainWindow;

constexpr const char* kStoredPlace = "tesmarStoredPlace";
constexpr const char* kFrameCheck = "frameCheck";
constexpr const char* kPlacedAt = "tesmarPlacedAt";

QList<QRect> Screens()
{
    QList<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens.append(screen->availableGeometry());
    return screens;
}

QRect FrameGeometry(const QWidget& window)
{
    const QWindow* native = window.windowHandle();
    return native && window.isVisible() ? native->frameGeometry() : window.frameGeometry();
}

// Where the frame of `window`, at `stored` now, goes: there, brought onto the
// screens; or beside the main window when it has no place of its own. The
// settings file's default place is (0,0), where a window would lie on top of
// the main window at its own default place: a stored (0,0) that would cover
// the main window is no place.
QPoint Target(const QWidget& window, QPoint stored, QSize frame)
{
    // The frame's far corner is computed from the place: one near the int
    // limits would overflow.
    constexpr int limit = core::kWindowCoordinateLimit;
    stored = {std::clamp(stored.x(), -limit, limit), std::clamp(stored.y(), -limit, limit)};
    const QVariant own = window.property(kStoredPlace);
    if (mainWindow && &window != mainWindow && own.isValid() && own.toPoint() == QPoint(0, 0)) {
        QRect main = FrameGeometry(*mainWindow);
        // Until its first expose the main window may stand where the window
        // manager first put it, not where it goes: the windows shown with it
        // are placed beside the place it goes to.
        const QVariant goesTo = mainWindow->property(kPlacedAt);
        if (goesTo.isValid() &&
            mainWindow->findChild<QObject*>(kFrameCheck, Qt::FindDirectChildrenOnly))
            main.moveTo(goesTo.toPoint());
        if (main.intersects(QRect(QPoint(0, 0), frame)))
            return core::PlaceBeside(main, frame, Screens()).topLeft();
    }
    return core::PlaceOnScreens(QRect(stored, frame), Screens()).topLeft();
}

// The program put the frame at `target`: until the operator moves it, the
// place to store stays the one it was restored from.
void NotePlacement(QWidget& window, QPoint target) { window.setProperty(kPlacedAt, target); }

// Waits for the first expose after a show of the window it belongs to, puts
// the frame where it belongs if it is not there, and goes.
class FrameCheck : public QObject {
public:
    FrameCheck(QWidget& window, QPoint stored)
        : QObject(&window)
        , window_(window)
        , stored_(stored)
    {
        setObjectName(kFrameCheck);
        window.installEventFilter(this);
        if (window.windowHandle())
            window.windowHandle()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == &window_ && event->type() == QEvent::Show && window_.windowHandle()) {
            // Placed at its creation and moved since: it shows where it was moved to.
            stored_ = window_.pos();
            window_.windowHandle()->installEventFilter(this);
        } else if (watched == window_.windowHandle() && event->type() == QEvent::Expose &&
                   window_.windowHandle()->isExposed()) {
            if (!(window_.windowState() &
                  (Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen))) {
                // The native window's frame, asked for now: the widget's
                // own idea of its frame may still be the one from before
                // the window manager framed it.
                QWindow& native = *window_.windowHandle();
                const QRect frame = native.frameGeometry();
                const QPoint target = Target(window_, stored_, frame.size());
                if (frame.topLeft() != target) {
                    native.setFramePosition(target);
                    NotePlacement(window_, target);
                }
            }
            deleteLater();
            window_.removeEventFilter(this);
            watched->removeEventFilter(this);
        }
        return false;
    }

private:
    QWidget& window_;
    QPoint stored_;
};

}  // namespace

void RestoreFramePosition(QWidget& window, QPoint stored)
{
    delete window.findChild<QObject*>(kFrameCheck, Qt::FindDirectChildrenOnly);
    // Before the window manager framed it, the frame is the client area.
    window.setProperty(kStoredPlace, stored);
    const QPoint target = Target(window, stored, window.frameGeometry().size());
    NotePlacement(window, target);
    window.move(target);
    // A move of a native window that exists already places its client area;
    // the window manager puts the frame there only for a frame position.
    if (QWindow* native = window.windowHandle())
        native->setFramePosition(target);
    new FrameCheck(window, stored);
}

QPoint FramePosition(const QWidget& window)
{
    const QWindow* native = window.windowHandle();
    const QPoint frame = native && window.isVisible() ? native->framePosition() : window.pos();
    const QVariant placedAt = window.property(kPlacedAt);
    const QVariant stored = window.property(kStoredPlace);
    if (placedAt.isValid() && stored.isValid() && frame == placedAt.toPoint())
        return stored.toPoint();
    return frame;
}

void PlaceBesideThis(QWidget* main) { mainWindow = main; }

QFont DialogFont(int pixelSize)
{
    QFont font;
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans Condensed"),
                      QStringLiteral("Liberation Sans Narrow")});
    font.setPixelSize(pixelSize);
    return font;
}

void FitToWidth(QWidget* label, const QString& text)
{
    QFont font = label->font();
    while (font.pixelSize() > 8 && QFontMetrics(font).horizontalAdvance(text) > label->width())
        font.setPixelSize(font.pixelSize() - 1);
    label->setFont(font);
}

}  // namespace ui
