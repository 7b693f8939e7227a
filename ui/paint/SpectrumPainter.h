#pragma once

// The spectrum window's two pictures, painted by hand into 24-bit rows: the
// strip (pass band, dotted 1 kHz grid, tuning line, three traces, outlined
// frequency label), redrawn from scratch every block, and the waterfall,
// scrolled one row down per block with the new row on top. The geometry comes
// from core/model/SpectrumView; drawing by hand keeps a block's redraw free of
// allocations and lets the dotted lines and traces land exactly where the
// rules put them.

#include "core/model/SpectrumView.h"
#include "ui/paint/GlyphAtlas.h"

#include <QImage>

#include <cstdint>

namespace ui {

// The receiver state the strip shows.
struct StripInputs {
    int32_t FreqCenter = 0;
    int32_t FreqTune = 0;
    core::Mode RxMode = core::Mode::Am;
    int32_t IFWidth = 0;
    bool DragTune = false;
};

class SpectrumPainter {
public:
    // Renders the label's glyphs once; needs the QGuiApplication.
    SpectrumPainter();

    // Both pictures `width` pixels wide, the waterfall `waterfallHeight`
    // high (each at least one pixel); the waterfall starts black.
    void Resize(int width, int waterfallHeight);
    void ClearWaterfall();

    // The strip from scratch: black, pass band, grid, tuning line, the
    // view's three traces (oldest first) and the label.
    void PaintStrip(const StripInputs& in, const core::SpectrumView& view);
    // The waterfall one row down and the new top row from spectrumDb.
    void AddWaterfallRow(const double* spectrumDb, const core::SpectrumView& view, double waterGain,
                         int colorNum);

    // Show them with QPainter::drawImage rather than keeping copies: a
    // shared copy would make the next block copy all the pixels.
    const QImage& Strip() const { return strip_; }
    const QImage& Waterfall() const { return waterfall_; }

private:
    static Canvas CanvasOf(QImage& image);

    QImage strip_;
    QImage waterfall_;
    GlyphAtlas label_;  // 9 points
};

}  // namespace ui
