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

// Puts the top-level `window`'s frame at `stored` (where pos() said it was
// when it closed) or, when that place is off the screens, where
// core::PlaceOnScreens brings it. A window other than the main window that
// has no place of its own (the default (0,0), where it would cover the main
// window) goes beside the main window (core::PlaceBeside). A native window that exists already gets a
// frame position: Qt moves such a window by its client area, which a framing
// window manager then puts at the place meant for the frame (20 px lower and
// 1 px right at every start). Checked once more at the first expose after the
// show, when the frame's size is known. A maximised window is left alone.
void RestoreFramePosition(QWidget& window, QPoint stored);

// Where the top-level `window`'s frame stands, for storing: asked of the
// native window while it shows, since the widget's own idea of its frame
// can be left from a time when it had none (hidden and shown again, it gave
// its client area's place, 20 px lower). Only the operator's moves are
// stored: while the frame stands where RestoreFramePosition put it, this is
// the place it was restored from (a place brought onto a smaller or scaled
// screen for one run, or a first place beside the main window, is not kept
// over it).
QPoint FramePosition(const QWidget& window);

// The main window, which the others go beside when they have no place of
// their own.
void PlaceBesideThis(QWidget* main);

// Tahoma at `pixelSize` where installed; elsewhere a condensed face of about
// its width, so that captions fit the controls laid out for it.
QFont DialogFont(int pixelSize);

// Makes `label`'s font smaller (down to 8 pixels) until its text fits the
// label's width: a last resort for faces wider than the layout expects.
void FitToWidth(QWidget* label, const QString& text);

}  // namespace ui
