#pragma once

// The spectrum window's drawing rules in pixels: where an offset from
// FreqCenter lies on the strip and the waterfall, the pass band, the grid,
// the traces and their history, the frequency label, and the waterfall's new
// row. Standard library only: the window paints with these numbers and the
// tests check them directly.
//
// The band is laid out on 1024 units (unit 0 is -24 kHz, 512 the centre,
// 1024 +24 kHz) and a unit becomes a pixel column by dividing by SpecScale,
// 1024 / the waterfall's width.

#include "dsp/Choices.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace core {

using dsp::Mode;

inline constexpr int kSpectrumBins = 2048;
// The strip's picture is 58 pixels high (its panel's 60 less the bevel);
// the pass band and the vertical lines reach to y 60, below the picture.
inline constexpr int kStripHeight = 58;
inline constexpr int kStripReach = 60;
// Vertical grid lines i = 1..47, 1 kHz apart; line 24 is FreqCenter.
inline constexpr int kGridLines = 47;
inline constexpr int kGridCentre = 24;
inline constexpr std::array<int, 5> kGridRows = {9, 19, 29, 39, 49};
// Dotted lines: this many pixels drawn, then as many left alone, from the
// line's start.
inline constexpr int kDotLength = 3;
// Trace values below this (and NaN) are raised to it.
inline constexpr double kTraceFloor = 10.0;

// SpecScale for a waterfall `width` pixels wide (at least one pixel).
double SpecScaleOf(int width);

// x(f): the column of an offset f Hz from FreqCenter.
int ColumnOfOffset(int64_t f, double specScale);
// f(x): the offset a click on column x tunes to; beyond the band when x lies
// beyond the picture.
int32_t OffsetOfColumn(int x, double specScale);

// Columns left .. right - 1.
struct ColumnSpan {
    int left = 0;
    int right = 0;
    bool operator==(const ColumnSpan&) const = default;
};

// The pass band's columns for the mode: LSB below FreqTune,
// USB above it, the other modes IFWidth div 2 either side.
ColumnSpan PassBandColumns(Mode rxMode, int32_t freqTune, int32_t ifWidth, double specScale);

// Grid line i (1..47) of a strip `stripWidth` pixels wide.
int GridColumn(int stripWidth, int i);
// The horizontal grid lines run from column 0 up to (not including) this.
int GridRowEnd(double specScale);

// The row a (raised) trace value is drawn at; 58 for the floor of 10, just
// below the picture.
int TraceRow(double v);
// Unit and column of spectrum bin b (0..2047): bins 0..1023 lie above the
// centre, 1024..2047 below it.
int BinUnit(int b);
int BinColumn(int b, double specScale);

// The label's anchor x0 for the tuning line at tuneColumn: to the right of
// the line, or 105 pixels left of it when fewer than 100 pixels remain.
int LabelLeft(int stripWidth, int tuneColumn);
// The label "%0.5fMHz" of the receive frequency in Hz, into `text`.
using LabelText = std::array<char, 40>;
std::string_view FormatLabel(int64_t receiveHz, LabelText& text);

// Writes the waterfall's new top row, `width` pixels of three bytes R, G, B,
// from SpectrumDb: bin k of the upper half at column width div 2 + c - 1 and
// bin 1024 + k of the lower half at column c - 1, for k = trunc(c x SpecScale
// x 2) and c = 0 .. width div 2 - 1. Each frequency lies one pixel left of
// its strip column; column -1 does not exist, and the columns from
// 2 x (width div 2) - 1 on are left as they are.
void WriteWaterfallRow(uint8_t* row, int width, const double* spectrumDb, double specScale,
                       double waterGain, int colorNum);

// What the window keeps between blocks: SpecScale with the bins' columns
// for it, and SpecHistory, the last three spectra raised to the floor.
class SpectrumView {
public:
    using Spectrum = std::array<double, kSpectrumBins>;

    SpectrumView();

    // The waterfall's picture became `width` pixels wide.
    void SetWidth(int width);
    int Width() const { return width_; }
    double SpecScale() const { return specScale_; }
    int BinColumn(int b) const { return binColumn_[static_cast<std::size_t>(b)]; }

    // A block's SpectrumDb: the oldest trace takes the middle one, the
    // middle the newest, and the newest a raised copy of spectrumDb.
    void PushSpectrum(const double* spectrumDb);
    // Trace n: 0 the oldest, 1 the middle, 2 the newest; all zero at first.
    const Spectrum& History(int n) const;

private:
    int width_ = 1;
    double specScale_ = 1024.0;
    std::array<int, kSpectrumBins> binColumn_{};
    std::array<Spectrum, 3> history_{};
    int newest_ = 2;  // history_ is a ring: no copies of whole spectra per block
};

}  // namespace core
