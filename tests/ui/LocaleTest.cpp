// The program under a locale with a decimal comma. The binary runs with
// LC_ALL and LANG set to de_DE.UTF-8 (tests/ui/CMakeLists.txt), and
// TestMain's QApplication adopts them through setlocale as the program's own
// does: from then on the C library writes and reads "7,1" and QLocale says
// ",". No number in a file or a dialog may follow it.

#include "tests/ui/WindowFixture.h"
#include "ui/windows/MemoryEditDialog.h"
#include "ui/windows/MemoryListWindow.h"

#include "core/RawTransport.h"
#include "core/RemoteControl.h"

#include <QFileDialog>
#include <QHostAddress>
#include <QLineEdit>
#include <QLocale>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTcpSocket>

#include <clocale>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace {

class LocaleTest : public ui::test::WindowFixture {
protected:
    void SetUp() override
    {
        // A locale that is not generated leaves the C locale in place, and
        // the test would prove nothing.
        ASSERT_STREQ(std::localeconv()->decimal_point, ",")
            << "de_DE.UTF-8 is not in effect (LC_ALL=" << qgetenv("LC_ALL").toStdString()
            << "); scripts/deps generates it";
        ASSERT_EQ(QLocale().decimalPoint(), QStringLiteral(","));
    }

    void CreateWindows(ui::SecondaryWindows& windows) override
    {
        list_ = std::make_unique<ui::MemoryListWindow>(form_->Receiver());
        dialog_ = std::make_unique<ui::MemoryEditDialog>(form_->Receiver());
        list_->SetEditDialog(dialog_.get());
        windows.memoryList = list_.get();
    }
    void DestroyWindows() override
    {
        dialog_.reset();
        list_.reset();
    }

    QTableWidget* Table() { return list_->findChild<QTableWidget*>("channelTable"); }
    void ClickList(const char* name)
    {
        QTest::mouseClick(list_->findChild<QToolButton*>(name), Qt::LeftButton);
    }
    std::string FrequencyText()
    {
        return dialog_->findChild<QLineEdit*>("frequencyEdit")->text().toStdString();
    }
    void ClickDialog(const char* name)
    {
        QTest::mouseClick(dialog_->findChild<QToolButton*>(name), Qt::LeftButton);
    }
    void ClickRow(int row)
    {
        QTableWidget* t = Table();
        const QRect cell = t->visualRect(t->model()->index(row, 1));
        QTest::mouseClick(t->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    }
    std::vector<std::string> Captions()
    {
        std::vector<std::string> captions;
        for (int r = 0; r < Table()->rowCount(); ++r)
            captions.push_back(Table()->item(r, 0)->text().toStdString());
        return captions;
    }

    std::unique_ptr<ui::MemoryListWindow> list_;
    std::unique_ptr<ui::MemoryEditDialog> dialog_;
};

TEST_F(LocaleTest, AChannelARecordingAndTheSettingsReadBackExactly)
{
    const std::string ini = "[Wave]\nFreqCenter=7112000\nFreqTune=-12000\nRxMode=3\nGainPos=-20\n"
                            "[Etc]\nMemName=DX\n";
    const std::string channels = "7.100005,Net,3\n14.200000,DX,4\n0.000050,Low,0\n";
    Make(ini, channels);
    EXPECT_EQ(S().FreqCenter, 7112000);
    EXPECT_EQ(S().FreqTune, -12000);
    EXPECT_EQ(S().GainPos, -20);
    EXPECT_EQ(S().MemName, "DX");
    list_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(list_.get()));
    const std::vector<std::string> read = {"   7.100.005", "  14.200.000", "   0.000.050"};
    EXPECT_EQ(Captions(), read);

    // "Add" offers the receive frequency as the file writes it, takes it
    // back, and the save leaves every other line as it was.
    ClickList("addButton");
    EXPECT_EQ(FrequencyText(), "7.1");
    ClickDialog("okButton");
    EXPECT_EQ(CloseMessageBoxes(), std::vector<std::string>{});
    EXPECT_FALSE(dialog_->isVisible());
    EXPECT_EQ(ReadFile("MemoryList.txt"), channels + "7.100000,,3\n");

    // A channel below 100 Hz in fixed decimals, not as "5e-05" (which the
    // dialog would refuse), and "OK" keeps it.
    ClickRow(2);
    ClickList("editButton");
    EXPECT_EQ(FrequencyText(), "0.00005");
    ClickDialog("okButton");
    EXPECT_EQ(CloseMessageBoxes(), std::vector<std::string>{});
    EXPECT_EQ(ReadFile("MemoryList.txt"), channels + "7.100000,,3\n");

    // A remote client's numbers: a frequency with a decimal point is taken,
    // and the replies carry points.
    Rx().Remote().UseForThisRun(0);
    ASSERT_TRUE(Rx().Remote().Listening());
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, Rx().Remote().Port());
    ASSERT_TRUE(client.waitForConnected(5000));
    client.write("F 7105000.0\nf\nl AF\n");
    QByteArray replies;
    for (int i = 0; i < 500 && replies.count('\n') < 3; ++i) {
        QTest::qWait(10);
        replies += client.readAll();
    }
    const QList<QByteArray> lines = replies.split('\n');
    ASSERT_GE(lines.size(), 3) << replies.toStdString();
    EXPECT_EQ(lines[0], "RPRT 0");
    EXPECT_EQ(lines[1], "7105000");
    EXPECT_TRUE(
        QRegularExpression("^\\d\\.\\d{6}$").match(QString::fromLatin1(lines[2])).hasMatch())
        << replies.toStdString();
    client.disconnectFromHost();
    // A message's seconds.
    EXPECT_TRUE(core::IncompleteRecordingMessage("take.dat", 3).contains("(0.15 s)"));

    // A SigMF recording whose numbers carry a decimal point plays.
    WriteFile("take.sigmf-meta",
              "{\"global\":{\"core:datatype\":\"ci16_le\",\"core:sample_rate\":48000.0,"
              "\"core:version\":\"1.0.0\"},\"captures\":[{\"core:sample_start\":0,"
              "\"core:frequency\":7.05e6}],\"annotations\":[]}");
    WriteFile("take.sigmf-data", std::string(4 * 48000, '\0'));
    Click("openButton");
    auto* chooser = form_->findChild<QFileDialog*>("openRawFileDialog");
    ASSERT_NE(chooser, nullptr);
    chooser->selectFile(QString::fromStdString((dir_.Path() / "take.sigmf-meta").string()));
    QMetaObject::invokeMethod(chooser, "accept");  // as the dialog's "Open" button
    EXPECT_EQ(CloseMessageBoxes(), std::vector<std::string>{});
    EXPECT_TRUE(Rx().RawPlaying());
    EXPECT_EQ(S().FreqCenter, 7050000);

    // The settings as read, the offset as the client tuned it; the next
    // start reads the list as written.
    form_->close();
    const std::string saved = ReadFile("tesmar.ini");
    for (const char* line :
         {"\nFreqCenter=7112000\n", "\nFreqTune=-7000\n", "\nRxMode=3\n", "\nGainPos=-20\n"})
        EXPECT_NE(saved.find(line), std::string::npos) << line << saved;
    DestroyWindows();
    form_.reset();
    Make();
    list_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(list_.get()));
    std::vector<std::string> again = read;
    again.push_back("   7.100.000");
    EXPECT_EQ(Captions(), again);
}

}  // namespace
