#pragma once

// The signal meter of the main window: a needle over the meter face showing
// the AGC level of the last block, with a fading trail of the four before.

#include "core/model/MeterNeedle.h"
#include "ui/paint/GlyphAtlas.h"

#include <QImage>
#include <QString>

#include <array>
#include <cstddef>

namespace ui {

class SignalMeter {
public:
    static constexpr int kWidth = 140;
    static constexpr int kHeight = 70;
    static constexpr size_t kTraceLength = core::MeterNeedle::kTraceLength;
    // What the meter shows when there is no face picture.
    static constexpr Rgb kPlainBackdrop{24, 24, 24};

    // facePath: "Meter.bmp" beside the executable. A missing or unreadable
    // file leaves the meter on the plain backdrop.
    explicit SignalMeter(const QString& facePath = QString());

    bool HasFace() const { return hasFace_; }

    // Paints the meter for one block; agcTrace holds kTraceLength levels
    // (nullptr counts as a silent block). Allocates nothing.
    void PaintMeter(const double* agcTrace);

    const QImage& Image() const { return image_; }

    // Needle positions in degrees, oldest first; the last is the needle.
    const std::array<double, 5>& History() const { return needle_.History(); }

private:
    QImage image_;
    QImage face_;  // RGB888, kWidth x kHeight, when hasFace_
    bool hasFace_ = false;
    core::MeterNeedle needle_;
};

// One-pixel line from (x0, y0) to (x1, y1), clipped to the canvas. Both ends
// are drawn, or the end point is left out as a polyline's segment leaves it
// to the next one.
enum class LineEnd { Drawn, LeftOut };
void DrawLine(const Canvas& canvas, int x0, int y0, int x1, int y1, Rgb colour,
              LineEnd end = LineEnd::Drawn);

}  // namespace ui
