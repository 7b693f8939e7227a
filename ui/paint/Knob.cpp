#include "ui/paint/Knob.h"

#include "core/model/Format.h"

#include <QPainter>

#include <cmath>

namespace ui {

KnobDot KnobDotCentre(int32_t angle)
{
    const double a = (angle + 180.0) * M_PI / 180.0;
    const int dx = core::TruncCoordinate(std::sin(a) * 10.0);
    const int dy = core::TruncCoordinate(std::cos(a) * 10.0);
    return {15 - dx, 16 + dy};
}

QImage DrawKnob(int32_t angle, bool highlighted, const QColor& face, const QColor& highlight)
{
    QImage img(kKnobSize, kKnobSize, QImage::Format_RGB888);
    img.fill(face);
    {
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing, false);

        // A light upper-left and a dark lower-right half give the knob its
        // raised look. Qt's angles count counter-clockwise from three o'clock
        // in sixteenths of a degree; the split runs from 45 to 225 degrees.
        const QRect outer(0, 0, 31, 31);
        p.setPen(QPen(Qt::white, 1));
        p.setBrush(Qt::white);
        p.drawPie(outer, 45 * 16, 180 * 16);
        const QColor grey(128, 128, 128);
        p.setPen(QPen(grey, 1));
        p.setBrush(grey);
        p.drawPie(outer, 225 * 16, 180 * 16);

        p.setPen(QPen(highlighted ? highlight : QColor(192, 192, 192), 2));
        p.setBrush(face);
        p.drawEllipse(QRect(2, 2, 27, 27));

        p.setPen(QPen(Qt::black, 1));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QRect(1, 1, 29, 29));
    }
    const KnobDot c = KnobDotCentre(angle);
    const int dots[5][2] = {{0, 0}, {0, -1}, {0, 1}, {-1, 0}, {1, 0}};
    for (const auto& d : dots) {
        const int x = c.x + d[0];
        const int y = c.y + d[1];
        if (x >= 0 && y >= 0 && x < kKnobSize && y < kKnobSize)
            img.setPixelColor(x, y, Qt::black);
    }
    return img;
}

}  // namespace ui
