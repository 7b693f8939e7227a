#include "ui/paint/FrequencyDisplay.h"

#include "AllocationCounter.h"
#include "PaintTestUtil.h"

#include <gtest/gtest.h>

#include <QImage>

#include <string>

using namespace painttest;

namespace {

const Px kBlack{0, 0, 0};
const Px kWhite{255, 255, 255};

ui::DisplayInputs Defaults()
{
    ui::DisplayInputs in;
    in.FreqCenter = 5012000;
    in.FreqTune = -12000;
    in.TuneStep = 1;
    return in;
}

bool IsBlack(Px p) { return p == kBlack; }
bool IsWhite(Px p) { return p == kWhite; }
bool IsGreyOrBlack(Px p) { return p.r == p.g && p.g == p.b; }

class DisplayTest : public ::testing::Test {
protected:
    ui::FrequencyDisplay display;
    const QImage& img() { return display.Image(); }
};

TEST_F(DisplayTest, PictureIs471By70TwentyFourBit)
{
    display.PaintDisplay(Defaults());
    EXPECT_EQ(img().width(), 471);
    EXPECT_EQ(img().height(), 70);
    EXPECT_EQ(img().format(), QImage::Format_RGB888);
}

struct LampCase {
    int x0;
    Px lit, dark;
};
const LampCase kLamps[] = {
    {0, {0, 255, 0}, {0, 128, 0}},
    {40, {0, 255, 255}, {0, 128, 128}},
    {80, {255, 0, 0}, {128, 0, 0}},
};

void ExpectLamp(const QImage& img, const LampCase& lamp, bool lit)
{
    const Px colour = lit ? lamp.lit : lamp.dark;
    const int l = lamp.x0 + 10, r = lamp.x0 + 44, t = 54, b = 63;
    SCOPED_TRACE("lamp at " + std::to_string(lamp.x0) + (lit ? " lit" : " dark"));
    // Corners black, the rest of the edge in the lamp's colour (the label
    // stays away from the edges).
    EXPECT_EQ(At(img, l, t), kBlack);
    EXPECT_EQ(At(img, l, b), kBlack);
    EXPECT_EQ(At(img, r, t), kBlack);
    EXPECT_EQ(At(img, r, b), kBlack);
    for (int y = t + 1; y < b; ++y) {
        EXPECT_EQ(At(img, l, y), colour) << "y " << y << " " << Str(At(img, l, y));
        EXPECT_EQ(At(img, r, y), colour) << "y " << y;
    }
    for (int x = l + 1; x < r; ++x)
        EXPECT_EQ(At(img, x, b), colour) << "x " << x;
    // Nothing outside the rectangle (right and bottom edges excluded).
    for (int y = t - 1; y <= b + 1; ++y) {
        EXPECT_EQ(At(img, l - 1, y), kBlack);
        EXPECT_EQ(At(img, r + 1, y), kBlack);
    }
    for (int x = l; x <= r; ++x) {
        EXPECT_EQ(At(img, x, t - 1), kBlack);
        EXPECT_EQ(At(img, x, b + 1), kBlack);
    }
    // The label is black on the lamp, and there is only lamp colour,
    // black and the blend between them inside.
    const int inside = CountIn(img, l + 1, t + 1, r, b, [&](Px p) { return p == colour; });
    const int label = CountIn(img, l + 1, t + 1, r, b, [&](Px p) {
        return p.r <= colour.r / 2 && p.g <= colour.g / 2 && p.b <= colour.b / 2;
    });
    EXPECT_GT(inside, 120);
    EXPECT_GT(label, 15);
}

TEST_F(DisplayTest, LampsDarkAndLit)
{
    ui::DisplayInputs in = Defaults();
    display.PaintDisplay(in);
    for (const auto& lamp : kLamps)
        ExpectLamp(img(), lamp, false);

    in.SqlBusy = true;
    in.RadioLinkOk = true;
    in.AudioOver = true;
    display.PaintDisplay(in);
    for (const auto& lamp : kLamps)
        ExpectLamp(img(), lamp, true);

    in.SqlBusy = false;
    in.AudioOver = false;
    display.PaintDisplay(in);
    ExpectLamp(img(), kLamps[0], false);
    ExpectLamp(img(), kLamps[1], true);
    ExpectLamp(img(), kLamps[2], false);
}

TEST_F(DisplayTest, BigDigitsSitInTheirCells)
{
    // Receive frequency 5000000: "   5.000.000". The blanks leave their cells
    // black, the digits put solid white into theirs.
    display.PaintDisplay(Defaults());
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(CountIn(img(), 150 + 24 * i, 20, 150 + 24 * i + 24, 70, IsBlack), 24 * 50)
            << "cell " << i;
    for (int i : {3, 5, 6, 7, 9, 10, 11})
        EXPECT_GT(CountIn(img(), 150 + 24 * i, 20, 150 + 24 * i + 24, 70, IsWhite), 60)
            << "cell " << i;
    // Only white, black and greys in the big digits' area.
    EXPECT_EQ(CountIn(img(), 150, 20, 471, 70, IsGreyOrBlack), 321 * 50);
}

TEST_F(DisplayTest, EqualDigitsLookTheSameEveryTwentyFourPixels)
{
    ui::DisplayInputs in = Defaults();
    in.FreqCenter = 1111111111;
    in.FreqTune = 0;
    display.PaintDisplay(in);
    for (int i : {1, 2, 3, 5, 6, 7, 9, 10, 11})
        EXPECT_TRUE(SameBlock(img(), 150, 20, 150 + 24 * i, 20, 24, 50)) << "cell " << i;
    EXPECT_FALSE(SameBlock(img(), 150, 20, 150 + 24 * 4, 20, 24, 50));  // the "."
}

TEST_F(DisplayTest, ReceiveFrequencyIsCentrePlusOffset)
{
    ui::DisplayInputs a = Defaults();  // 5012000 - 12000
    display.PaintDisplay(a);
    const QImage first = img().copy(150, 20, 321, 50);
    ui::DisplayInputs b = Defaults();
    b.FreqCenter = 5000000;
    b.FreqTune = 0;
    display.PaintDisplay(b);
    EXPECT_EQ(img().copy(150, 20, 321, 50), first);
    b.FreqTune = 100;
    display.PaintDisplay(b);
    EXPECT_NE(img().copy(150, 20, 321, 50), first);
}

TEST_F(DisplayTest, SmallCentreDigitsEverySevenPixels)
{
    ui::DisplayInputs in = Defaults();
    in.FreqCenter = 1111111111;
    in.FreqTune = 0;
    display.PaintDisplay(in);
    // "1111.111.111" at 300 + 7 i; cells 1..3 repeat at 5..7 and 9..11.
    EXPECT_TRUE(SameBlock(img(), 300 + 7 * 1, 0, 300 + 7 * 5, 0, 14, 20));
    EXPECT_TRUE(SameBlock(img(), 300 + 7 * 1, 0, 300 + 7 * 9, 0, 14, 20));
    EXPECT_GT(CountIn(img(), 300, 0, 384, 20, [](Px p) { return p.r > 128; }), 20);
}

TEST_F(DisplayTest, RawRecordingLineIsRedAndPlayingWins)
{
    ui::DisplayInputs in = Defaults();
    in.RawRecording = true;
    in.RawTimeText = "00:01:02";
    display.PaintDisplay(in);
    auto red = [](Px p) { return p.r > 0 && p.g == 0 && p.b == 0; };
    auto solidRed = [](Px p) { return p.r > 200 && p.g == 0 && p.b == 0; };
    EXPECT_GT(CountIn(img(), 10, 22, 120, 40, red), 20);
    EXPECT_GT(CountIn(img(), 10, 22, 120, 40, solidRed), 5);
    // The first line stays white.
    EXPECT_EQ(CountIn(img(), 10, 5, 120, 21, red), 0);
    EXPECT_GT(CountIn(img(), 10, 5, 120, 21, [](Px p) { return p.r > 128 && p.r == p.g; }), 10);

    in.RawPlaying = true;
    display.PaintDisplay(in);
    EXPECT_EQ(CountIn(img(), 0, 0, 150, 50, red), 0);
}

// Two paints that should draw the same first status line and different
// second ones.
TEST_F(DisplayTest, StatusLinesFollowTheFirstConditionThatHolds)
{
    auto line1 = [this] { return img().copy(10, 5, 140, 16); };
    auto line2 = [this] { return img().copy(10, 22, 140, 15); };

    ui::DisplayInputs vfo = Defaults();
    vfo.FreqEntry = "145.5";
    display.PaintDisplay(vfo);
    const QImage entry1 = line1(), vfo2 = line2();
    EXPECT_GT(CountIn(entry1, 0, 0, entry1.width(), entry1.height(),
                      [](Px p) { return p.r > 200 && p.r == p.b; }),
              10);

    ui::DisplayInputs mem = Defaults();
    mem.MemoryMode = true;
    mem.MemName = "145.5";
    mem.FreqEntry = "9";
    display.PaintDisplay(mem);
    EXPECT_EQ(line1(), entry1);
    EXPECT_NE(line2(), vfo2);
    const QImage memory2 = line2();

    ui::DisplayInputs play = mem;
    play.RawPlaying = true;
    play.RawTimeText = "145.5";
    display.PaintDisplay(play);
    EXPECT_EQ(line1(), entry1);
    EXPECT_NE(line2(), vfo2);
    EXPECT_NE(line2(), memory2);

    // Nothing typed: an empty first line.
    display.PaintDisplay(Defaults());
    EXPECT_EQ(CountIn(img(), 10, 5, 150, 21, IsBlack), 140 * 16);
    EXPECT_EQ(line2(), vfo2);
}

TEST_F(DisplayTest, BandAtTheTopRightIsBlackBehindTheSmallText)
{
    ui::DisplayInputs in = Defaults();
    in.FreqCenter = 1299999950;
    in.FreqTune = -23950;
    display.PaintDisplay(in);
    // Left of the caption, and below the small digits (which have no
    // descenders), the band is untouched black.
    EXPECT_EQ(CountIn(img(), 250, 0, 255, 20, IsBlack), 5 * 20);
    EXPECT_EQ(CountIn(img(), 300, 18, 471, 20, IsBlack), 171 * 2);
    EXPECT_EQ(CountIn(img(), 250, 0, 471, 20, IsGreyOrBlack), 221 * 20);
    // The offset text is there.
    EXPECT_GT(CountIn(img(), 395, 0, 444, 20, [](Px p) { return p.r > 128; }), 20);
}

TEST_F(DisplayTest, StepTextChangesWithTheStep)
{
    ui::DisplayInputs in = Defaults();
    in.TuneStep = 999;
    display.PaintDisplay(in);
    const QImage hz = img().copy(10, 37, 100, 15);
    in.TuneStep = 1000;
    display.PaintDisplay(in);
    const QImage khz = img().copy(10, 37, 100, 15);
    EXPECT_NE(hz, khz);
    EXPECT_GT(CountIn(khz, 0, 0, 100, 15, IsWhite), 5);
}

TEST_F(DisplayTest, AnEndlessEntryRunsOffTheEdgeSafely)
{
    const std::string entry(5000, '8');
    ui::DisplayInputs in = Defaults();
    in.FreqEntry = entry;
    display.PaintDisplay(in);
    EXPECT_GT(CountIn(img(), 400, 5, 471, 20, [](Px p) { return p.r > 0; }), 10);
}

TEST_F(DisplayTest, ExtremeValuesPaintWithoutHarm)
{
    ui::DisplayInputs in = Defaults();
    in.FreqCenter = INT32_MAX;
    in.FreqTune = INT32_MAX;
    in.TuneStep = INT32_MIN;
    display.PaintDisplay(in);
    in.FreqCenter = INT32_MIN;
    in.FreqTune = INT32_MIN;
    display.PaintDisplay(in);
    SUCCEED();
}

TEST_F(DisplayTest, RepaintingAllocatesNothing)
{
    ui::DisplayInputs in = Defaults();
    in.FreqEntry = "145.5";
    in.RawTimeText = "00:00:10";
    display.PaintDisplay(in);
    const uchar* bits = img().constBits();
    alloc::Scope scope;
    for (int i = 0; i < 200; ++i) {
        in.FreqTune = -24000 + 240 * i;
        in.TuneStep = (i % 2) != 0 ? 6250 : 500;
        in.SqlBusy = (i % 3) == 0;
        in.RawRecording = (i % 5) == 0;
        in.MemoryMode = (i % 7) == 0;
        display.PaintDisplay(in);
    }
    EXPECT_EQ(scope.Allocations(), 0u);
    EXPECT_EQ(img().constBits(), bits);
}

// UTF-8 for the code points first..first + count - 1 (all two- or three-byte).
std::string Utf8Run(char32_t first, int count)
{
    std::string out;
    for (char32_t c = first; c < first + static_cast<char32_t>(count); ++c) {
        if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
        } else {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        }
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

TEST_F(DisplayTest, MemoryNamesBeyondAsciiAreDrawn)
{
    ui::DisplayInputs in = Defaults();
    in.MemoryMode = true;
    auto ink = [&](const std::string& name) {
        in.MemName = name;
        display.PaintDisplay(in);
        return CountIn(img(), 10, 0, 250, 20, [](Px p) { return p.r > 128; });
    };
    // One character each: Cyrillic, Greek, Latin-1, a currency sign, and
    // bytes that are no UTF-8 (drawn as the replacement character).
    for (const char* name : {"\u0416", "\u03A9", "\u00E9", "\u20AC", "\xFF", "\xC3"})
        EXPECT_GT(ink(name), 8) << name;
    // "Zürich" is "Zrich" with one more letter in between.
    EXPECT_GT(ink("Z\u00FCrich"), ink("Zrich") + 8);
}

TEST_F(DisplayTest, RepaintingANameBeyondAsciiAllocatesNothingOnceSeen)
{
    ui::DisplayInputs in = Defaults();
    in.MemoryMode = true;
    // More distinct letters than fit on the line: those beyond its end are
    // never drawn, so every repaint finds its glyphs in the cache.
    const std::string cyrillic = Utf8Run(0x410, 200);
    const std::string greek = "\u039C\u03B5\u03C4\u03B5\u03C9\u03C1\u03BF \u20AC";
    in.MemName = cyrillic;
    display.PaintDisplay(in);
    in.MemName = greek;
    display.PaintDisplay(in);
    const QImage first = img().copy();

    alloc::Scope scope;
    for (int i = 0; i < 50; ++i) {
        in.MemName = (i % 2) != 0 ? std::string_view(greek) : std::string_view(cyrillic);
        display.PaintDisplay(in);
    }
    EXPECT_EQ(scope.Allocations(), 0u);
    EXPECT_EQ(img(), first);
}

TEST(GlyphAtlasTest, TheCacheRendersAgainWhatItHadToLetGo)
{
    ui::GlyphAtlas atlas(QStringLiteral("DejaVu Sans"), 9, 0.85);
    QImage image(40, 30, QImage::Format_RGB888);
    const ui::Canvas canvas{image.bits(), static_cast<int>(image.bytesPerLine()), 40, 30};
    auto draw = [&](char32_t code) {
        image.fill(Qt::black);
        atlas.DrawCodePoint(canvas, 5, 2, code, ui::Rgb{255, 255, 255});
        return image.copy();
    };
    const QImage zhe = draw(0x416);
    EXPECT_EQ(atlas.Rendered(), 1);
    EXPECT_EQ(draw(0x416), zhe);  // from the cache
    EXPECT_EQ(atlas.Rendered(), 1);

    // As many other characters as there are slots push it out...
    for (int i = 0; i < ui::GlyphAtlas::kCacheSlots; ++i)
        draw(0x4E00 + static_cast<char32_t>(i));
    EXPECT_EQ(atlas.Rendered(), 1 + ui::GlyphAtlas::kCacheSlots);
    // ...and it comes back the same, rendered once more; the latest stay.
    EXPECT_EQ(draw(0x416), zhe);
    EXPECT_EQ(atlas.Rendered(), 2 + ui::GlyphAtlas::kCacheSlots);
    draw(0x4E00 + ui::GlyphAtlas::kCacheSlots - 1);
    EXPECT_EQ(atlas.Rendered(), 2 + ui::GlyphAtlas::kCacheSlots);
    // ASCII never goes through the cache.
    atlas.DrawCodePoint(canvas, 5, 2, U'A', ui::Rgb{255, 255, 255});
    EXPECT_EQ(atlas.Rendered(), 2 + ui::GlyphAtlas::kCacheSlots);
}

}  // namespace
