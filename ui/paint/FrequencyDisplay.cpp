#include "ui/paint/FrequencyDisplay.h"

#include "core/model/Format.h"

#include <QString>

#include <algorithm>

namespace ui {

namespace {

constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kRed{255, 0, 0};

struct Lamp {
    int x0;
    Rgb lit;
    Rgb dark;
    int labelX;
    std::string_view label;
};

constexpr Lamp kLamps[] = {
    {0, {0, 255, 0}, {0, 128, 0}, 16, "BUSY"},
    {40, {0, 255, 255}, {0, 128, 128}, 56, "COM"},
    {80, {255, 0, 0}, {128, 0, 0}, 94, "OVER"},
};

const QString kFamily = QStringLiteral("DejaVu Sans");

}  // namespace

// The positions of the small text are per character at 7 pixels and those of
// the big digits at 24; DejaVu Sans is a little wide for both, so it is
// narrowed to keep neighbouring characters apart.
FrequencyDisplay::FrequencyDisplay()
    : image_(kWidth, kHeight, QImage::Format_RGB888)
    , large_(kFamily, 34, 0.85)
    , small_(kFamily, 9, 0.85)
    , lamp_(kFamily, 8, 0.8)
{
    image_.fill(Qt::black);
    canvas_ = Canvas{image_.bits(), static_cast<int>(image_.bytesPerLine()), kWidth, kHeight};
}

void FrequencyDisplay::PaintDisplay(const DisplayInputs& in)
{
    // bits() detaches should anybody have taken a copy; normally a no-op.
    canvas_.bits = image_.bits();
    const Canvas& c = canvas_;
    c.Fill(0, 0, kWidth, kHeight, kBlack);

    // Receive frequency. The sum is taken wide so that odd settings cannot
    // overflow it; FormatFrequency shows what is below zero as zero.
    const int64_t rx = static_cast<int64_t>(in.FreqCenter) + in.FreqTune;
    core::FrequencyText t;
    core::FormatFrequency(static_cast<int32_t>(std::clamp<int64_t>(rx, 0, INT32_MAX)), t);
    for (int i = 0; i < 12; ++i)
        large_.DrawChar(c, 150 + 24 * i, 15, t[i], kWhite);

    // Status lines: playing wins over recording, recording over a memory.
    std::string_view line1 = in.FreqEntry;
    bool memoryName = false;
    std::string_view line2 = "VFO";
    Rgb line2Colour = kWhite;
    if (in.RawPlaying) {
        line1 = in.RawTimeText;
        line2 = "Raw Play";
    } else if (in.RawRecording) {
        line1 = in.RawTimeText;
        line2 = "Raw Rec";
        line2Colour = kRed;
    } else if (in.MemoryMode) {
        line1 = in.MemName;
        line2 = "Memory";
        memoryName = true;
    }
    if (memoryName)
        small_.DrawName(c, 10, 5, line1, kWhite);
    else
        small_.DrawText(c, 10, 5, line1, kWhite);
    small_.DrawText(c, 10, 22, line2, line2Colour);

    // The band over the top of the big digits keeps the small line readable.
    c.Fill(250, 0, kWidth, 20, kBlack);
    small_.DrawText(c, 255, 5, "RX Freq : ", kWhite);
    core::FormatFrequency(in.FreqCenter, t);
    for (int i = 0; i < 12; ++i)
        small_.DrawChar(c, 300 + 7 * i, 5, t[i], kWhite);
    core::OffsetText offset;
    core::FormatOffset(in.FreqTune, offset);
    for (int i = 0; i < 7; ++i)
        small_.DrawChar(c, 395 + 7 * i, 5, offset[i], kWhite);

    core::StepText step;
    core::FormatStep(in.TuneStep, step);
    small_.DrawText(c, 10, 37, std::string_view(step.data()), kWhite);

    const bool lit[] = {in.SqlBusy, in.RadioLinkOk, in.AudioOver};
    for (int k = 0; k < 3; ++k) {
        const Lamp& lamp = kLamps[k];
        const int x0 = lamp.x0;
        c.Fill(x0 + 10, 54, x0 + 45, 64, lit[k] ? lamp.lit : lamp.dark);
        c.Set(x0 + 10, 54, kBlack);
        c.Set(x0 + 10, 63, kBlack);
        c.Set(x0 + 44, 54, kBlack);
        c.Set(x0 + 44, 63, kBlack);
        lamp_.DrawText(c, lamp.labelX, 52, lamp.label, kBlack);
    }
}

}  // namespace ui
