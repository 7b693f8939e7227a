#pragma once

// The frequency display of the main window: receive frequency in large
// digits, centre frequency and offset, status lines, step and three lamps,
// painted into a 471 x 70 24-bit picture after every block.

#include "ui/paint/GlyphAtlas.h"

#include <QImage>

#include <cstdint>
#include <string_view>

namespace ui {

// Everything the display reads, gathered by the caller so that the painter
// needs no receiver object. The views must stay valid during PaintDisplay.
struct DisplayInputs {
    int32_t FreqCenter = 0;
    int32_t FreqTune = 0;
    int32_t TuneStep = 1;
    std::string_view FreqEntry;
    bool MemoryMode = false;
    std::string_view MemName;
    bool RawPlaying = false;    // a raw IQ file is open for playback
    bool RawRecording = false;  // a raw IQ file is open for recording
    std::string_view RawTimeText;
    bool SqlBusy = false;
    bool RadioLinkOk = false;
    bool AudioOver = false;
};

class FrequencyDisplay {
public:
    static constexpr int kWidth = 471;
    static constexpr int kHeight = 70;

    // Renders the glyphs of its three fonts once; needs the QGuiApplication.
    FrequencyDisplay();

    // Paints the whole picture from the inputs; allocates nothing.
    void PaintDisplay(const DisplayInputs& in);

    // The painted picture. Draw it (QPainter::drawImage) rather than keeping
    // a copy: a shared copy would make the next paint copy the pixels.
    const QImage& Image() const { return image_; }

private:
    QImage image_;
    Canvas canvas_;
    GlyphAtlas large_;  // 34 points: the receive frequency
    GlyphAtlas small_;  // 9 points: status, centre frequency, offset, step
    GlyphAtlas lamp_;   // 8 points: lamp labels
};

}  // namespace ui
