// The filter windows' rules driven directly, without a window: the grab
// offset, the drag ending at the release, and the labels.

#include "CoreFixture.h"

#include "core/FilterEditors.h"

#include <string>

namespace core::test {
namespace {

class FilterEditors : public CoreTest {};

constexpr int kY = 30;

// The pointer grabbed an edge two pixels beside it: the edge moves with the
// pointer, it does not jump under it.
TEST_F(FilterEditors, TheGrabOffsetKeepsTheEdgeWhereThePointerHeldIt)
{
    Receiver& rx = Started();
    rx.SelectMode(Mode::Am);
    rx.SelectIfFilter(IfChoice::User);  // PosIFBW 30: edges at 194 and 236
    IfFilterEditor ifEditor(rx);
    ASSERT_EQ(ifEditor.Layout().right, 236);
    EXPECT_EQ(ifEditor.Move(238, kY).shape, PointerShape::SizeHorizontal);
    ifEditor.Press(238, kY);
    EXPECT_TRUE(ifEditor.Move(239, kY).redraw);
    EXPECT_EQ(S().PosIFBW, 32);
    ifEditor.Release();
    EXPECT_FALSE(ifEditor.Move(300, kY).redraw);  // the drag has ended
    EXPECT_EQ(S().PosIFBW, 32);

    const int left = ifEditor.Layout().left;  // 215 - 16 - 6
    ASSERT_EQ(left, 193);
    ifEditor.Move(left - 2, kY);
    ifEditor.Press(left - 2, kY);
    ifEditor.Move(left - 3, kY);
    EXPECT_EQ(S().PosIFBW, 34);

    AfFilterEditor afEditor(rx);  // "3.0 k": edges at 18 and 132
    ASSERT_EQ(afEditor.Layout().right, 132);
    afEditor.Move(134, kY);
    afEditor.Press(134, kY);
    afEditor.Move(150, kY);
    EXPECT_EQ(S().PosAFFC2, 34);  // (150 - 2 - 9) / 4
    afEditor.Release();
    afEditor.Move(16, kY);
    afEditor.Press(16, kY);
    afEditor.Move(24, kY);
    EXPECT_EQ(S().PosAFFC1, 5);  // (24 + 2 - 6) / 4
}

TEST_F(FilterEditors, LabelsReadInKilohertzToOneDecimal)
{
    Receiver& rx = Started();
    IfFilterEditor ifEditor(rx);
    AfFilterEditor afEditor(rx);
    struct Case {
        int units;
        const char* ifLabel;
        const char* afLabel;
    };
    for (const Case& c :
         {Case{1, "IF BW=0.1 kHz", "0.1 kHz"}, Case{30, "IF BW=3.0 kHz", "3.0 kHz"},
          Case{100, "IF BW=10.0 kHz", "10.0 kHz"}, Case{200, "IF BW=20.0 kHz", "20.0 kHz"}}) {
        S().PosIFBW = c.units;
        rx.SelectIfFilter(IfChoice::User);
        EXPECT_EQ(std::string(ifEditor.Update().label.data()), c.ifLabel);
        S().PosAFFC1 = 0;
        S().PosAFFC2 = c.units;
        S().AFLPF = AfChoice::User;
        EXPECT_EQ(std::string(afEditor.Update().upperLabel.data()), c.afLabel);
    }
}

}  // namespace
}  // namespace core::test
