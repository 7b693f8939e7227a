#pragma once

// The spectrum and waterfall window, "Spectrum Display": the 48 kHz IQ band
// around the radio's centre as a strip of the last three spectra over a
// scrolling waterfall, one new row per block while the window shows. Clicks
// tune inside the band, the arrow buttons move the band by 48 kHz, six
// buttons choose the waterfall's palette. Thin: the rules live in
// core::Receiver and core/model/SpectrumView, the pixels in ui::SpectrumPainter.

#include "core/model/SpectrumView.h"
#include "core/model/WheelNotches.h"
#include "ui/paint/SpectrumPainter.h"
#include "ui/windows/KeypadWindow.h"

#include <QImage>
#include <QWidget>

#include <array>
#include <functional>

class QButtonGroup;
class QFrame;
class QToolButton;

namespace core {
class Receiver;
}

namespace ui {

// One of the window's two views: shows its picture as it is and reports the
// mouse in the picture's own pixels.
class SpectrumImage : public QWidget {
public:
    explicit SpectrumImage(QWidget* parent);
    void SetImage(const QImage* image);

    std::function<void(Qt::MouseButton button, int x)> Pressed;
    std::function<void(int x)> Moved;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    const QImage* image_ = nullptr;
};

class SpectrumWindow : public QWidget {
    Q_OBJECT

public:
    static constexpr int kInitialWidth = 516;  // client area before the stored geometry
    static constexpr int kInitialHeight = 430;
    static constexpr int kMinimumWidth = 400;
    static constexpr int kMinimumHeight = 185;
    static constexpr int kStripPanelTop = 24;
    static constexpr int kWaterfallPanelTop = 84;  // directly under the strip's panel

    // Built at start-up after the main window (the settings are loaded):
    // takes its geometry and palette from the receiver's state.
    explicit SpectrumWindow(core::Receiver& receiver, QWidget* parent = nullptr);

    // One block's redraw from its SpectrumDb: the traces' history, the strip,
    // the waterfall's new row; both pictures are shown at the next paint.
    // The receiver's SpectrumReady calls it while the window shows.
    void Redraw(const double* spectrumDb);

    const core::SpectrumView& View() const { return view_; }
    const QImage& StripImage() const { return painter_.Strip(); }
    const QImage& WaterfallImage() const { return painter_.Waterfall(); }

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    QToolButton* Button(const char* name, const char* caption, int left, int width);
    void BuildLayout();
    void PressPaletteButton();
    void ApplyStoredGeometry();
    // Panels, pictures, SpecScale and the right band button for the client size.
    void FitToClientArea();
    void Pressed(Qt::MouseButton button, int x);
    void Moved(int x);

    core::Receiver& receiver_;
    core::SpectrumView view_;
    SpectrumPainter painter_;

    QToolButton* bandDownButton_ = nullptr;
    QToolButton* bandUpButton_ = nullptr;
    std::array<QToolButton*, 6> paletteButtons_{};  // indexed by ColorNum
    QButtonGroup* paletteGroup_ = nullptr;
    QFrame* stripPanel_ = nullptr;
    SpectrumImage* strip_ = nullptr;
    QFrame* waterfallPanel_ = nullptr;
    SpectrumImage* waterfall_ = nullptr;

    PressedKeys pressed_;
    core::WheelNotches wheel_;
};

}  // namespace ui
