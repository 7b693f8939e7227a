#include "ui/windows/DeviceRestartNotice.h"
#include "ui/windows/KeypadWindow.h"

#include <QDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <vector>

namespace {

struct KeypadRig {
    ui::KeypadWindow form;
    std::vector<int> codes;
    KeypadRig()
    {
        form.KeypadKey = [this](int code) { codes.push_back(code); };
    }
};

QToolButton* Key(const QWidget& window, const char* name)
{
    auto* b = window.findChild<QToolButton*>(name);
    EXPECT_NE(b, nullptr) << name;
    return b;
}

// The keypad's buttons from the top left, row by row.
const char* const kKeys[] = {"digitButton7", "digitButton8", "digitButton9", "backButton",
                             "digitButton4", "digitButton5", "digitButton6", "digitButton1",
                             "digitButton2", "digitButton3", "enterButton",  "pointButton",
                             "digitButton0", "clearButton"};

TEST(Keypad, CaptionAndLayout)
{
    ui::KeypadWindow form;
    EXPECT_EQ(form.windowTitle(), "Input key");
    EXPECT_EQ(form.size(), QSize(157, 156));
    auto* box = form.findChild<QGroupBox*>("keysBox");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->geometry(), QRect(5, 0, 147, 153));
    struct Expect {
        const char* caption;
        QRect geometry;
    };
    const Expect all[] = {
        {"7", {3, 9, 35, 35}},    {"8", {38, 9, 35, 35}},     {"9", {73, 9, 35, 35}},
        {"BS", {108, 9, 35, 70}}, {"4", {3, 44, 35, 35}},     {"5", {38, 44, 35, 35}},
        {"6", {73, 44, 35, 35}},  {"1", {3, 79, 35, 35}},     {"2", {38, 79, 35, 35}},
        {"3", {73, 79, 35, 35}},  {"ENT", {108, 79, 35, 70}}, {".", {3, 114, 35, 35}},
        {"0", {38, 114, 35, 35}}, {"CE", {73, 114, 35, 35}},
    };
    for (std::size_t i = 0; i < std::size(all); ++i) {
        QToolButton* b = Key(form, kKeys[i]);
        ASSERT_NE(b, nullptr);
        const Expect& e = all[i];
        EXPECT_EQ(b->text(), e.caption);
        EXPECT_EQ(b->geometry(), e.geometry) << e.caption;
        EXPECT_EQ(b->parentWidget(), box);
        EXPECT_EQ(b->focusPolicy(), Qt::NoFocus);
    }
}

TEST(Keypad, ButtonsSendTheirCodes)
{
    KeypadRig rig;
    rig.form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&rig.form));
    for (const char* name : kKeys)
        QTest::mouseClick(Key(rig.form, name), Qt::LeftButton);
    EXPECT_EQ(rig.codes,
              (std::vector<int>{55, 56, 57, 8, 52, 53, 54, 49, 50, 51, 13, 190, 48, 27}));
}

TEST(Keypad, ReleasedKeysGoOutAsVirtualKeys)
{
    KeypadRig rig;
    rig.form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&rig.form));
    auto key = [&](Qt::Key k, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyPress(&rig.form, k, mods);
        const std::size_t before = rig.codes.size();
        QTest::keyRelease(&rig.form, k, mods);
        return rig.codes.size() - before;
    };
    for (int k = 0; k <= 9; ++k)
        key(static_cast<Qt::Key>(Qt::Key_0 + k));
    for (int k = 0; k <= 9; ++k)
        key(static_cast<Qt::Key>(Qt::Key_0 + k), Qt::KeypadModifier);
    key(Qt::Key_Period);
    key(Qt::Key_Period, Qt::KeypadModifier);
    key(Qt::Key_Comma, Qt::KeypadModifier);
    key(Qt::Key_Escape);
    key(Qt::Key_Backspace);
    key(Qt::Key_Return);
    key(Qt::Key_Enter, Qt::KeypadModifier);
    // Keys the entry does not know are not passed on.
    EXPECT_EQ(key(Qt::Key_A), 0u);
    EXPECT_EQ(key(Qt::Key_Up), 0u);
    EXPECT_EQ(key(Qt::Key_Comma), 0u);
    std::vector<int> expected;
    for (int k = 48; k <= 57; ++k)
        expected.push_back(k);
    for (int k = 96; k <= 105; ++k)
        expected.push_back(k);
    for (int k : {190, 110, 110, 27, 8, 13, 13})
        expected.push_back(k);
    EXPECT_EQ(rig.codes, expected);
}

TEST(Keypad, KeyPressesAndRepeatedReleasesAreNotEntries)
{
    KeypadRig rig;
    rig.form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&rig.form));
    QTest::keyPress(&rig.form, Qt::Key_5);
    QKeyEvent repeat(QEvent::KeyRelease, Qt::Key_5, Qt::NoModifier, "5", true);
    QApplication::sendEvent(&rig.form, &repeat);
    EXPECT_TRUE(rig.codes.empty());
    QTest::keyRelease(&rig.form, Qt::Key_5);
    EXPECT_EQ(rig.codes, std::vector<int>{53});
    // A release whose press went to another window (an Enter that closed a
    // message box) is no entry.
    QTest::keyRelease(&rig.form, Qt::Key_Return);
    QTest::keyRelease(&rig.form, Qt::Key_5);
    EXPECT_EQ(rig.codes, std::vector<int>{53});
}

TEST(Keypad, WithoutACallbackNothingHappens)
{
    ui::KeypadWindow form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QTest::mouseClick(Key(form, "enterButton"), Qt::LeftButton);
    QTest::keyRelease(&form, Qt::Key_Return);
    SUCCEED();
}

TEST(Keypad, PositionComesFromAndGoesBackToTheSettings)
{
    int InpTop = 77, InpLeft = 123;
    ui::KeypadWindow form;
    form.LoadPosition = [&] { return QPoint(InpLeft, InpTop); };
    form.StorePosition = [&](QPoint p) {
        InpLeft = p.x();
        InpTop = p.y();
    };
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(form.pos(), QPoint(123, 77));
    form.move(200, 150);
    form.close();
    EXPECT_EQ(InpLeft, 200);
    EXPECT_EQ(InpTop, 150);
    // Shown again, it comes back where it was closed.
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(form.pos(), QPoint(200, 150));
    form.close();
}

TEST(VirtualKeys, MappingOfQtKeys)
{
    EXPECT_EQ(ui::VirtualKeyFromQt(Qt::Key_7, Qt::NoModifier), 55);
    EXPECT_EQ(ui::VirtualKeyFromQt(Qt::Key_7, Qt::KeypadModifier), 103);
    EXPECT_EQ(ui::VirtualKeyFromQt(Qt::Key_7, Qt::ShiftModifier), 55);
    EXPECT_EQ(ui::VirtualKeyFromQt(Qt::Key_Period, Qt::NoModifier), 190);
    EXPECT_EQ(ui::VirtualKeyFromQt(Qt::Key_Period, Qt::KeypadModifier), 110);
    EXPECT_EQ(ui::VirtualKeyFromQt(Qt::Key_Escape, Qt::NoModifier), 27);
    EXPECT_EQ(ui::VirtualKeyFromQt(Qt::Key_Backspace, Qt::NoModifier), 8);
    EXPECT_EQ(ui::VirtualKeyFromQt(Qt::Key_Return, Qt::NoModifier), 13);
    EXPECT_EQ(ui::VirtualKeyFromQt(Qt::Key_Enter, Qt::KeypadModifier), 13);
    EXPECT_EQ(ui::VirtualKeyFromQt(Qt::Key_Space, Qt::NoModifier), -1);
    EXPECT_EQ(ui::VirtualKeyFromQt(Qt::Key_Minus, Qt::KeypadModifier), -1);
}

TEST(DeviceRestartNotice, CaptionSizeAndLabel)
{
    ui::DeviceRestartNotice notice;
    EXPECT_EQ(notice.windowTitle(), "Changing Device...");
    EXPECT_TRUE(notice.windowFlags().testFlag(Qt::Tool));
    EXPECT_EQ(notice.size(), QSize(195, 43));
    const QLabel* message = notice.Message();
    EXPECT_EQ(message->text(), "Now Restart Devices...");
    EXPECT_TRUE(message->alignment().testFlag(Qt::AlignHCenter));
    EXPECT_TRUE(message->alignment().testFlag(Qt::AlignVCenter));
    EXPECT_EQ(message->geometry(), QRect(0, 0, 195, 43));
}

TEST(DeviceRestartNotice, CentringHalvesWithIntegerDivision)
{
    // 151 / 2 = 75, 43 / 2 = 21; 301 / 2 = 150, 195 / 2 = 97.
    EXPECT_EQ(ui::CentredTopLeft(QRect(100, 200, 301, 151), QSize(195, 43)), QPoint(153, 254));
    EXPECT_EQ(ui::CentredTopLeft(QRect(-301, -151, 301, 151), QSize(195, 43)), QPoint(-248, -97));
    EXPECT_EQ(ui::CentredTopLeft(QRect(0, 0, 100, 30), QSize(195, 43)), QPoint(-47, -6));
}

TEST(DeviceRestartNotice, CentresOverTheSettingsWindowWhenShown)
{
    QDialog settings;  // stands in for the settings dialog, which needs a receiver
    settings.setGeometry(100, 200, 301, 151);
    settings.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&settings));
    const QRect outer = settings.frameGeometry();

    ui::DeviceRestartNotice notice(&settings);
    notice.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&notice));
    const QRect own = notice.frameGeometry();
    EXPECT_EQ(own.top(), outer.top() + outer.height() / 2 - own.height() / 2);
    EXPECT_EQ(own.left(), outer.left() + outer.width() / 2 - own.width() / 2);
    notice.close();

    // Called directly, after the settings window has moved.
    settings.move(20, 30);
    notice.CentreOver(&settings);
    EXPECT_EQ(notice.pos(),
              ui::CentredTopLeft(settings.frameGeometry(), notice.frameGeometry().size()));
    notice.CentreOver(nullptr);  // no window: stays
    settings.close();
}

}  // namespace
