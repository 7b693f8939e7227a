#include "ui/windows/AfFilterWindow.h"

namespace ui {

namespace {
constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kGrid{0, 128, 128};
constexpr Rgb kPen{0, 255, 255};
constexpr Rgb kBrush{0, 128, 128};
}  // namespace

AfFilterWindow::AfFilterWindow(core::Receiver& receiver, QWidget* parent)
    : FilterWindow(receiver, "afFilterWindow", "AF filter", core::Window::AfFilter, parent)
    , editor_(receiver)
{
    Redraw();
}

void AfFilterWindow::PaintPicture()
{
    FilterPainter& p = painter_;
    const int W = p.Width();
    const int H = p.Height();
    p.Clear(kBlack);
    // The 1 kHz to 10 kHz marks: 40 pixels per kHz from x = 9.
    for (int i = 1; i <= 10; ++i)
        p.VerticalLine(40 * i + 9, 5, H - 15, kGrid);
    for (int y = 5; y <= 45; y += 10)
        p.HorizontalLine(5, W - 21, y, kGrid);

    const core::AfBandLayout& band = editor_.Update();
    p.Band(band.left, band.right, 10, H - 15, kPen, kBrush);
    p.VerticalLine(5, 5, H - 15, kPen);
    p.HorizontalLine(5, W - 5, H - 15, kPen);
    p.Text(band.lowerLabelX, H - 14, band.lowerLabel.data(), kPen);
    p.Text(band.upperLabelX, H - 14, band.upperLabel.data(), kPen);
}

}  // namespace ui
