#include "core/WindowPlacement.h"

#include <QList>

#include <algorithm>
#include <cstdint>
#include <limits>

namespace core {

namespace {

std::int64_t Area(const QRect& r) { return r.isEmpty() ? 0 : std::int64_t(r.width()) * r.height(); }

// True when the screens together cover every pixel of `r`. Screens may touch,
// leave gaps between them or overlap (mirrored outputs), so the rectangle is
// cut along every screen edge inside it and each cell looked at alone.
bool Covered(const QRect& r, const QList<QRect>& screens)
{
    QList<int> xs{r.left(), r.right() + 1}, ys{r.top(), r.bottom() + 1};
    for (const QRect& s : screens) {
        for (int x : {s.left(), s.right() + 1})
            if (x > r.left() && x <= r.right())
                xs.append(x);
        for (int y : {s.top(), s.bottom() + 1})
            if (y > r.top() && y <= r.bottom())
                ys.append(y);
    }
    std::sort(xs.begin(), xs.end());
    std::sort(ys.begin(), ys.end());
    for (qsizetype i = 0; i + 1 < xs.size(); ++i) {
        for (qsizetype j = 0; j + 1 < ys.size(); ++j) {
            if (xs[i] == xs[i + 1] || ys[j] == ys[j + 1])
                continue;
            const QPoint cell(xs[i], ys[j]);  // a cell lies wholly inside a screen or outside it
            if (std::none_of(screens.begin(), screens.end(),
                             [&](const QRect& s) { return s.contains(cell); }))
                return false;
        }
    }
    return true;
}

// Squared distance between the nearest pixels of two rectangles.
std::int64_t Gap(const QRect& a, const QRect& b)
{
    const std::int64_t dx = std::max({0, b.left() - a.right(), a.left() - b.right()});
    const std::int64_t dy = std::max({0, b.top() - a.bottom(), a.top() - b.bottom()});
    return dx * dx + dy * dy;
}

// The start of a span of `length` moved the least way into [low, low + room),
// or to `low` when it does not fit.
int Into(int start, int length, int low, int room)
{
    if (length >= room)
        return low;
    return std::clamp(start, low, low + room - length);
}

}  // namespace

QRect PlaceOnScreens(const QRect& frame, const QList<QRect>& screens)
{
    QList<QRect> usable;
    for (const QRect& s : screens)
        if (!s.isEmpty())
            usable.append(s);
    if (usable.isEmpty() || frame.isEmpty() || Covered(frame, usable))
        return frame;
    const QRect* best = &usable.front();
    std::int64_t bestOverlap = -1;
    std::int64_t bestGap = std::numeric_limits<std::int64_t>::max();
    for (const QRect& s : usable) {
        const std::int64_t overlap = Area(s.intersected(frame));
        const std::int64_t gap = Gap(s, frame);
        if (overlap > bestOverlap || (overlap == 0 && bestOverlap == 0 && gap < bestGap)) {
            best = &s;
            bestOverlap = overlap;
            bestGap = gap;
        }
    }
    QRect placed = frame;
    placed.moveTo(Into(frame.left(), frame.width(), best->left(), best->width()),
                  Into(frame.top(), frame.height(), best->top(), best->height()));
    return placed;
}

QRect PlaceBeside(const QRect& main, const QSize& size, const QList<QRect>& screens)
{
    QList<QRect> usable;
    for (const QRect& s : screens)
        if (!s.isEmpty())
            usable.append(s);
    const QRect spots[] = {
        {QPoint(main.right() + 1, main.top()), size},
        {QPoint(main.left(), main.bottom() + 1), size},
        {QPoint(main.left() - size.width(), main.top()), size},
        {QPoint(main.left(), main.top() - size.height()), size},
    };
    for (const QRect& spot : spots)
        if (!usable.isEmpty() && Covered(spot, usable))
            return spot;
    // Below it, the main window keeps its title bar and close button.
    return PlaceOnScreens(spots[1], screens);
}

}  // namespace core
