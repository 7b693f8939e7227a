#include "core/FilterEditors.h"

#include "core/Receiver.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace core {
namespace {

// "<prefix>3.0 kHz" for 30 units of 100 Hz. Whole-number arithmetic, so the
// point stays a "." whatever the process locale says.
void FormatKhz(FilterLabel& out, const char* prefix, int units)
{
    const int magnitude = std::abs(units);
    std::snprintf(out.data(), out.size(), "%s%s%d.%d kHz", prefix, units < 0 ? "-" : "",
                  magnitude / 10, magnitude % 10);
}

}  // namespace

FilterEditorBase::FilterEditorBase(Receiver& receiver, int width, int height)
    : receiver_(receiver)
    , width_(width)
    , height_(height)
{}

void FilterEditorBase::StartDrag(int x, int left, int right)
{
    if (!edgeUnderPointer_)
        return;
    dragging_ = true;
    if (Near(x, left)) {
        grabOffset_ = x - left;
        rightEdge_ = false;
    }
    if (Near(x, right)) {
        grabOffset_ = x - right;
        rightEdge_ = true;
    }
}

// ------------------------------------------------------------------- IF

IfFilterEditor::IfFilterEditor(Receiver& receiver, int width, int height)
    : FilterEditorBase(receiver, width, height)
{
    Update();
}

bool IfFilterEditor::LeftFixed() const { return receiver_.State().RxMode == Mode::Usb; }

bool IfFilterEditor::RightFixed() const { return receiver_.State().RxMode == Mode::Lsb; }

const IfBandLayout& IfFilterEditor::Update()
{
    const ReceiverState& s = receiver_.State();
    IfBandLayout& l = layout_;
    l.divisor = dsp::IsSideband(s.RxMode) ? 1 : 2;
    // An unknown choice leaves the band as it was.
    if (s.IFBW == IfChoice::User)
        l.band = s.PosIFBW;
    else if (IsKnown(s.IFBW))
        l.band = FixedIfWidth(s.IFBW) / 100;
    const int centre = width_ / 2;
    l.left = centre - l.band / l.divisor - 6;
    l.right = centre + l.band / l.divisor + 6;
    if (s.RxMode == Mode::Lsb)
        l.right = centre;
    else if (s.RxMode == Mode::Usb)
        l.left = centre;
    FormatKhz(l.label, "IF BW=", l.band);
    return l;
}

PointerAnswer IfFilterEditor::Move(int x, int y)
{
    if (!dragging_) {
        edgeUnderPointer_ = false;
        if (!InBandRows(y))
            return {};
        if (Near(x, layout_.left))
            edgeUnderPointer_ = !LeftFixed();
        else if (Near(x, layout_.right))
            edgeUnderPointer_ = !RightFixed();
        return {edgeUnderPointer_ ? PointerShape::SizeHorizontal : PointerShape::Arrow, false};
    }

    const int centre = width_ / 2;
    const int d = layout_.divisor;
    int v = rightEdge_ ? d * (x - grabOffset_ - centre - 6) : d * (centre + grabOffset_ - x - 6);
    v = std::clamp(v, kIfWidthMin, kIfWidthMax);
    if (v == receiver_.State().PosIFBW)
        return {PointerShape::SizeHorizontal, false};
    receiver_.DragUserIfWidth(v);
    Update();
    return {PointerShape::SizeHorizontal, true};
}

void IfFilterEditor::Press(int x, int /*y*/) { StartDrag(x, layout_.left, layout_.right); }

// ------------------------------------------------------------------- AF

AfFilterEditor::AfFilterEditor(Receiver& receiver, int width, int height)
    : FilterEditorBase(receiver, width, height)
{
    Update();
}

const AfBandLayout& AfFilterEditor::Update()
{
    const ReceiverState& s = receiver_.State();
    AfBandLayout& l = layout_;
    switch (s.AFLPF) {
    case AfChoice::Khz3:
        l.lower = 3;
        l.upper = 30;
        break;
    case AfChoice::Khz6:
        l.lower = 3;
        l.upper = 60;
        break;
    case AfChoice::User:
        l.lower = s.PosAFFC1;
        l.upper = s.PosAFFC2;
        break;
    default: break;  // an unknown choice leaves the edges as they were
    }
    // The top corners sit on the axis (x = 9 + 4 n); the bottom ones 3
    // pixels outside.
    l.left = 4 * l.lower + 6;
    l.right = 4 * l.upper + 12;
    // The upper label keeps 40 pixels from the lower one and stays inside.
    int p = std::max(l.right, l.left + 40);
    p = std::min(p, width_ - 40);
    l.lowerLabelX = l.left - 10;
    l.upperLabelX = p - 10;
    FormatKhz(l.lowerLabel, "", l.lower);
    FormatKhz(l.upperLabel, "", l.upper);
    return l;
}

PointerAnswer AfFilterEditor::Move(int x, int y)
{
    if (!dragging_) {
        edgeUnderPointer_ = InBandRows(y) && (Near(x, layout_.left) || Near(x, layout_.right));
        return {edgeUnderPointer_ ? PointerShape::SizeHorizontal : PointerShape::Arrow, false};
    }

    // The upper edge's drawing adds 12 where this takes 9: its top corner,
    // three pixels inside, is the one on the axis. Division truncates toward
    // zero, as the pictures always have.
    int v = rightEdge_ ? (x - grabOffset_ - 9) / 4 : (x - grabOffset_ - 6) / 4;
    v = std::clamp(v, kAfEdgeMin, kAfEdgeMax);
    const ReceiverState& s = receiver_.State();
    if (v == (rightEdge_ ? s.PosAFFC2 : s.PosAFFC1))
        return {PointerShape::SizeHorizontal, false};
    if (rightEdge_)
        receiver_.DragUserAfBand(s.PosAFFC1, std::max(v, s.PosAFFC1 + 1));
    else
        receiver_.DragUserAfBand(std::min(v, s.PosAFFC2 - 1), s.PosAFFC2);
    Update();
    return {PointerShape::SizeHorizontal, true};
}

void AfFilterEditor::Press(int x, int /*y*/) { StartDrag(x, layout_.left, layout_.right); }

}  // namespace core
