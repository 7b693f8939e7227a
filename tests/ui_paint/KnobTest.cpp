#include "ui/paint/Knob.h"

#include "PaintTestUtil.h"

#include <gtest/gtest.h>

using namespace painttest;

namespace {

const QColor kFace(212, 208, 200);
const QColor kHighlight(10, 36, 106);
const Px kBlackPx{0, 0, 0};

void ExpectDot(const QImage& img, int x, int y)
{
    SCOPED_TRACE("dot at " + std::to_string(x) + "," + std::to_string(y));
    EXPECT_EQ(At(img, x, y), kBlackPx);
    EXPECT_EQ(At(img, x, y - 1), kBlackPx);
    EXPECT_EQ(At(img, x, y + 1), kBlackPx);
    EXPECT_EQ(At(img, x - 1, y), kBlackPx);
    EXPECT_EQ(At(img, x + 1, y), kBlackPx);
    // The dot is a plus sign: its diagonal neighbours are the knob's face.
    const Px face{kFace.red(), kFace.green(), kFace.blue()};
    EXPECT_EQ(At(img, x - 1, y - 1), face);
    EXPECT_EQ(At(img, x + 1, y + 1), face);
}

TEST(Knob, PictureIs32By32TwentyFourBit)
{
    const QImage img = ui::DrawKnob(0, false, kFace, kHighlight);
    EXPECT_EQ(img.size(), QSize(32, 32));
    EXPECT_EQ(img.format(), QImage::Format_RGB888);
    // Outside the round knob: the button face.
    EXPECT_EQ(At(img, 0, 0), (Px{212, 208, 200}));
    EXPECT_EQ(At(img, 31, 31), (Px{212, 208, 200}));
}

TEST(Knob, DotFollowsTheAngle)
{
    EXPECT_EQ(ui::KnobDotCentre(0).x, 15);
    EXPECT_EQ(ui::KnobDotCentre(0).y, 6);
    EXPECT_EQ(ui::KnobDotCentre(-150).x, 10);
    EXPECT_EQ(ui::KnobDotCentre(-150).y, 24);
    EXPECT_EQ(ui::KnobDotCentre(150).x, 20);
    EXPECT_EQ(ui::KnobDotCentre(150).y, 24);
    EXPECT_EQ(ui::KnobDotCentre(90).x, 25);
    EXPECT_EQ(ui::KnobDotCentre(90).y, 16);

    ExpectDot(ui::DrawKnob(0, false, kFace, kHighlight), 15, 6);
    ExpectDot(ui::DrawKnob(-150, false, kFace, kHighlight), 10, 24);
    ExpectDot(ui::DrawKnob(150, true, kFace, kHighlight), 20, 24);
    // With the dot straight up, the lower half of the face has no black.
    const QImage up = ui::DrawKnob(0, false, kFace, kHighlight);
    EXPECT_EQ(CountIn(up, 6, 12, 26, 26, [](Px p) { return p == kBlackPx; }), 0);
}

TEST(Knob, RingShowsTheHighlight)
{
    const Px hl{kHighlight.red(), kHighlight.green(), kHighlight.blue()};
    const Px silver{192, 192, 192};
    const QImage on = ui::DrawKnob(30, true, kFace, kHighlight);
    const QImage off = ui::DrawKnob(30, false, kFace, kHighlight);
    EXPECT_GT(CountIn(on, 0, 0, 32, 32, [&](Px p) { return p == hl; }), 40);
    EXPECT_EQ(CountIn(on, 0, 0, 32, 32, [&](Px p) { return p == silver; }), 0);
    EXPECT_EQ(CountIn(off, 0, 0, 32, 32, [&](Px p) { return p == hl; }), 0);
    EXPECT_GT(CountIn(off, 0, 0, 32, 32, [&](Px p) { return p == silver; }), 40);
}

TEST(Knob, LightUpperLeftDarkLowerRight)
{
    const QImage img = ui::DrawKnob(0, false, kFace, kHighlight);
    const Px white{255, 255, 255}, grey{128, 128, 128};
    // The outer rim between the black circle and the ring.
    EXPECT_GT(CountIn(img, 0, 0, 14, 14, [&](Px p) { return p == white; }), 5);
    EXPECT_EQ(CountIn(img, 0, 0, 14, 14, [&](Px p) { return p == grey; }), 0);
    EXPECT_GT(CountIn(img, 18, 18, 32, 32, [&](Px p) { return p == grey; }), 5);
    EXPECT_EQ(CountIn(img, 18, 18, 32, 32, [&](Px p) { return p == white; }), 0);
}

}  // namespace
