#include "tools/assets/Assets.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace {

QString AssetDir() { return QStringLiteral(TESMAR_ASSET_DIR); }

uint32_t Le32(const QByteArray& b, int at)
{
    return static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8 |
           static_cast<uint8_t>(b[at + 2]) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
}
uint16_t Le16(const QByteArray& b, int at)
{
    return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1])
                                                                   << 8);
}

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

TEST(Assets, MeterFaceIsA24BitBmpOfTheMeterSize)
{
    const QByteArray b = ReadAll(AssetDir() + "/Meter.bmp");
    ASSERT_GE(b.size(), 54) << "Meter.bmp missing beside the executables";
    EXPECT_EQ(b.left(2), "BM");
    EXPECT_EQ(Le32(b, 2), static_cast<uint32_t>(b.size()));
    const uint32_t pixels = Le32(b, 10);
    EXPECT_EQ(static_cast<int32_t>(Le32(b, 18)), 140);
    EXPECT_EQ(std::abs(static_cast<int32_t>(Le32(b, 22))), 70);
    EXPECT_EQ(Le16(b, 26), 1);   // planes
    EXPECT_EQ(Le16(b, 28), 24);  // bits per pixel
    EXPECT_EQ(Le32(b, 30), 0u);  // uncompressed
    EXPECT_GE(static_cast<uint32_t>(b.size()), pixels + 140 * 3 * 70);

    QImage img(AssetDir() + "/Meter.bmp");
    ASSERT_FALSE(img.isNull());
    EXPECT_EQ(img.size(), QSize(140, 70));
}

int Brightest(const QImage& img, int cx, int cy)
{
    int best = 0;
    for (int y = cy - 1; y <= cy + 1; ++y)
        for (int x = cx - 1; x <= cx + 1; ++x)
            best = std::max(best, qGray(img.pixel(x, y)));
    return best;
}

TEST(Assets, ScaleFollowsTheArcOfTheNeedleTips)
{
    const QImage face = assets::MakeMeterFace();
    // The arc runs just inside the needle tips, over the whole travel; the
    // corners are dark face.
    for (double deg : {32.0, 60.0, 90.0, 100.0}) {
        const assets::PointF p = assets::ScalePoint(deg, 66.0);
        EXPECT_GT(
            Brightest(face, static_cast<int>(std::lround(p.x)), static_cast<int>(std::lround(p.y))),
            140)
            << deg;
    }
    const assets::PointF over = assets::ScalePoint(135.0, 66.0);
    const QColor c = face.pixelColor(static_cast<int>(std::lround(over.x)),
                                     static_cast<int>(std::lround(over.y)));
    EXPECT_GT(c.red(), c.blue());  // the range over S9 is marked in red
    EXPECT_LT(qGray(face.pixel(0, 0)), 64);
    EXPECT_LT(qGray(face.pixel(139, 0)), 64);
    EXPECT_EQ(assets::ScalePoint(90.0, 70.0).y, 10.0);
    EXPECT_NEAR(assets::ScalePoint(30.0, 70.0).x, 70.0 - 60.62, 0.01);
}

struct Wav {
    uint16_t format = 0, channels = 0, bits = 0;
    uint32_t rate = 0;
    std::vector<int16_t> samples;
};

Wav ParseWav(const QByteArray& b)
{
    Wav w;
    if (b.size() < 44 || b.left(4) != "RIFF" || b.mid(8, 8) != "WAVEfmt " || b.mid(36, 4) != "data")
        return w;
    if (Le32(b, 4) != static_cast<uint32_t>(b.size() - 8) ||
        Le32(b, 40) != static_cast<uint32_t>(b.size() - 44))
        return w;
    w.format = Le16(b, 20);
    w.channels = Le16(b, 22);
    w.rate = Le32(b, 24);
    w.bits = Le16(b, 34);
    for (int i = 44; i + 1 < b.size(); i += 2)
        w.samples.push_back(static_cast<int16_t>(Le16(b, i)));
    return w;
}

TEST(Assets, BeepsAreShortQuietPcmWithSoftEdges)
{
    struct Expect {
        const char* name;
        double ms;
    };
    for (const Expect& e :
         {Expect{"beep1.wav", 40.0}, Expect{"beep2.wav", 120.0}, Expect{"beep3.wav", 200.0}}) {
        SCOPED_TRACE(e.name);
        const Wav w = ParseWav(ReadAll(AssetDir() + "/" + e.name));
        ASSERT_FALSE(w.samples.empty()) << "missing or malformed";
        EXPECT_EQ(w.format, 1);
        EXPECT_EQ(w.channels, 1);
        EXPECT_EQ(w.bits, 16);
        EXPECT_EQ(w.rate, 48000u);
        EXPECT_NEAR(w.samples.size() * 1000.0 / w.rate, e.ms, 1.0);
        int peak = 0;
        for (int16_t s : w.samples)
            peak = std::max(peak, std::abs(static_cast<int>(s)));
        EXPECT_GT(peak, 3000);   // audible
        EXPECT_LT(peak, 10000);  // but quiet
        EXPECT_LT(std::abs(w.samples.front()), 50);
        EXPECT_LT(std::abs(w.samples.back()), 200);
    }
}

TEST(Assets, AcceptedRisesAndRefusedFalls)
{
    // Count zero crossings in the first and last quarter.
    auto crossings = [](const std::vector<int16_t>& s, size_t from, size_t to) {
        int n = 0;
        for (size_t i = from + 1; i < to; ++i)
            if ((s[i - 1] < 0) != (s[i] < 0))
                ++n;
        return n;
    };
    const auto up = assets::MakeAccepted();
    const auto down = assets::MakeRefused();
    EXPECT_GT(crossings(up, up.size() * 3 / 4, up.size()), crossings(up, 0, up.size() / 4));
    EXPECT_LT(crossings(down, down.size() * 3 / 4, down.size()),
              crossings(down, 0, down.size() / 4));
}

TEST(Assets, LogoAndIconHaveTheVersionWindowsSizesAndAreDrawn)
{
    struct Expect {
        const char* name;
        QSize size;
    };
    for (const Expect& e : {Expect{"Logo.png", {200, 50}}, Expect{"Icon.png", {32, 32}}}) {
        SCOPED_TRACE(e.name);
        const QImage img(AssetDir() + "/" + e.name);
        ASSERT_FALSE(img.isNull()) << "missing beside the executables";
        EXPECT_EQ(img.size(), e.size);
        // More than a plain fill: a bright trace over a dark ground.
        int darkest = 255, brightest = 0;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x) {
                if (qAlpha(img.pixel(x, y)) < 255)
                    continue;
                darkest = std::min(darkest, qGray(img.pixel(x, y)));
                brightest = std::max(brightest, qGray(img.pixel(x, y)));
            }
        EXPECT_LT(darkest, 40);
        EXPECT_GT(brightest, 150);
    }
    // The icon's corners are rounded off: transparent.
    EXPECT_EQ(qAlpha(QImage(AssetDir() + "/Icon.png").pixel(0, 0)), 0);
}

TEST(Assets, WritesIntoAGivenFolderAndReportsAnUnwritableOne)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    EXPECT_TRUE(assets::WriteAll(dir.path()));
    for (const char* name :
         {"Meter.bmp", "beep1.wav", "beep2.wav", "beep3.wav", "Logo.png", "Icon.png"})
        EXPECT_TRUE(QFile::exists(dir.filePath(name))) << name;
    EXPECT_FALSE(assets::WriteAll(dir.filePath("no/such/folder")));
}

}  // namespace
