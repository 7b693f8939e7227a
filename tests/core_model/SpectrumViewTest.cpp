#include "core/model/SpectrumView.h"
#include "core/model/Palette.h"
#include "core/model/WheelNotches.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

namespace {

using core::ColumnSpan;

// A 512-pixel waterfall: SpecScale 2, two units per pixel.
constexpr double kScale512 = 2.0;

TEST(SpectrumGeometry, ClicksOnA512PixelWaterfall)
{
    EXPECT_DOUBLE_EQ(core::SpecScaleOf(512), kScale512);
    EXPECT_EQ(core::OffsetOfColumn(0, kScale512), -24000);
    EXPECT_EQ(core::OffsetOfColumn(256, kScale512), 0);
    EXPECT_EQ(core::OffsetOfColumn(300, kScale512), 4125);
    EXPECT_EQ(core::OffsetOfColumn(511, kScale512), 23906);  // 23906.25, truncated
    EXPECT_EQ(core::OffsetOfColumn(1, kScale512), -23906);   // toward zero, not down
    // Beyond the picture (a drag past its edges): beyond the band, as it is.
    EXPECT_EQ(core::OffsetOfColumn(-10, kScale512), -24937);
    EXPECT_EQ(core::OffsetOfColumn(600, kScale512), 32250);
}

TEST(SpectrumGeometry, ColumnsOfOffsets)
{
    EXPECT_EQ(core::ColumnOfOffset(0, kScale512), 256);
    EXPECT_EQ(core::ColumnOfOffset(-24000, kScale512), 0);
    EXPECT_EQ(core::ColumnOfOffset(24000, kScale512), 512);
    EXPECT_EQ(core::ColumnOfOffset(4125, kScale512), 300);
    EXPECT_EQ(core::ColumnOfOffset(20000, kScale512), 469);  // 469.33
    // Left of the band the quotient is negative and truncates toward zero.
    EXPECT_EQ(core::ColumnOfOffset(-24100, kScale512), -1);  // -1.07
    EXPECT_EQ(core::ColumnOfOffset(-24040, kScale512), 0);   // -0.43
    // 1000 pixels: SpecScale 1.024.
    const double s = core::SpecScaleOf(1000);
    EXPECT_EQ(core::ColumnOfOffset(0, s), 500);
    EXPECT_EQ(core::ColumnOfOffset(-12000, s), 250);
    EXPECT_EQ(core::GridRowEnd(s), 1000);
}

TEST(SpectrumGeometry, PassBandByMode)
{
    // FreqTune -12000, IFWidth 3000 on 512 pixels: x(-12000) = 128, and
    // 1500 Hz are 16 pixels.
    const struct {
        core::Mode mode;
        ColumnSpan span;
    } cases[] = {
        {core::Mode::Lsb, {96, 128}},   // IFWidth below
        {core::Mode::Usb, {128, 160}},  // IFWidth above
        {core::Mode::Am, {112, 144}},   // IFWidth div 2 either side
        {core::Mode::Fm, {112, 144}},  {core::Mode::Cw, {112, 144}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(core::PassBandColumns(c.mode, -12000, 3000, kScale512), c.span)
            << dsp::Code(c.mode);
    // An odd width: div 2 drops the half hertz on both sides alike.
    EXPECT_EQ(
        core::PassBandColumns(core::Mode::Am, 0, 501, kScale512),
        (ColumnSpan{core::ColumnOfOffset(-250, kScale512), core::ColumnOfOffset(250, kScale512)}));
}

TEST(SpectrumGeometry, GridTracesAndLabel)
{
    EXPECT_EQ(core::GridColumn(512, 1), 10);
    EXPECT_EQ(core::GridColumn(512, core::kGridCentre), 256);
    EXPECT_EQ(core::GridColumn(512, 47), 501);
    EXPECT_EQ(core::GridColumn(497, 24), 248);
    EXPECT_EQ(core::GridRowEnd(kScale512), 512);

    EXPECT_EQ(core::TraceRow(10.0), 58);  // the floor lies below the 58-pixel picture
    EXPECT_EQ(core::TraceRow(14.99), 58);
    EXPECT_EQ(core::TraceRow(15.0), 57);
    EXPECT_EQ(core::TraceRow(100.0), 40);
    EXPECT_EQ(core::TraceRow(346.0), -9);  // a full-scale carrier rises off the top

    EXPECT_EQ(core::BinUnit(0), 512);
    EXPECT_EQ(core::BinUnit(1023), 1023);
    EXPECT_EQ(core::BinUnit(1024), 0);
    EXPECT_EQ(core::BinUnit(2047), 511);
    EXPECT_EQ(core::BinColumn(0, kScale512), 256);
    EXPECT_EQ(core::BinColumn(256, kScale512), 320);  // +6000 Hz
    EXPECT_EQ(core::BinColumn(1023, kScale512), 511);
    EXPECT_EQ(core::BinColumn(1024, kScale512), 0);

    // The label flips when fewer than 100 pixels remain right of the line.
    EXPECT_EQ(core::LabelLeft(512, 412), 412);
    EXPECT_EQ(core::LabelLeft(512, 413), 308);
    EXPECT_EQ(core::LabelLeft(512, 0), 0);

    core::LabelText text;
    EXPECT_EQ(core::FormatLabel(5012000, text), "5.01200MHz");
    EXPECT_EQ(core::FormatLabel(7100050, text), "7.10005MHz");
    EXPECT_EQ(core::FormatLabel(1299999950, text), "1299.99995MHz");
    EXPECT_EQ(core::FormatLabel(30000, text), "0.03000MHz");
}

TEST(SpectrumView, HistoryKeepsTheLastThreeRaisedSpectra)
{
    core::SpectrumView view;
    for (int n = 0; n < 3; ++n)
        for (double v : view.History(n))
            ASSERT_EQ(v, 0.0);  // zero at start: drawn below the picture

    std::array<double, core::kSpectrumBins> a{};
    a[0] = 5.0;  // below the floor
    a[1] = std::nan("");
    a[2] = 10.0;
    a[3] = 10.5;
    a[4] = -3.0;
    a[5] = 200.0;
    view.PushSpectrum(a.data());
    const auto& newest = view.History(2);
    EXPECT_EQ(newest[0], 10.0);
    EXPECT_EQ(newest[1], 10.0);
    EXPECT_EQ(newest[2], 10.0);
    EXPECT_EQ(newest[3], 10.5);
    EXPECT_EQ(newest[4], 10.0);
    EXPECT_EQ(newest[5], 200.0);
    EXPECT_EQ(newest[6], 10.0);
    EXPECT_EQ(view.History(1)[5], 0.0);

    std::array<double, core::kSpectrumBins> b{};
    b[5] = 50.0;
    std::array<double, core::kSpectrumBins> c{};
    c[5] = 60.0;
    view.PushSpectrum(b.data());
    view.PushSpectrum(c.data());
    EXPECT_EQ(view.History(0)[5], 200.0);
    EXPECT_EQ(view.History(1)[5], 50.0);
    EXPECT_EQ(view.History(2)[5], 60.0);
    view.PushSpectrum(a.data());  // the oldest goes
    EXPECT_EQ(view.History(0)[5], 50.0);
    EXPECT_EQ(view.History(2)[5], 200.0);

    // The width changes the columns, not the history.
    view.SetWidth(1000);
    EXPECT_DOUBLE_EQ(view.SpecScale(), 1.024);
    EXPECT_EQ(view.BinColumn(0), 500);
    EXPECT_EQ(view.History(2)[5], 200.0);
}

// A spectrum value that "Mono" shows as grey level n at WaterGain 1.
double Grey(int n) { return (6.0 * n + 500.0) / 8.0; }

// Rows of `width` pixels, prefilled with a sentinel colour, after one write.
std::vector<uint8_t> Row(int width, const std::array<double, core::kSpectrumBins>& db,
                         double gain = 1.0, int colorNum = 0)
{
    std::vector<uint8_t> row(static_cast<size_t>(width) * 3, 7);
    core::WriteWaterfallRow(row.data(), width, db.data(), core::SpecScaleOf(width), gain, colorNum);
    return row;
}

TEST(WaterfallRow, ColumnsOfAnEvenAndAnOddWidth)
{
    // Width 8 (SpecScale 128) reads bins 0, 256, 512, 768 of each half;
    // width 9 (113.78) reads 0, 227, 455, 682.
    struct Case {
        int width;
        int bins[4];
        int expected[9];  // grey levels; 7 is the sentinel of a column left alone
    };
    const Case cases[] = {
        // Lower half from column -1 (skipped), upper half from 3; the last
        // column is never written.
        {8, {0, 256, 512, 768}, {21, 22, 23, 10, 11, 12, 13, 7}},
        // An odd width leaves its last two columns.
        {9, {0, 227, 455, 682}, {21, 22, 23, 10, 11, 12, 13, 7, 7}},
    };
    for (const Case& c : cases) {
        std::array<double, core::kSpectrumBins> db{};
        for (int i = 0; i < 4; ++i) {
            db[c.bins[i]] = Grey(10 + i);
            db[1024 + c.bins[i]] = Grey(20 + i);
        }
        const std::vector<uint8_t> row = Row(c.width, db);
        for (int x = 0; x < c.width; ++x)
            for (int k = 0; k < 3; ++k)
                EXPECT_EQ(row[3 * x + k], c.expected[x]) << "width " << c.width << ", column " << x;
    }
}

TEST(WaterfallRow, ColoursFollowGainAndPaletteAndTheRawValues)
{
    std::array<double, core::kSpectrumBins> db{};
    db[256] = 100.0;          // +6000 Hz: column 319 of 512, one left of the strip's 320
    db[0] = 62.5;             // black in every palette at gain 1
    db[1024 + 256] = 253.75;  // white
    db[512] = 5.0;            // below the traces' floor
    const std::vector<uint8_t> blue = Row(512, db, 1.0, 1);
    auto pixel = [](const std::vector<uint8_t>& row, int x) {
        return core::Rgb{row[3 * x], row[3 * x + 1], row[3 * x + 2]};
    };
    EXPECT_EQ(pixel(blue, 319), (core::Rgb{0, 0, 150}));  // R, G, B byte order
    EXPECT_EQ(pixel(blue, 320), (core::Rgb{0, 0, 0}));
    EXPECT_EQ(pixel(blue, 255), (core::Rgb{0, 0, 0}));
    EXPECT_EQ(pixel(blue, 63), (core::Rgb{255, 255, 255}));
    EXPECT_EQ(pixel(blue, 383), (core::Rgb{0, 0, 0}));  // 5 x 8 - 500 < 0
    EXPECT_EQ(pixel(blue, 511), (core::Rgb{7, 7, 7}));

    // WaterGain scales the raw value (not the traces' raised copy) before
    // the offset of 500.
    const std::vector<uint8_t> gained = Row(512, db, 20.0, 1);
    EXPECT_EQ(pixel(gained, 383), (core::Rgb{0, 0, 150}));  // 5 x 160 - 500 = 300
    EXPECT_EQ(pixel(gained, 319), (core::Rgb{255, 255, 255}));
    const std::vector<uint8_t> twice = Row(512, db, 2.0, 1);
    EXPECT_EQ(pixel(twice, 319), (core::Rgb{40, 255, 255}));  // 100 x 16 - 500 = 1100
}

TEST(WheelNotches, OneStepPerWholeNotch)
{
    core::WheelNotches wheel;
    for (int i = 0; i < 14; ++i)
        EXPECT_EQ(wheel.Add(8), 0) << i;  // a high-resolution wheel's parts
    EXPECT_EQ(wheel.Add(8), 1);
    EXPECT_EQ(wheel.Rest(), 0);
    EXPECT_EQ(wheel.Add(120), 1);  // a classic wheel: each notch at once
    EXPECT_EQ(wheel.Add(-120), -1);
    EXPECT_EQ(wheel.Add(240), 2);
    EXPECT_EQ(wheel.Add(60), 0);
    EXPECT_EQ(wheel.Add(-60), 0);  // turned back before the notch
    EXPECT_EQ(wheel.Add(-130), -1);
    EXPECT_EQ(wheel.Rest(), -10);
    EXPECT_EQ(wheel.Add(-110), -1);
}

}  // namespace
