#pragma once

// The rules behind the IF and AF filter windows, without a widget: where the
// pass band is drawn, which edge the pointer is over, and the user width or
// band edges a pointer position gives while an edge is dragged. The windows
// forward their mouse events here and paint what the layout says.
//
// Both pictures are 430 x 60 pixels. The IF picture is centred on the
// carrier line at W div 2, one pixel per 100 Hz of distance from it (so a
// symmetric band moves both edges); the AF picture starts at 0 Hz, four
// pixels per 100 Hz. Edges are grabbed within 2 pixels of a bottom corner,
// and only between y = 10 and y = H - 15, the band's own rows.

#include <array>
#include <cstdint>

namespace core {

class Receiver;

enum class PointerShape { Arrow, SizeHorizontal };

// What the pointer does to the picture.
struct PointerAnswer {
    PointerShape shape = PointerShape::Arrow;
    bool redraw = false;  // the band changed (and the filter was redesigned)
};

// "%0.1f kHz"-style labels: room for any value the pictures can show.
using FilterLabel = std::array<char, 24>;

struct IfBandLayout {
    int divisor = 1;  // 1 for LSB and USB, 2 otherwise: pixels per unit per side
    int band = 0;     // the IF width as drawn, 100 Hz units
    int left = 0;     // x of the band's bottom corners
    int right = 0;
    FilterLabel label{};  // "IF BW=3.0 kHz"
};

struct AfBandLayout {
    int lower = 0;  // the edges as drawn, 100 Hz units
    int upper = 0;
    int left = 0;  // x of the band's bottom corners
    int right = 0;
    int lowerLabelX = 0;  // where the edge labels start
    int upperLabelX = 0;
    FilterLabel lowerLabel{};  // "0.3 kHz"
    FilterLabel upperLabel{};  // "3.0 kHz"
};

inline constexpr int kFilterPictureWidth = 430;
inline constexpr int kFilterPictureHeight = 60;

// Edge values the drag keeps to, in 100 Hz units.
inline constexpr int kIfWidthMin = 1, kIfWidthMax = 200;
inline constexpr int kAfEdgeMin = 1, kAfEdgeMax = 100;

// Shared by both editors: the pointer over a bottom corner, and the drag.
class FilterEditorBase {
public:
    bool Dragging() const { return dragging_; }
    bool EdgeUnderPointer() const { return edgeUnderPointer_; }
    // Any button released: the drag ends.
    void Release() { dragging_ = false; }

protected:
    FilterEditorBase(Receiver& receiver, int width, int height);
    // The rows in which an edge can be grabbed.
    bool InBandRows(int y) const { return y >= 10 && y <= height_ - 15; }
    static bool Near(int x, int edge) { return x >= edge - 2 && x <= edge + 2; }
    // A press starts a drag only over a grabbable edge; the right edge wins
    // when both are near.
    void StartDrag(int x, int left, int right);

    Receiver& receiver_;
    int width_;
    int height_;
    bool edgeUnderPointer_ = false;
    bool dragging_ = false;
    bool rightEdge_ = false;  // which edge the drag moves
    int grabOffset_ = 0;      // pointer x minus the edge's x at the press
};

// The IF filter window's editor: PosIFBW by dragging; "User" is selected and
// the IF filter redesigned on every step that changes it.
class IfFilterEditor : public FilterEditorBase {
public:
    explicit IfFilterEditor(Receiver& receiver, int width = kFilterPictureWidth,
                            int height = kFilterPictureHeight);

    // The redraw's arithmetic from RxMode, IFBW and PosIFBW; the edges are
    // kept for the pointer tests until the next redraw.
    const IfBandLayout& Update();
    const IfBandLayout& Layout() const { return layout_; }

    // The pointer moved to (x, y): the cursor to show and, while dragging,
    // whether the band changed.
    PointerAnswer Move(int x, int y);
    void Press(int x, int y);

private:
    // The edge on the carrier line of LSB (right) and USB (left) stays put.
    bool LeftFixed() const;
    bool RightFixed() const;

    IfBandLayout layout_;
};

// The AF filter window's editor: PosAFFC1 and PosAFFC2 by dragging, never
// meeting; "User" is selected and the AF filter redesigned on every step that
// changes one of them.
class AfFilterEditor : public FilterEditorBase {
public:
    explicit AfFilterEditor(Receiver& receiver, int width = kFilterPictureWidth,
                            int height = kFilterPictureHeight);

    const AfBandLayout& Update();
    const AfBandLayout& Layout() const { return layout_; }

    PointerAnswer Move(int x, int y);
    void Press(int x, int y);

private:
    AfBandLayout layout_;
};

}  // namespace core
