#pragma once

// Where a window goes back to at start: the place it was stored at, unless
// that place is no longer on the screens (a smaller or scaled screen, a
// monitor taken away since), so that no window comes back out of reach.

#include <QList>
#include <QRect>

namespace core {

// The outer rectangle (frame included) a window stored at `frame` is shown
// at, given the screens' available areas. The place is kept while the screens
// show the whole window; otherwise the window moves the least way onto the
// screen it overlaps most, or the nearest screen when it overlaps none. A
// window larger than that screen keeps its top-left corner on it, where its
// title bar is.
QRect PlaceOnScreens(const QRect& frame, const QList<QRect>& screens);

// The outer rectangle for a window of outer `size` that has no place of its
// own: beside the main window's frame `main`, right of it, else below, left
// of or above it, at the first of these the screens show whole; when none
// is, below it brought onto the screens (PlaceOnScreens), where the main
// window's title bar stays in sight.
QRect PlaceBeside(const QRect& main, const QSize& size, const QList<QRect>& screens);

}  // namespace core
