#pragma once

// "AF filter": the audio pass band as a trapezoid on a 0 to 10 kHz scale;
// both edges are dragged to set the user band (PosAFFC1, PosAFFC2), which
// selects "User" and redesigns the AF filter at every step.

#include "core/FilterEditors.h"
#include "ui/windows/FilterWindow.h"

namespace ui {

class AfFilterWindow : public FilterWindow {
    Q_OBJECT
public:
    explicit AfFilterWindow(core::Receiver& receiver, QWidget* parent = nullptr);

    void PaintPicture() override;
    const core::AfFilterEditor& Editor() const { return editor_; }

protected:
    core::PointerAnswer PointerMoved(int x, int y) override { return editor_.Move(x, y); }
    void PointerPressed(int x, int y) override { editor_.Press(x, y); }
    void PointerReleased() override { editor_.Release(); }

private:
    core::AfFilterEditor editor_;
};

}  // namespace ui
