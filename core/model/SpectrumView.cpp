#include "core/model/SpectrumView.h"

#include "core/model/Palette.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace core {
namespace {

// Truncation toward zero into an int, for values far from any picture
// clamped first so that the conversion stays defined.
int TruncColumn(double v) { return static_cast<int>(std::clamp(v, -1.0e9, 1.0e9)); }

}  // namespace

double SpecScaleOf(int width) { return 1024.0 / std::max(width, 1); }

int ColumnOfOffset(int64_t f, double specScale)
{
    return TruncColumn((static_cast<double>(f) * 512.0 * (1.0 / 24000.0) + 512.0) / specScale);
}

int32_t OffsetOfColumn(int x, double specScale)
{
    const double scaled = std::clamp((x * specScale - 512.0) * 24000.0, -1.0e15, 1.0e15);
    const int64_t offset = static_cast<int64_t>(scaled) / 512;
    return static_cast<int32_t>(std::clamp<int64_t>(offset, INT32_MIN, INT32_MAX));
}

ColumnSpan PassBandColumns(Mode rxMode, int32_t freqTune, int32_t ifWidth, double specScale)
{
    const int64_t tune = freqTune;
    const dsp::PassBand band = dsp::PassBandOf(rxMode, ifWidth);
    return {ColumnOfOffset(tune - band.below, specScale),
            ColumnOfOffset(tune + band.above, specScale)};
}

int GridColumn(int stripWidth, int i) { return stripWidth * i / 48; }

int GridRowEnd(double specScale) { return TruncColumn(1024.0 / specScale); }

int TraceRow(double v)
{
    // Values from 16-bit input stay within a few hundred; the clamp only
    // keeps the conversion defined.
    return kStripReach - static_cast<int>(std::clamp(0.2 * v, -1.0e6, 1.0e6));
}

int BinUnit(int b) { return b < 1024 ? 512 + b / 2 : b / 2 - 512; }

int BinColumn(int b, double specScale) { return TruncColumn(BinUnit(b) / specScale); }

int LabelLeft(int stripWidth, int tuneColumn)
{
    return stripWidth < tuneColumn + 100 ? tuneColumn - 105 : tuneColumn;
}

std::string_view FormatLabel(int64_t receiveHz, LabelText& text)
{
    const double mhz = static_cast<double>(receiveHz) * 0.000001;
    char* const end = text.data() + text.size() - 3;
    char* p = std::to_chars(text.data(), end, mhz, std::chars_format::fixed, 5).ptr;
    *p++ = 'M';
    *p++ = 'H';
    *p++ = 'z';
    return {text.data(), static_cast<std::size_t>(p - text.data())};
}

void WriteWaterfallRow(uint8_t* row, int width, const double* spectrumDb, double specScale,
                       double waterGain, int colorNum)
{
    const int half = width / 2;
    auto put = [&](int x, double s) {
        if (x < 0 || x >= width)
            return;
        const Rgb c = PaletteColor(s * 8.0 * waterGain - 500.0, colorNum);
        uint8_t* p = row + 3 * x;
        p[0] = c.r;
        p[1] = c.g;
        p[2] = c.b;
    };
    auto bin = [specScale](int c) { return std::min(static_cast<int>(c * specScale * 2.0), 1023); };
    for (int c = 0; c < half; ++c)
        put(half + c - 1, spectrumDb[bin(c)]);
    for (int c = 0; c < half; ++c)
        put(c - 1, spectrumDb[1024 + bin(c)]);
}

SpectrumView::SpectrumView() { SetWidth(512); }

void SpectrumView::SetWidth(int width)
{
    width_ = std::max(width, 1);
    specScale_ = SpecScaleOf(width_);
    for (int b = 0; b < kSpectrumBins; ++b)
        binColumn_[static_cast<std::size_t>(b)] = core::BinColumn(b, specScale_);
}

void SpectrumView::PushSpectrum(const double* spectrumDb)
{
    newest_ = (newest_ + 1) % 3;  // the oldest makes room
    Spectrum& raised = history_[static_cast<std::size_t>(newest_)];
    for (int k = 0; k < kSpectrumBins; ++k) {
        const double v = spectrumDb[k];
        // "Not below the floor" is false for NaN too.
        raised[static_cast<std::size_t>(k)] = v >= kTraceFloor ? v : kTraceFloor;
    }
}

const SpectrumView::Spectrum& SpectrumView::History(int n) const
{
    return history_[static_cast<std::size_t>((newest_ + 1 + n) % 3)];
}

}  // namespace core
