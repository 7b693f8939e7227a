#pragma once

// "IF filter": the IF pass band as a trapezoid around the carrier line; its
// free edges are dragged to set the user IF width (PosIFBW), which selects
// "User" and redesigns the IF filter at every step.

#include "core/FilterEditors.h"
#include "ui/windows/FilterWindow.h"

namespace ui {

class IfFilterWindow : public FilterWindow {
    Q_OBJECT
public:
    explicit IfFilterWindow(core::Receiver& receiver, QWidget* parent = nullptr);

    void PaintPicture() override;
    const core::IfFilterEditor& Editor() const { return editor_; }

protected:
    core::PointerAnswer PointerMoved(int x, int y) override { return editor_.Move(x, y); }
    void PointerPressed(int x, int y) override { editor_.Press(x, y); }
    void PointerReleased() override { editor_.Release(); }

private:
    core::IfFilterEditor editor_;
};

}  // namespace ui
