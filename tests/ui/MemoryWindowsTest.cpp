// The memory list and its edit dialog as the operator meets them: the rows,
// "Add", "Edit", "Delete" with their boxes, the dialog's refusals, the recall
// on selection reaching the main display, and the window's geometry.

#include "core/ScanSession.h"
#include "tests/ui/WindowFixture.h"
#include "ui/ImageBox.h"
#include "ui/paint/FrequencyDisplay.h"
#include "ui/windows/MemoryEditDialog.h"
#include "ui/windows/MemoryListWindow.h"
#include "ui/windows/Placement.h"
#include "ui/windows/ScanWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QWindow>

#include <memory>
#include <string>
#include <vector>

namespace {

class MemoryWindowsTest : public ui::test::WindowFixture {
protected:
    void CreateWindows(ui::SecondaryWindows& windows) override
    {
        list_ = std::make_unique<ui::MemoryListWindow>(form_->Receiver());
        dialog_ = std::make_unique<ui::MemoryEditDialog>(form_->Receiver());
        list_->SetEditDialog(dialog_.get());
        scan_ = std::make_unique<ui::ScanWindow>(form_->Receiver());
        list_->SetScanWindow(scan_.get());
        windows.memoryList = list_.get();
    }
    void DestroyWindows() override
    {
        scan_.reset();
        dialog_.reset();
        list_.reset();
    }

    void ShowList()
    {
        list_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(list_.get()));
    }

    QTableWidget* Table() { return list_->findChild<QTableWidget*>("channelTable"); }
    QToolButton* ListButton(const char* name) { return list_->findChild<QToolButton*>(name); }
    void ClickList(const char* name) { QTest::mouseClick(ListButton(name), Qt::LeftButton); }
    QLineEdit* Edit(const char* name) { return dialog_->findChild<QLineEdit*>(name); }
    QComboBox* ModeBox() { return dialog_->findChild<QComboBox*>("modeBox"); }
    void ClickDialog(const char* name)
    {
        QTest::mouseClick(dialog_->findChild<QToolButton*>(name), Qt::LeftButton);
    }
    // Types `text` into a field of the dialog in place of what it holds.
    void Type(const char* field, const QString& text)
    {
        QLineEdit* e = Edit(field);
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Delete);
        // As an input method hands text over (QTest types ASCII only).
        e->insert(text);
    }
    void ClickRow(int row)
    {
        QTableWidget* t = Table();
        const QRect cell = t->visualRect(t->model()->index(row, 1));
        QTest::mouseClick(t->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    }
    std::vector<std::vector<QString>> Rows()
    {
        std::vector<std::vector<QString>> rows;
        for (int r = 0; r < Table()->rowCount(); ++r) {
            std::vector<QString> cells;
            for (int c = 0; c < 3; ++c)
                cells.push_back(Table()->item(r, c)->text());
            rows.push_back(cells);
        }
        return rows;
    }

    std::unique_ptr<ui::MemoryListWindow> list_;
    std::unique_ptr<ui::ScanWindow> scan_;
    std::unique_ptr<ui::MemoryEditDialog> dialog_;
};

const std::string kList = "7.100005,Net,3\n"
                          "14.200000,DX,4\n"
                          "3.600000,Odd,9\n"
                          "0.500000,Caf\xe9,1\n"
                          "-0.500000,Neg,-1\n";

TEST_F(MemoryWindowsTest, LayoutAndTheRowsOfTheFile)
{
    Make("[Form]\nListTop=30\nListLeft=40\nListWidth=520\nListHeight=260\n", kList);
    ShowList();
    EXPECT_EQ(list_->windowTitle(), "Memory list");
    EXPECT_EQ(list_->pos(), QPoint(40, 30));
    EXPECT_EQ(list_->size(), QSize(520, 260));
    EXPECT_EQ(ListButton("addButton")->geometry(), QRect(5, 2, 40, 20));
    EXPECT_EQ(ListButton("editButton")->geometry(), QRect(52, 2, 40, 20));
    EXPECT_EQ(ListButton("deleteButton")->geometry(), QRect(98, 2, 40, 20));
    EXPECT_EQ(ListButton("deleteButton")->text(), "Delete");
    QTableWidget* t = Table();
    EXPECT_EQ(t->geometry(), QRect(1, 24, 519, 211));
    EXPECT_EQ(ListButton("scanButton")->geometry(), QRect(5, 238, 40, 20));
    EXPECT_TRUE(t->showGrid());
    EXPECT_EQ(t->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(t->editTriggers(), QAbstractItemView::NoEditTriggers);
    const char* headers[] = {"Frequency", "Name", "Mode"};
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(t->horizontalHeaderItem(c)->text(), headers[c]);
    // At least 80 pixels, and no caption is cut in the desktop's font.
    EXPECT_GE(t->columnWidth(0), 80);
    EXPECT_GT(t->columnWidth(0), t->fontMetrics().horizontalAdvance("1299.999.950"));
    EXPECT_EQ(t->columnWidth(1), 250);
    EXPECT_EQ(t->columnWidth(2), 40);
    // A mode code outside 0..4 shows no mode; a name that is not UTF-8 shows
    // as Latin-1; a negative frequency keeps its sign.
    const std::vector<std::vector<QString>> expected = {
        {"   7.100.005", "Net", "LSB"}, {"  14.200.000", "DX", "USB"},
        {"   3.600.000", "Odd", ""},    {"   0.500.000", QString::fromUtf8("Caf\xc3\xa9"), "FM"},
        {"  -0.500.000", "Neg", ""},
    };
    EXPECT_EQ(Rows(), expected);
    list_->resize(600, 300);
    EXPECT_EQ(t->geometry(), QRect(1, 24, 599, 251));
    EXPECT_EQ(ListButton("scanButton")->geometry(), QRect(5, 278, 40, 20));
}

TEST_F(MemoryWindowsTest, AddAtSevenPointOneLsb)
{
    // DX-R8 at 7.1 MHz (centre 7.112 MHz, offset -12 kHz), LSB.
    Make("[Wave]\nFreqCenter=7112000\nFreqTune=-12000\nRxMode=3\n");
    ShowList();
    ClickList("addButton");
    ASSERT_TRUE(dialog_->isVisible());
    EXPECT_EQ(dialog_->windowTitle(), "Memory add");
    EXPECT_EQ(dialog_->windowModality(), Qt::ApplicationModal);
    EXPECT_EQ(dialog_->size(), QSize(349, 85));
    EXPECT_EQ(dialog_->pos(), QPoint(list_->x() + list_->width() / 2 - 349 / 2,
                                     list_->y() + list_->height() / 2 - 85 / 2));
    EXPECT_EQ(Edit("frequencyEdit")->text(), "7.1");
    EXPECT_EQ(Edit("nameEdit")->text(), "");
    EXPECT_EQ(ModeBox()->currentText(), "LSB");
    ClickDialog("okButton");
    EXPECT_FALSE(dialog_->isVisible());
    EXPECT_EQ(Rows(), (std::vector<std::vector<QString>>{{"   7.100.000", "", "LSB"}}));
    EXPECT_EQ(ReadFile("MemoryList.txt"), "7.100000,,3\n");

    // Halves of a hertz go up; a name typed is stored as UTF-8.
    ClickList("addButton");
    Type("frequencyEdit", "7.1000049");
    Type("nameEdit", QString::fromUtf8("Gr\xc3\xb6\xc3\x9f"
                                       "e"));
    ModeBox()->setCurrentIndex(2);
    ClickDialog("okButton");
    EXPECT_EQ(Rows().back(), (std::vector<QString>{"   7.100.005",
                                                   QString::fromUtf8("Gr\xc3\xb6\xc3\x9f"
                                                                     "e"),
                                                   "CW"}));
    EXPECT_EQ(ReadFile("MemoryList.txt"), "7.100000,,3\n7.100005,Gr\xc3\xb6\xc3\x9f"
                                          "e,2\n");
}

TEST_F(MemoryWindowsTest, TheDialogRefusesWhatTheFileCouldNotKeepAndStaysOpen)
{
    Make("", kList);
    ShowList();
    ClickList("addButton");
    struct Case {
        const char* frequency;
        const char* name;
        const char* said;
    };
    for (const Case& c : {Case{"7.1", "Net, east", "comma"}, Case{"7,1", "Net", "not a frequency"},
                          Case{"-7.1", "Net", "not a frequency"}}) {
        SCOPED_TRACE(c.frequency);
        Type("frequencyEdit", c.frequency);
        Type("nameEdit", c.name);
        ClickDialog("okButton");
        const std::vector<std::string> said = CloseMessageBoxes();
        ASSERT_EQ(said.size(), 1u);
        EXPECT_NE(said[0].find(c.said), std::string::npos) << said[0];
        EXPECT_TRUE(dialog_->isVisible());
        EXPECT_EQ(Table()->rowCount(), 5);
    }
    EXPECT_EQ(ReadFile("MemoryList.txt"), kList);
    ClickDialog("canselButton");
    EXPECT_FALSE(dialog_->isVisible());
    EXPECT_EQ(Table()->rowCount(), 5);
}

TEST_F(MemoryWindowsTest, EditOfRowThreeChangesOnlyRowThreeAndCanselNothing)
{
    Make("", kList);
    ShowList();
    const auto before = Rows();
    ClickRow(3);
    ClickList("editButton");
    ASSERT_TRUE(dialog_->isVisible());
    EXPECT_EQ(dialog_->windowTitle(), "Memory edit");
    EXPECT_EQ(Edit("frequencyEdit")->text(), "0.5");
    EXPECT_EQ(Edit("nameEdit")->text(), QString::fromUtf8("Caf\xc3\xa9"));
    EXPECT_EQ(ModeBox()->currentText(), "FM");
    Type("nameEdit", "Cafe");
    ClickDialog("okButton");
    auto after = before;
    after[3][1] = "Cafe";
    EXPECT_EQ(Rows(), after);
    EXPECT_EQ(ReadFile("MemoryList.txt"), "7.100005,Net,3\n14.200000,DX,4\n3.600000,Odd,9\n"
                                          "0.500000,Cafe,1\n-0.500000,Neg,-1\n");

    ClickList("editButton");
    Type("nameEdit", "Other");
    ClickDialog("canselButton");
    EXPECT_EQ(Rows(), after);
    // Escape closes it without a change too.
    ClickList("editButton");
    Type("nameEdit", "Other");
    QTest::keyClick(dialog_.get(), Qt::Key_Escape);
    EXPECT_FALSE(dialog_->isVisible());
    EXPECT_EQ(Rows(), after);
}

TEST_F(MemoryWindowsTest, EditAndDeleteNeedASelectedLineAndDeleteAsksFirst)
{
    Make("", kList);
    ShowList();
    ClickList("editButton");
    EXPECT_EQ(CloseMessageBoxes(), (std::vector<std::string>{"Edit line is not selected"}));
    EXPECT_FALSE(dialog_->isVisible());
    ClickList("deleteButton");
    EXPECT_EQ(CloseMessageBoxes(), (std::vector<std::string>{"Delete line is not selected"}));

    ClickRow(1);
    const int32_t center = S().FreqCenter;
    ClickList("deleteButton");
    EXPECT_EQ(CloseMessageBoxes(QMessageBox::No), (std::vector<std::string>{"Delete OK?"}));
    EXPECT_EQ(Table()->rowCount(), 5);
    ClickList("deleteButton");
    EXPECT_EQ(CloseMessageBoxes(QMessageBox::Yes), (std::vector<std::string>{"Delete OK?"}));
    EXPECT_EQ(Table()->rowCount(), 4);
    EXPECT_EQ(Rows()[1][1], "Odd");
    EXPECT_EQ(ReadFile("MemoryList.txt"),
              "7.100005,Net,3\n3.600000,Odd,9\n0.500000,Caf\xe9,1\n-0.500000,Neg,-1\n");
    // Deleting the selected line recalls no other.
    EXPECT_EQ(S().FreqCenter, center);
    EXPECT_TRUE(Table()->selectionModel()->selectedRows().isEmpty());
    ClickList("editButton");
    EXPECT_EQ(CloseMessageBoxes(), (std::vector<std::string>{"Edit line is not selected"}));
}

TEST_F(MemoryWindowsTest, SelectingARowShowsItsNameAndMemoryOnTheDisplay)
{
    Make("", kList);
    ShowList();
    ClickRow(0);
    EXPECT_EQ(int64_t(S().FreqCenter) + S().FreqTune, 7100005);
    EXPECT_TRUE(Button("modeButtonLsb")->isChecked());
    EXPECT_TRUE(Button("ifButton3")->isChecked());

    // The display shows what a display of the name and "Memory" shows.
    auto expected = [this](bool memory, const char* name) {
        ui::FrequencyDisplay reference;
        ui::DisplayInputs in;
        in.FreqCenter = S().FreqCenter;
        in.FreqTune = S().FreqTune;
        in.TuneStep = S().TuneStep;
        in.MemoryMode = memory;
        in.MemName = name;
        reference.PaintDisplay(in);
        return reference.Image().copy();
    };
    const QImage& shown = form_->findChild<ui::ImageBox*>("frequencyDisplay")->Shown();
    EXPECT_EQ(shown, expected(true, "Net"));
    EXPECT_NE(shown, expected(false, "Net"));

    // The keyboard selects the next row and recalls it.
    list_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(list_.get()));
    Table()->setFocus();
    QTest::keyClick(list_->windowHandle(), Qt::Key_Down);
    EXPECT_EQ(S().MemName, "DX");
    EXPECT_EQ(shown, expected(true, "DX"));

    // A name that is not UTF-8 shows as Latin-1 there too, as in the list.
    ClickRow(3);
    EXPECT_EQ(S().MemName, "Caf\xe9");
    EXPECT_EQ(shown, expected(true, "Caf\xc3\xa9"));

    // An edit of that channel shows its new name at once, not at the next recall.
    ClickList("editButton");
    Type("nameEdit", "Bistro");
    ClickDialog("okButton");
    EXPECT_EQ(S().MemName, "Bistro");
    EXPECT_EQ(shown, expected(true, "Bistro"));
}

TEST_F(MemoryWindowsTest, GeometryAndTheMaximisedStateSurviveARestart)
{
    Make("[Form]\nListTop=30\nListLeft=40\nListWidth=520\nListHeight=260\nListShow=1\n");
    EXPECT_TRUE(list_->isVisible());
    list_->move(50, 60);
    list_->resize(610, 320);
    form_->close();
    std::string ini = ReadFile("tesmar.ini");
    for (const char* line : {"ListTop=60", "ListLeft=50", "ListWidth=610", "ListHeight=320",
                             "ListMaxmum=0", "ListShow=1"})
        EXPECT_NE(ini.find(line), std::string::npos) << line;
    DestroyWindows();
    form_.reset();

    // Maximised: the geometry to restore to is saved with the flag.
    Make("[Form]\nListTop=30\nListLeft=40\nListWidth=520\nListHeight=260\nListShow=1\n"
         "ListMaxmum=1\n");
    EXPECT_TRUE(list_->isMaximized());
    form_->close();
    ini = ReadFile("tesmar.ini");
    for (const char* line :
         {"ListTop=30", "ListLeft=40", "ListWidth=520", "ListHeight=260", "ListMaxmum=1"})
        EXPECT_NE(ini.find(line), std::string::npos) << line;
}

// Catches: channels the scan passes over not marked in the list, no way to
// give one back to the scan from the window, an unlock that does not reach
// the file or leaves the row marked.
TEST_F(MemoryWindowsTest, LockedOutChannelsAreMarkedAndUnlockedFromTheList)
{
    WriteFile("MemoryLockout.txt", "14200000,4,DX\n");
    Make("", kList);
    ShowList();
    auto marked = [this](int row) {
        const QTableWidgetItem* name = Table()->item(row, 1);
        return name->font().strikeOut() && name->toolTip() == "Locked out of the scan";
    };
    EXPECT_FALSE(marked(0));
    EXPECT_TRUE(marked(1));
    QToolButton* unlock = ListButton("unlockButton");
    ASSERT_NE(unlock, nullptr);
    EXPECT_FALSE(unlock->isEnabled());  // nothing selected
    ClickRow(0);
    EXPECT_FALSE(unlock->isEnabled());  // not locked out
    ClickRow(1);
    ASSERT_TRUE(unlock->isEnabled());
    ClickList("unlockButton");
    EXPECT_EQ(ReadFile("MemoryLockout.txt"), "");
    EXPECT_FALSE(marked(1));
    EXPECT_FALSE(unlock->isEnabled());
    EXPECT_TRUE(CloseMessageBoxes().empty());
}

// Catches: the scan window's place and choices lost at a restart, and a
// [Scan] section written for an operator who never set the window.
TEST_F(MemoryWindowsTest, TheScanWindowKeepsItsPlaceAndChoicesAcrossARestart)
{
    Make("", kList);
    form_->close();
    EXPECT_EQ(ReadFile("tesmar.ini").find("[Scan]"), std::string::npos);
    DestroyWindows();
    form_.reset();

    Make();
    scan_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(scan_.get()));
    scan_->move(70, 80);
    scan_->findChild<QSpinBox*>("scanThreshold")->setValue(23);
    scan_->findChild<QDoubleSpinBox*>("scanHang")->setValue(4.5);
    scan_->findChild<QCheckBox*>("scanRecord")->setChecked(true);
    scan_->findChild<QCheckBox*>("scanFmSquelch")->setChecked(true);
    scan_->close();
    form_->close();
    const std::string ini = ReadFile("tesmar.ini");
    for (const char* line : {"[Scan]", "ScanTop=80", "ScanLeft=70", "RecordHits=1", "Threshold=23",
                             "HangMs=4500", "FmSquelch=1"})
        EXPECT_NE(ini.find(line), std::string::npos) << line << "\n" << ini;
    DestroyWindows();
    form_.reset();

    Make();
    EXPECT_EQ(scan_->findChild<QSpinBox*>("scanThreshold")->value(), 23);
    EXPECT_EQ(scan_->findChild<QDoubleSpinBox*>("scanHang")->value(), 4.5);
    EXPECT_TRUE(scan_->findChild<QCheckBox*>("scanRecord")->isChecked());
    EXPECT_TRUE(scan_->findChild<QCheckBox*>("scanFmSquelch")->isChecked());
    scan_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(scan_.get()));
    EXPECT_EQ(ui::FramePosition(*scan_), QPoint(70, 80));
    // The next scan takes them.
    const core::ScanOptions options = Rx().Scan().OptionsFor(core::ScanKind::Memory);
    EXPECT_EQ(options.thresholdDb, 23.0);
    EXPECT_EQ(options.hangSeconds, 4.5);
    EXPECT_TRUE(options.recordHits);
}

}  // namespace

// Catches: a Scan button that opens nothing, a window whose fields do not
// reach the scan (a band search started as a memory scan, a step in the
// wrong unit), buttons that do not follow the scan, a refusal not shown.
TEST_F(MemoryWindowsTest, ScanButtonOpensTheScanWindowWhichStartsAndStops)
{
    Make("", kList);
    ShowList();
    ClickList("scanButton");
    ASSERT_TRUE(QTest::qWaitForWindowExposed(scan_.get()));
    EXPECT_EQ(scan_->windowTitle(), "Scan");
    auto child = [this](const char* name) { return scan_->findChild<QWidget*>(name); };
    auto click = [&](const char* name) {
        QTest::mouseClick(static_cast<QPushButton*>(child(name)), Qt::LeftButton);
    };
    const core::ScanSession& scan = form_->Receiver().Scan();

    static_cast<QRadioButton*>(child("scanBand"))->setChecked(true);
    static_cast<QDoubleSpinBox*>(child("scanStart"))->setValue(4.990);
    static_cast<QDoubleSpinBox*>(child("scanStop"))->setValue(5.030);
    static_cast<QDoubleSpinBox*>(child("scanStep"))->setValue(10.0);
    click("scanStartButton");
    ASSERT_TRUE(scan.Running());
    EXPECT_EQ(scan.Scan().Options().kind, core::ScanKind::Band);
    EXPECT_EQ(scan.Scan().Channels().size(), 5u);
    EXPECT_FALSE(child("scanStartButton")->isEnabled());
    EXPECT_EQ(static_cast<QLabel*>(child("scanState"))->text(), "Searching");
    click("scanStopButton");
    EXPECT_FALSE(scan.Running());
    EXPECT_EQ(static_cast<QLabel*>(child("scanState"))->text(), "Stopped");

    // A stop below the start is refused with a box, and nothing runs.
    static_cast<QDoubleSpinBox*>(child("scanStop"))->setValue(4.0);
    click("scanStartButton");
    EXPECT_EQ(CloseMessageBoxes().size(), 1u);
    EXPECT_FALSE(scan.Running());
}
