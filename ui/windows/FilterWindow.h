#pragma once

// What the IF and AF filter windows share: a small always-on-top tool
// window whose client area is a lowered panel holding the 430 x 60 picture,
// placed at its stored top and left when shown and storing them when closed.
// Mouse events over the picture go to the window's editor (core/FilterEditors);
// the window paints what the editor's layout says.

#include "core/FilterEditors.h"
#include "core/Receiver.h"
#include "ui/paint/FilterPainter.h"

#include <QWidget>

#include <cstdint>

class QFrame;

namespace ui {

class FilterPictureBox;

class FilterWindow : public QWidget {
    Q_OBJECT

public:
    static constexpr int kClientWidth = 432;
    static constexpr int kClientHeight = 62;

    // Paints the picture from the receiver's state and shows it.
    void Redraw();
    // The painting alone, into the window's 24-bit picture; allocates nothing.
    virtual void PaintPicture() = 0;
    const QImage& Picture() const { return painter_.Image(); }
    // The picture control, which takes the mouse.
    QWidget* PictureBox() const;

protected:
    // `window` names the place the settings file keeps for it.
    FilterWindow(core::Receiver& receiver, const char* objectName, const char* title,
                 core::Window window, QWidget* parent);

    // The picture's mouse events, in its pixels.
    virtual core::PointerAnswer PointerMoved(int x, int y) = 0;
    virtual void PointerPressed(int x, int y) = 0;
    virtual void PointerReleased() = 0;

    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

    core::Receiver& receiver_;
    FilterPainter painter_;

private:
    friend class FilterPictureBox;
    void Moved(int x, int y);

    core::Window window_;
    QFrame* panel_ = nullptr;
    FilterPictureBox* picture_ = nullptr;
};

}  // namespace ui
