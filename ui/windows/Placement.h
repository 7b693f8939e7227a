#pragma once

// Where the dialogs appear: centred over the main window, but never above or
// left of the desktop's edge, so that the title bar can always be reached.

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace ui {

// The top-left corner of a window of outer size `own` centred over the outer
// rectangle `over` (halves by integer division), kept inside the desktop's
// top and left edges.
QPoint CentredInsideDesktop(const QRect& over, const QSize& own, const QRect& desktop);

// Moves `window` so that it sits centred over `over` on over's screen.
void CentreOver(QWidget* window, const QWidget* over);

}  // namespace ui
