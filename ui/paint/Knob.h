#pragma once

// The VOL and SQL knobs: a 32 x 32 picture redrawn only when the knob turns
// or the pointer enters or leaves it. The knob rules (click, wheel) live in
// core/model/Format.h as KnobAngleFromPoint and KnobStep.

#include <QColor>
#include <QImage>

#include <cstdint>

namespace ui {

constexpr int kKnobSize = 32;

// Renders the knob at angle degrees (-150..150, 0 straight up) into a new
// 32 x 32 RGB888 picture. face is the button-face colour of the window; the
// ring is drawn in highlight when highlighted and in silver otherwise.
QImage DrawKnob(int32_t angle, bool highlighted, const QColor& face, const QColor& highlight);

// Where the knob's pointer dot is centred for an angle.
struct KnobDot {
    int x = 0;
    int y = 0;
};
KnobDot KnobDotCentre(int32_t angle);

}  // namespace ui
