#include "ui/paint/SignalMeter.h"

#include "AllocationCounter.h"
#include "PaintTestUtil.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <vector>

using namespace painttest;

namespace {

const Px kWhite{255, 255, 255};
const Px kPlain{ui::SignalMeter::kPlainBackdrop.r, ui::SignalMeter::kPlainBackdrop.g,
                ui::SignalMeter::kPlainBackdrop.b};

std::vector<double> Trace(double level)
{
    return std::vector<double>(ui::SignalMeter::kTraceLength, level);
}

// The peak that puts the needle target at the given angle.
double PeakFor(double degrees) { return std::exp((degrees - 30.0) / 75.0); }

// The smoothing filter written out on its own, to compare the needle with.
struct Smoother {
    double w1 = 0, w2 = 0;
    double Step(double x)
    {
        const double w0 = x + 0.94280904 * w1 - 0.33333333 * w2;
        const double y = 0.09763107 * w0 + 0.19526215 * w1 + 0.09763107 * w2;
        w2 = w1;
        w1 = w0;
        return std::clamp(y, 30.0, 150.0);
    }
};

struct End {
    int x, y;
};
// Truncation toward zero, with floating-point noise around whole numbers
// ignored, as the meter draws.
int Trunc(double v) { return static_cast<int>(std::trunc(v + (v > 0 ? 1e-9 : -1e-9))); }

End NeedleEnd(double degrees)
{
    const double t = degrees * M_PI / 180.0 - M_PI;
    return {70 + Trunc(std::cos(t) * 70.0), 80 + Trunc(std::sin(t) * 70.0)};
}

void PaintMany(ui::SignalMeter& m, double level, int n)
{
    const auto t = Trace(level);
    for (int i = 0; i < n; ++i)
        m.PaintMeter(t.data());
}

TEST(Meter, PictureIs140By70TwentyFourBit)
{
    ui::SignalMeter m;
    m.PaintMeter(nullptr);
    EXPECT_EQ(m.Image().width(), 140);
    EXPECT_EQ(m.Image().height(), 70);
    EXPECT_EQ(m.Image().format(), QImage::Format_RGB888);
    EXPECT_FALSE(m.HasFace());
}

TEST(Meter, NeedleEndsAtTheLeftForWeakSignals)
{
    ui::SignalMeter m;
    const auto t = Trace(0.5);  // all below 1.0
    m.PaintMeter(t.data());
    EXPECT_DOUBLE_EQ(m.History()[4], 30.0);
    EXPECT_EQ(At(m.Image(), 10, 45), kWhite);
    // The needle ends there: one pixel further out is backdrop.
    EXPECT_EQ(At(m.Image(), 9, 44), kPlain);
    EXPECT_EQ(At(m.Image(), 9, 45), kPlain);
    // The older needles still lie along the pivot's line, below the picture.
    EXPECT_EQ(CountIn(m.Image(), 0, 0, 140, 70,
                      [](Px p) { return p.r != p.g || (p.r != 255 && p.r != kPlain.r); }),
              0);
}

TEST(Meter, NeedleEndPointsAtThirtyNinetyAndOneFifty)
{
    struct Case {
        double degrees;
        End end;
        End beyond;
    };
    for (const Case& c : {Case{30.0, {10, 45}, {9, 44}}, Case{90.0, {70, 10}, {70, 9}},
                          Case{150.0, {130, 45}, {131, 44}}}) {
        ui::SignalMeter m;
        PaintMany(m, PeakFor(c.degrees) * (c.degrees == 150.0 ? 10.0 : 1.0), 300);
        SCOPED_TRACE(c.degrees);
        EXPECT_NEAR(m.History()[4], c.degrees, 1e-9);
        EXPECT_EQ(At(m.Image(), c.end.x, c.end.y), kWhite);
        EXPECT_EQ(At(m.Image(), c.beyond.x, c.beyond.y), kPlain);
        // The whole visible needle is white from the bottom edge up.
        EXPECT_GT(CountIn(m.Image(), 0, 0, 140, 70, [](Px p) { return p == kWhite; }), 30);
    }
}

TEST(Meter, SilentAndBrokenTracesKeepTheNeedleLeft)
{
    ui::SignalMeter m;
    m.PaintMeter(nullptr);
    EXPECT_DOUBLE_EQ(m.History()[4], 30.0);
    auto t = Trace(0.0);
    t[17] = std::numeric_limits<double>::quiet_NaN();
    t[18] = -1e300;
    m.PaintMeter(t.data());
    EXPECT_DOUBLE_EQ(m.History()[4], 30.0);
    t[19] = std::numeric_limits<double>::infinity();
    m.PaintMeter(t.data());
    EXPECT_GT(m.History()[4], 30.0);
    EXPECT_LE(m.History()[4], 150.0);
}

TEST(Meter, PeakOfTheBlockDecides)
{
    ui::SignalMeter a, b;
    auto t = Trace(0.2);
    t[2399] = PeakFor(100.0);
    for (int i = 0; i < 300; ++i) {
        a.PaintMeter(t.data());
    }
    PaintMany(b, PeakFor(100.0), 300);
    EXPECT_NEAR(a.History()[4], 100.0, 1e-9);
    EXPECT_EQ(a.Image(), b.Image());
}

TEST(Meter, SmoothingStepResponseUpAndDown)
{
    ui::SignalMeter m;
    Smoother ref;
    const auto strong = Trace(1000.0);  // far beyond the right end
    const auto silent = Trace(0.0);
    std::array<double, 5> h{};
    for (int i = 0; i < 80; ++i) {
        const bool on = i < 40;
        m.PaintMeter(on ? strong.data() : silent.data());
        const double y = ref.Step(on ? 150.0 : 30.0);
        for (int k = 0; k < 4; ++k)
            h[k] = h[k + 1];
        h[4] = y;
        for (int k = 0; k < 5; ++k)
            ASSERT_NEAR(m.History()[k], h[k], 1e-12) << "block " << i << " needle " << k;
    }
    // The swing up starts at the left end and takes several blocks.
    Smoother again;
    EXPECT_DOUBLE_EQ(again.Step(150.0), 30.0);
    EXPECT_GT(again.Step(150.0), 30.0);
    // After the signal stops the needle falls back over several blocks, not
    // in one, and has arrived at the left end after forty.
    Smoother fall;
    for (int i = 0; i < 40; ++i)
        fall.Step(150.0);
    const double first = fall.Step(30.0);
    EXPECT_GT(first, 100.0);
    EXPECT_NEAR(m.History()[4], 30.0, 1e-6);
}

TEST(Meter, TrailFadesThroughFourGreys)
{
    ui::SignalMeter m;
    Smoother ref;
    std::array<double, 5> h{};
    // A target inside the scale, so that the swing up is not clipped and the
    // five needles lie well apart.
    const auto strong = Trace(PeakFor(120.0));
    for (int i = 0; i < 5; ++i) {
        m.PaintMeter(strong.data());
        const double y = ref.Step(120.0);
        for (int k = 0; k < 4; ++k)
            h[k] = h[k + 1];
        h[4] = y;
    }
    const int greys[5] = {95, 105, 121, 155, 255};
    for (int k = 0; k < 5; ++k) {
        ASSERT_GT(h[k] - (k > 0 ? h[k - 1] : 0.0), 2.0)
            << "needles " << k - 1 << " and " << k << " too close";
        const End e = NeedleEnd(h[k]);
        EXPECT_EQ(At(m.Image(), e.x, e.y), (Px{greys[k], greys[k], greys[k]}))
            << "needle " << k << " at " << h[k] << " degrees, end " << e.x << "," << e.y;
    }
}

TEST(Meter, PlainBackdropIsClearedOnEveryPaint)
{
    ui::SignalMeter m;
    PaintMany(m, 1000.0, 60);  // needles at the right end
    PaintMany(m, 0.0, 60);     // and back to the left
    // Only the left-end needle (white, drawn over the older ones) is left.
    EXPECT_EQ(At(m.Image(), 130, 45), kPlain);
    EXPECT_EQ(At(m.Image(), 70, 10), kPlain);
    EXPECT_EQ(At(m.Image(), 10, 45), kWhite);
    EXPECT_EQ(At(m.Image(), 139, 0), kPlain);
}

TEST(Meter, FacePictureIsTheBackdrop)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // A face of another size is scaled to the meter once.
    QImage face(280, 140, QImage::Format_RGB32);
    face.fill(QColor(10, 40, 90));
    const QString path = dir.filePath("Meter.bmp");
    ASSERT_TRUE(face.save(path, "BMP"));

    ui::SignalMeter m(path);
    ASSERT_TRUE(m.HasFace());
    PaintMany(m, 0.0, 3);
    EXPECT_EQ(At(m.Image(), 0, 0), (Px{10, 40, 90}));
    EXPECT_EQ(At(m.Image(), 139, 69), (Px{10, 40, 90}));
    EXPECT_EQ(At(m.Image(), 10, 45), kWhite);
}

TEST(Meter, MissingOrBrokenFaceFallsBackToThePlainBackdrop)
{
    QTemporaryDir dir;
    ui::SignalMeter missing(dir.filePath("Meter.bmp"));
    EXPECT_FALSE(missing.HasFace());

    QFile junk(dir.filePath("junk.bmp"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("BM this is not a picture");
    junk.close();
    ui::SignalMeter broken(junk.fileName());
    EXPECT_FALSE(broken.HasFace());
    broken.PaintMeter(nullptr);
    EXPECT_EQ(At(broken.Image(), 0, 0), kPlain);
}

TEST(Meter, RepaintingAllocatesNothing)
{
    QTemporaryDir dir;
    QImage face(140, 70, QImage::Format_RGB888);
    face.fill(Qt::darkBlue);
    face.save(dir.filePath("Meter.bmp"), "BMP");
    ui::SignalMeter withFace(dir.filePath("Meter.bmp"));
    ui::SignalMeter plain;
    const auto strong = Trace(30.0);
    const auto weak = Trace(0.1);
    withFace.PaintMeter(weak.data());
    plain.PaintMeter(weak.data());
    const uchar* bits = plain.Image().constBits();
    alloc::Scope scope;
    for (int i = 0; i < 200; ++i) {
        const double* t = (i / 10) % 2 != 0 ? strong.data() : weak.data();
        withFace.PaintMeter(t);
        plain.PaintMeter(t);
    }
    EXPECT_EQ(scope.Allocations(), 0u);
    EXPECT_EQ(plain.Image().constBits(), bits);
}

TEST(DrawLine, IncludesBothEndsAndClips)
{
    QImage img(20, 10, QImage::Format_RGB888);
    img.fill(Qt::black);
    const ui::Canvas c{img.bits(), static_cast<int>(img.bytesPerLine()), 20, 10};
    ui::DrawLine(c, 2, 3, 12, 3, ui::Rgb{255, 255, 255});
    EXPECT_EQ(CountIn(img, 0, 0, 20, 10, [](Px p) { return p == kWhite; }), 11);
    EXPECT_EQ(At(img, 2, 3), kWhite);
    EXPECT_EQ(At(img, 12, 3), kWhite);
    img.fill(Qt::black);
    ui::DrawLine(c, -30, 50, 40, -20, ui::Rgb{255, 255, 255});  // crosses the picture
    EXPECT_EQ(CountIn(img, 0, 0, 20, 10, [](Px p) { return p == kWhite; }), 9);
    EXPECT_EQ(At(img, 11, 9), kWhite);
    EXPECT_EQ(At(img, 19, 1), kWhite);
    img.fill(Qt::black);
    ui::DrawLine(c, 5, 5, 5, 5, ui::Rgb{255, 255, 255});
    EXPECT_EQ(CountIn(img, 0, 0, 20, 10, [](Px p) { return p == kWhite; }), 1);
}

}  // namespace
