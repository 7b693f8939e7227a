// A raw recording with a carrier at a known offset, played through the
// running receiver on a private JACK server (the playback device paces the
// file), draws the carrier where the spectrum window's rules put it.

#include "ui/windows/SpectrumWindow.h"

#include "JackRig.h"
#include "JackServer.h"
#include "SpectrumTestUtil.h"
#include "audio/AudioEngine.h"
#include "core/Receiver.h"
#include "recording/RawIqFile.h"
#include "tests/core/CoreFixture.h"
#include "tests/core/ReceiverProbe.h"
#include "tests/support/TempDir.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QMessageBox>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

using spectrumtest::At;
using spectrumtest::Px;

using core::test::RunUntil;

TEST(SpectrumEndToEnd, ACarrierInARawRecordingDrawsItsColumn)
{
    if (!audiotest::JackServer::Installed())
        GTEST_SKIP() << "jackd is not installed (scripts/deps installs jackd2)";
    audiotest::JackServer server;
    audiotest::JackRig rig;
    std::string error;
    ASSERT_TRUE(audiotest::StartServerWithRig(server, rig, error)) << error;
    audio::AudioEngine lister;
    lister.SetApi(audio::AudioApi::Jack);
    const int input = int(lister.InputDeviceNames().indexOf(QStringLiteral("rig"))) + 1;
    const int output = int(lister.OutputDeviceNames().indexOf(QStringLiteral("rig"))) + 1;
    ASSERT_GT(input, 0);
    ASSERT_GT(output, 0);

    // Two seconds of a carrier 6000 Hz above the centre (bin 256).
    tesmar::test::TempDir dir;
    const std::filesystem::path file = dir.Path() / "carrier.dat";
    {
        recording::RawRecorder rec;
        ASSERT_TRUE(rec.Start(file, recording::LocalStamp{}, 7100000));
        const std::vector<int16_t> block = spectrumtest::Carrier(6000.0);
        for (int n = 0; n < 40; ++n)
            ASSERT_TRUE(rec.AppendBlock(block.data()));
        ASSERT_TRUE(rec.Stop());
    }
    // A 512-pixel waterfall (SpecScale 2), "Blue".
    std::ofstream(dir.Path() / "tesmar.ini")
        << "[Form]\nSpecWidth=516\nSpecHeight=430\n[Wave]\nColorNum=1\nInput=" << input
        << "\nOutput=" << output << "\n";
    core::ReceiverPaths paths;
    paths.settingsFile = dir.Path() / "tesmar.ini";
    paths.dataDirectory = dir.Path();
    paths.programDirectory = dir.Path();

    {
        ui::MainWindow main(paths, audio::AudioApi::Jack);
        ui::SpectrumWindow spectrum(main.Receiver());
        ui::SecondaryWindows windows;
        windows.spectrum = &spectrum;
        main.SetSecondaryWindows(windows);
        spectrum.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&spectrum));
        core::Receiver& r = main.Receiver();
        ASSERT_TRUE(core::test::ReceiverProbe::CaptureOpen(r));
        ASSERT_TRUE(core::test::ReceiverProbe::PlaybackOpen(r));

        r.OpenRawFile(file);
        ASSERT_TRUE(r.RawPlaying());
        EXPECT_EQ(r.State().FreqCenter, 7100000);
        const uint64_t start = core::test::ReceiverProbe::ProcessedBlocks(r);
        ASSERT_TRUE(
            RunUntil([&] { return core::test::ReceiverProbe::ProcessedBlocks(r) >= start + 10; }));
        ASSERT_TRUE(r.RawPlaying());  // the newest rows are the file's

        // x(6000) = 320 on the strip; the waterfall draws it one pixel left.
        const double scale = spectrum.View().SpecScale();
        ASSERT_DOUBLE_EQ(scale, 2.0);
        const int x = core::ColumnOfOffset(6000, scale);
        ASSERT_EQ(x, 320);
        const QImage& fall = spectrum.WaterfallImage();
        for (int row = 0; row < 5; ++row) {
            SCOPED_TRACE(row);
            EXPECT_EQ(At(fall, x - 1, row), (Px{255, 255, 255}));
            // Only the carrier's bin is white; the columns beside it read
            // bins four apart, which hold no more than the noise floor.
            for (int column = 0; column < fall.width(); ++column) {
                if (column != x - 1) {
                    ASSERT_FALSE(At(fall, column, row) == (Px{255, 255, 255})) << column;
                }
            }
            for (int column = x - 4; column <= x + 2; ++column) {
                if (column != x - 1) {
                    EXPECT_EQ(At(fall, column, row), (Px{0, 0, 0})) << column;
                }
            }
        }
        // The newest trace rises at the strip's column for bin 256.
        EXPECT_EQ(spectrum.View().BinColumn(256), x);
        EXPECT_EQ(At(spectrum.StripImage(), x, 50), (Px{254, 254, 254}));

        ASSERT_TRUE(RunUntil([&] { return !r.RawPlaying(); }));
        main.Receiver().CloseDevices();
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w))
                box->done(QMessageBox::Ok);
    }
    rig.Close();
    server.Stop();
}

}  // namespace
