#pragma once

// The main window with some of its secondary windows, all files in the
// test's own folder, on Qt's offscreen platform. Without a sound device of
// the test's own the devices fail to open (their boxes are closed) and the
// receiver runs without them.

#include "tests/core/ReceiverProbe.h"
#include "tests/support/TempDir.h"
#include "ui/MainWindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace ui::test {

class WindowFixture : public ::testing::Test {
protected:
    void TearDown() override
    {
        DestroyWindows();
        form_.reset();
        CloseMessageBoxes();
    }

    // Creates the secondary windows under test (the receiver exists) and
    // hands them over; destroys them before the main window goes.
    virtual void CreateWindows(SecondaryWindows& windows) = 0;
    virtual void DestroyWindows() = 0;

    // The settings file holds `ini` and "MemoryList.txt" `memoryList` when
    // they are not empty; then the main window starts and shows.
    void Make(const std::string& ini = "", const std::string& memoryList = "")
    {
        if (!ini.empty())
            WriteFile("tesmar.ini", ini);
        if (!memoryList.empty())
            WriteFile("MemoryList.txt", memoryList);
        core::ReceiverPaths paths;
        paths.settingsFile = dir_.Path() / "tesmar.ini";
        paths.dataDirectory = dir_.Path();
        paths.programDirectory = dir_.Path();
        form_ = std::make_unique<MainWindow>(paths, audio::AudioApi::Jack);
        SecondaryWindows windows;
        CreateWindows(windows);
        form_->SetSecondaryWindows(windows);
        form_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
        CloseMessageBoxes();
    }

    // The message boxes that are showing.
    static std::vector<QMessageBox*> OpenBoxes()
    {
        QApplication::processEvents();
        std::vector<QMessageBox*> boxes;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
                boxes.push_back(box);
        return boxes;
    }

    // Answers the open boxes with `button` and returns their texts.
    static std::vector<std::string>
    CloseMessageBoxes(QMessageBox::StandardButton button = QMessageBox::Ok)
    {
        std::vector<std::string> texts;
        for (QMessageBox* box : OpenBoxes()) {
            texts.push_back(box->text().toStdString());
            if (QAbstractButton* b = box->button(button))
                b->click();
            else
                box->done(0);
        }
        QApplication::processEvents();
        return texts;
    }

    void WriteFile(const std::string& name, const std::string& bytes)
    {
        std::ofstream(dir_.Path() / name, std::ios::binary | std::ios::trunc) << bytes;
    }
    std::string ReadFile(const std::string& name)
    {
        std::ifstream in(dir_.Path() / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    core::Receiver& Rx() { return form_->Receiver(); }
    core::ReceiverState& S() { return core::test::ReceiverProbe::State(Rx()); }
    QToolButton* Button(const char* name) { return form_->findChild<QToolButton*>(name); }
    void Click(const char* name) { QTest::mouseClick(Button(name), Qt::LeftButton); }

    tesmar::test::TempDir dir_;
    std::unique_ptr<MainWindow> form_;
};

}  // namespace ui::test
