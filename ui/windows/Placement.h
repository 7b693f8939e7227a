#pragma once

// Where the dialogs appear: centred over the main window, but never above or
// left of the desktop's edge, so that the title bar can always be reached.
// And the face their fixed layouts were measured for.

#include <QFont>
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

// Tahoma at `pixelSize` where installed; elsewhere a condensed face of about
// its width, so that captions fit the controls laid out for it.
QFont DialogFont(int pixelSize);

// Makes `label`'s font smaller (down to 8 pixels) until its text fits the
// label's width: a last resort for faces wider than the layout expects.
void FitToWidth(QWidget* label, const QString& text);

}  // namespace ui
