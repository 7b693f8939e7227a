// The main window while its JACK server goes away and comes back: the loss
// is told by a notice that leaves the window usable, and the notice says
// when the device is back and then clears by itself. A modal box used to
// block the window until OK, though the audio had long returned.

#include "core/SoundNotice.h"
#include "JackRig.h"
#include "JackServer.h"
#include "audio/AudioEngine.h"
#include "core/Receiver.h"
#include "tests/core/CoreFixture.h"
#include "tests/core/ReceiverProbe.h"
#include "tests/support/TempDir.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QLabel>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

using core::test::RunUntil;

// Patience only: nothing here depends on the machine's speed.
constexpr int kPatienceMs = 60000;

TEST(SoundNotice, ALostServerLeavesTheWindowUsableAndTheNoticeClearsWhenItIsBack)
{
    if (!audiotest::JackServer::Installed())
        GTEST_SKIP() << "jackd is not installed (scripts/deps installs jackd2)";
    audiotest::JackServer server;
    audiotest::JackRig rig;
    std::string error;
    ASSERT_TRUE(audiotest::StartServerWithRig(server, rig, error)) << error;
    tesmar::test::TempDir dir;
    core::ReceiverPaths paths;
    paths.settingsFile = dir.Path() / "tesmar.ini";
    paths.dataDirectory = dir.Path();
    paths.programDirectory = dir.Path();

    ui::MainWindow main(paths, audio::AudioApi::Jack);
    main.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    core::Receiver& r = main.Receiver();
    ASSERT_TRUE(core::test::ReceiverProbe::CaptureOpen(r));
    auto* notice = main.findChild<QLabel*>("soundNotice");
    ASSERT_NE(notice, nullptr);
    EXPECT_FALSE(notice->isVisible());

    rig.Close();
    server.Stop();
    ASSERT_TRUE(RunUntil([&] { return notice->isVisible(); }, kPatienceMs));
    EXPECT_EQ(notice->text(), QString::fromLatin1(audio::kDeviceLostMessage));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    // A click through the window system, where a modal box would catch it.
    for (const char* name : {"modeButtonLsb", "modeButtonAm"}) {
        auto* button = main.findChild<QToolButton*>(name);
        ASSERT_NE(button, nullptr);
        QTest::mouseClick(main.windowHandle(), Qt::LeftButton, {}, button->geometry().center());
        EXPECT_TRUE(RunUntil([&] { return button->isChecked(); }, kPatienceMs)) << name;
    }

    ASSERT_TRUE(server.Restart(error)) << error;
    ASSERT_TRUE(
        RunUntil([&] { return notice->text() == QString::fromLatin1(core::kDeviceBackMessage); },
                 kPatienceMs));
    EXPECT_TRUE(notice->isVisible());
    EXPECT_TRUE(core::test::ReceiverProbe::CaptureOpen(r));
    ASSERT_TRUE(RunUntil([&] { return !notice->isVisible(); }, kPatienceMs));
    EXPECT_TRUE(r.SoundNoticeText().isEmpty());
}

}  // namespace
