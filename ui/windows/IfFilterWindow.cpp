#include "ui/windows/IfFilterWindow.h"

namespace ui {

namespace {
constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kGrid{0, 128, 0};
constexpr Rgb kPen{0, 255, 0};
constexpr Rgb kBrush{0, 128, 0};
}  // namespace

IfFilterWindow::IfFilterWindow(core::Receiver& receiver, QWidget* parent)
    : FilterWindow(receiver, "ifFilterWindow", "IF filter", core::Window::IfFilter, parent)
    , editor_(receiver)
{
    Redraw();
}

void IfFilterWindow::PaintPicture()
{
    FilterPainter& p = painter_;
    const int W = p.Width();
    const int H = p.Height();
    const int centre = W / 2;
    p.Clear(kBlack);
    // Every 2.5 kHz of distance from the carrier, at one pixel per 100 Hz.
    for (int i = 1; i <= 9; ++i) {
        p.VerticalLine(centre - (25 * i + 3), 5, H - 15, kGrid);
        p.VerticalLine(centre + (25 * i + 3), 5, H - 15, kGrid);
    }
    for (int y = 5; y <= 45; y += 10)
        p.HorizontalLine(12, W - 12, y, kGrid);

    const core::IfBandLayout& band = editor_.Update();
    p.Band(band.left, band.right, 10, H - 15, kPen, kBrush);
    p.VerticalLine(centre, 5, H - 15, kPen);
    p.HorizontalLine(5, W - 5, H - 15, kPen);
    p.Text(centre - 32, H - 14, band.label.data(), kPen);
}

}  // namespace ui
