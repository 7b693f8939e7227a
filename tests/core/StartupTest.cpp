#include "CoreFixture.h"

#include "audio/AudioEngine.h"
#include "core/model/ReceiverSettings.h"
#include "dsp/SignalChain.h"
#include "recording/IqFormats.h"
#include "recording/RawIqFile.h"
#include "recording/WavFile.h"
#include "settings/SettingsLocation.h"
#include "tests/support/FileSizeLimit.h"

#include <algorithm>
#include <chrono>

namespace core::test {
namespace {

using Startup = CoreTest;
using tesmar::test::FileSizeLimit;

bool HasLine(const std::string& text, const std::string& line)
{
    return text.find("\n" + line + "\n") != std::string::npos || text.rfind(line + "\n", 0) == 0;
}

TEST_F(Startup, WithoutASettingsFileTheDefaultsApply)
{
    Receiver& rx = Started();
    EXPECT_EQ(S().RxMode, core::Mode::Am);
    EXPECT_EQ(S().FreqCenter, 5012000);
    EXPECT_EQ(S().FreqTune, -12000);
    EXPECT_EQ(ReceiveFrequency(), 5000000);
    EXPECT_EQ(S().IFBW, core::IfChoice::Khz6);
    EXPECT_EQ(S().IFWidth, 6000);
    EXPECT_EQ(S().AFLPF, core::AfChoice::Khz3);
    EXPECT_EQ(S().AGC, core::AgcSpeed::Middle);
    EXPECT_EQ(S().GainPos, -150);
    EXPECT_EQ(S().SqlPos, -150);
    EXPECT_DOUBLE_EQ(S().VolGain, 0.0);
    EXPECT_EQ(S().StepNum, 0);
    EXPECT_EQ(S().TuneStep, 1);
    EXPECT_DOUBLE_EQ(S().WaterGain, 1.0);
    EXPECT_FALSE(S().MemoryMode);
    EXPECT_FALSE(S().MonitorOn);
    EXPECT_EQ(S().RawFileName, (Dir() / "RawData.dat").string());
    EXPECT_TRUE(rx.RecEnabled());
    EXPECT_TRUE(rx.OpenEnabled());
    EXPECT_FALSE(rx.PlayEnabled());
    EXPECT_FALSE(rx.PlayDown());

    ASSERT_TRUE(rx.Shutdown({}));
    const std::string text = ReadFile(IniPath());
    for (const char* section : {"[Form]", "[Wave]", "[IO]", "[Etc]"})
        EXPECT_NE(text.find(section), std::string::npos) << section;
    EXPECT_TRUE(HasLine(text, "FreqCenter=5012000"));
    EXPECT_TRUE(HasLine(text, "GainPos=-150"));
    EXPECT_EQ(std::count(text.begin(), text.end(), '='), 52);
}

TEST_F(Startup, DevicesOpenAfterTheSettingsCaptureFirstAndTheReceiverCarriesOn)
{
    WriteIni("[Wave]\nInput=7\nOutput=9\n");
    Receiver& rx = Make();
    // The devices come up last, after the window's first paint.
    std::vector<std::string> order;
    QObject::connect(&rx, &Receiver::KnobRedraw, [&](Knob, bool) { order.push_back("knob"); });
    QObject::connect(&rx, &Receiver::ShowError,
                     [&](const QString& m, bool) { order.push_back(m.toStdString()); });
    QObject::connect(&rx, &Receiver::SoundNoticeChanged,
                     [&] { order.push_back(rx.SoundNoticeText().toStdString()); });
    rx.Start();
    // Told over the window, not in boxes: a box raised before the window
    // shows may lie beneath it. The receiver waits for the devices.
    EXPECT_EQ(order, (std::vector<std::string>{
                         "knob", "knob",
                         std::string("Can not open the recoding device. Can not open the play "
                                     "device. ") +
                             audio::kDeviceAwaitedMessage}));
    EXPECT_TRUE(errors_.empty());
    EXPECT_TRUE(rx.SoundDeviceLost());
    EXPECT_FALSE(core::test::ReceiverProbe::CaptureOpen(rx));
    EXPECT_FALSE(core::test::ReceiverProbe::PlaybackOpen(rx));

    // Without devices the controls work on.
    rx.SelectMode(Mode::Fm);
    rx.StepTune(1);
    EXPECT_EQ(S().RxMode, core::Mode::Fm);
    EXPECT_EQ(ReceiveFrequency(), 5000001);
    EXPECT_TRUE(rx.Shutdown({}));
    rx.CloseDevices();
    EXPECT_TRUE(HasLine(ReadFile(IniPath()), "Input=7"));
}

TEST_F(Startup, RestartingTheDevicesKeepsTheNewNumbers)
{
    Receiver& rx = Started();
    int started = 0, finished = 0;
    QObject::connect(&rx, &Receiver::DeviceRestartStarted, [&] { ++started; });
    QObject::connect(&rx, &Receiver::DeviceRestartFinished, [&] { ++finished; });
    rx.RestartDevices(3, 4);
    EXPECT_EQ(S().Input, 3);
    EXPECT_EQ(S().Output, 4);
    ASSERT_TRUE(RunUntil([&] { return finished == 1; }));
    EXPECT_EQ(started, 1);
    // Playback reopens first; neither device exists here.
    ASSERT_EQ(errors_.size(), 2u);
    EXPECT_EQ(errors_[0].message, "Can not open the play device");
    EXPECT_EQ(errors_[1].message, "Can not open the recoding device");
    ASSERT_TRUE(rx.Shutdown({}));
    EXPECT_TRUE(HasLine(ReadFile(IniPath()), "Output=4"));
}

TEST_F(Startup, AnUnknownModeStartsInAmAndIsSavedAsAm)
{
    WriteIni("[Wave]\nRxMode=7\nIFBW=9\nAFLPF=-1\nAGC=5\nStepNum=40\n");
    Receiver& rx = Started();
    EXPECT_EQ(S().RxMode, core::Mode::Am);
    EXPECT_EQ(S().IFBW, core::IfChoice::Khz0_5);
    EXPECT_EQ(S().IFWidth, 500);
    EXPECT_EQ(S().AFLPF, core::AfChoice::Khz3);
    EXPECT_EQ(S().AGC, core::AgcSpeed::Fast);
    EXPECT_EQ(S().StepNum, 16);
    EXPECT_EQ(S().TuneStep, 20000);
    ASSERT_TRUE(rx.Shutdown({}));
    const std::string text = ReadFile(IniPath());
    EXPECT_TRUE(HasLine(text, "RxMode=0"));
    EXPECT_TRUE(HasLine(text, "IFBW=0"));
    EXPECT_TRUE(HasLine(text, "StepNum=16"));
}

TEST_F(Startup, AMemoryNameStartsInMemoryModeAndSurvivesOnlyThere)
{
    WriteIni("[Etc]\nMemName=Tower\n");
    Receiver& rx = Started();
    EXPECT_TRUE(S().MemoryMode);
    EXPECT_EQ(S().MemName, "Tower");
    ASSERT_TRUE(rx.Shutdown({}));
    EXPECT_TRUE(HasLine(ReadFile(IniPath()), "MemName=Tower"));

    Receiver& again = Started();
    EXPECT_TRUE(S().MemoryMode);
    again.StepTune(1);  // any tuning leaves the memory channel
    EXPECT_FALSE(S().MemoryMode);
    ASSERT_TRUE(again.Shutdown({}));
    EXPECT_TRUE(HasLine(ReadFile(IniPath()), "MemName="));
    Started();
    EXPECT_FALSE(S().MemoryMode);
}

TEST_F(Startup, SettingsRoundTripThroughTheCore)
{
    Receiver& rx = Started();
    rx.SelectMode(Mode::Usb);
    rx.SelectAgc(AgcSpeed::Slow);
    rx.StepUp();
    rx.StepUp();
    rx.SetNoiseReduction(true);
    rx.SetKnobFromPoint(Knob::Vol, 25, 16);
    S().mainWindow.top = 33;
    WindowsShowing showing;
    showing.spectrum = true;
    showing.memoryList = true;
    ASSERT_TRUE(rx.Shutdown(showing));

    Started();
    EXPECT_EQ(S().RxMode, core::Mode::Usb);
    EXPECT_EQ(S().IFBW, core::IfChoice::Khz3);
    EXPECT_EQ(S().SSBShift, 1500);
    EXPECT_EQ(S().AGC, core::AgcSpeed::Slow);
    EXPECT_EQ(S().StepNum, 2);
    EXPECT_EQ(S().TuneStep, 5);
    EXPECT_TRUE(S().DSPNR);
    EXPECT_EQ(S().GainPos, 90);
    EXPECT_DOUBLE_EQ(S().VolGain, 1200.0);
    EXPECT_EQ(S().mainWindow.top, 33);
    EXPECT_TRUE(S().spectrumWindow.showing);
    EXPECT_TRUE(S().memoryListWindow.showing);
    EXPECT_FALSE(S().ifFilterWindow.showing);
    const WindowsShowing again = rx_->WindowsToShow();
    EXPECT_TRUE(again.spectrum && again.memoryList);
    EXPECT_FALSE(again.ifFilter || again.keypad || again.afFilter || again.waveRecorder);
}

TEST_F(Startup, AFailedSaveNamesTheFile)
{
    Receiver& rx = Started();
    // A folder where the settings file belongs cannot be replaced by a file.
    std::filesystem::create_directory(IniPath());
    WriteFile(IniPath() / "keep", "x");
    EXPECT_FALSE(rx.Shutdown({}));
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_FALSE(errors_[0].beep);
    EXPECT_NE(errors_[0].message.find(IniPath().string()), std::string::npos) << errors_[0].message;
}

// A program folder the user cannot write: saves go to the per-user folder,
// and until there is a file there the one installed beside the program gives
// the starting values and its other lines.
TEST_F(Startup, APerUserSettingsFileWinsAndTheProgramsOwnGivesTheStartingValues)
{
    struct Case {
        const char* what;
        std::string programIni;
        std::string userIni;
        int32_t center;
    };
    const std::string program = "; installed by the site\n[Wave]\nFreqCenter=7100000\n";
    const std::string user = "[Wave]\nFreqCenter=14200000\n";
    const Case cases[] = {
        {"beside the program only", program, "", 7100000},
        {"both", program, user, 14200000},
        {"the user's only", "", user, 14200000},
        {"neither", "", "", 5012000},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto programDir = Dir() / ("program" + std::to_string(n));
        const auto userDir = Dir() / ("user" + std::to_string(n++));
        std::filesystem::create_directories(programDir);
        std::filesystem::create_directories(userDir);
        if (!c.programIni.empty())
            WriteFile(programDir / "tesmar.ini", c.programIni);
        if (!c.userIni.empty())
            WriteFile(userDir / "tesmar.ini", c.userIni);
        ReceiverPaths paths;
        paths.settingsFile = userDir / "tesmar.ini";
        paths.dataDirectory = userDir;
        paths.programDirectory = programDir;
        Make(paths).Start();
        EXPECT_EQ(S().FreqCenter, c.center);
        rx_->SelectMode(Mode::Lsb);
        ASSERT_TRUE(rx_->Shutdown({}));

        const std::string saved = ReadFile(userDir / "tesmar.ini");
        EXPECT_TRUE(HasLine(saved, "FreqCenter=" + std::to_string(c.center))) << saved;
        EXPECT_TRUE(HasLine(saved, "RxMode=3")) << saved;
        // The site's comment comes along to a new user's file, not into an existing one.
        EXPECT_EQ(HasLine(saved, "; installed by the site"),
                  c.userIni.empty() && !c.programIni.empty());
        if (c.programIni.empty())
            EXPECT_FALSE(std::filesystem::exists(programDir / "tesmar.ini"));
        else
            EXPECT_EQ(ReadFile(programDir / "tesmar.ini"), c.programIni);
    }
}

// Nobody may be there to answer a box when the program is ended (a logout, a
// service stop): a save that fails then is kept for the next start, which
// shows it once; a box the operator has answered needs no second showing.
TEST_F(Startup, AFailedSaveAtCloseIsShownOnceAtTheNextStartUnlessSeen)
{
    const auto notice = Dir() / "tesmar.notice";
    std::filesystem::create_directory(IniPath());  // the save cannot replace a folder
    for (const bool seen : {false, true}) {
        SCOPED_TRACE(seen ? "seen" : "not seen");
        Receiver& rx = Started();
        EXPECT_TRUE(rx.TakeNoticeFromLastRun().isEmpty());
        EXPECT_FALSE(rx.Shutdown({}));
        ASSERT_TRUE(std::filesystem::exists(notice));
        EXPECT_NE(ReadFile(notice).find(IniPath().string()), std::string::npos) << ReadFile(notice);
        if (seen)
            rx.CloseErrorsSeen();

        Receiver& next = Started();
        const QString shown = next.TakeNoticeFromLastRun();
        EXPECT_EQ(shown.contains(QString::fromStdString(IniPath().string())), !seen)
            << shown.toStdString();
        EXPECT_TRUE(next.TakeNoticeFromLastRun().isEmpty());
        EXPECT_FALSE(std::filesystem::exists(notice));
    }
}

// A full disk at close fails the save and the keeping of its message alike:
// the notice file is then as it was (none, or the earlier messages whole),
// never an empty file, and no temporary file is left beside it.
TEST_F(Startup, AFullDiskAtCloseLeavesTheNoticeFileAsItWas)
{
    const auto notice = Dir() / "tesmar.notice";
    for (const bool earlier : {false, true}) {
        SCOPED_TRACE(earlier ? "an earlier notice" : "no notice");
        Receiver& rx = Started();
        // A message kept earlier in this close.
        if (earlier)
            WriteFile(notice, "cannot write " + IniPath().string() + ": earlier\n");
        bool saved = true;
        {
            FileSizeLimit full(0);
            saved = rx.Shutdown({});
        }
        EXPECT_FALSE(saved);
        if (earlier)
            EXPECT_EQ(ReadFile(notice), "cannot write " + IniPath().string() + ": earlier\n");
        else
            EXPECT_FALSE(std::filesystem::exists(notice));
        for (const auto& e : std::filesystem::directory_iterator(Dir()))
            EXPECT_FALSE(e.path().filename().string().starts_with("tesmar.notice.")) << e.path();
    }
}

TEST_F(Startup, ClosingClosesTheFilesAndKeepsTheRadiosCentre)
{
    Receiver& rx = Started();
    ASSERT_TRUE(rx.WaveRecord(true));
    EXPECT_TRUE(S().Recording);
    rx.Rec(true);
    ASSERT_TRUE(rx.RawRecording());
    const std::filesystem::path raw = S().RawFileName;
    ASSERT_TRUE(rx.Shutdown({}));
    EXPECT_FALSE(rx.RawRecording());
    EXPECT_FALSE(rx.WaveRecording());
    // Ended by closing: no end marker.
    EXPECT_EQ(ReadFile(raw).size(), std::size_t(recording::kRawHeaderSize));
}

// An installed program's first start: the demo band lies in share/tesmar,
// found from the program's folder as the program finds its read-only files,
// and the per-user data folder is empty. "Play" plays the demo band until the
// operator has a RawData.dat of their own, and "Open" starts where the file
// "Play" plays lies.
TEST_F(Startup, PlayPlaysTheInstalledDemoBandUntilTheOperatorHasTheirOwn)
{
    const auto prefix = Dir() / "usr";
    const auto share = prefix / "share" / "tesmar";
    const auto user = Dir() / "home" / "Tesmar";
    std::filesystem::create_directories(prefix / "bin");
    std::filesystem::create_directories(share);
    std::filesystem::create_directories(user);
    WriteFile(share / "Meter.bmp", "BM");
    std::filesystem::rename(MakeRawFile(Dir(), 7100000, 3), share / "RawData.dat");
    ReceiverPaths paths;
    paths.settingsFile = user / "tesmar.ini";
    paths.dataDirectory = user;
    paths.programDirectory = settings::ChooseResourceDirectory(prefix / "bin");
    ASSERT_EQ(paths.programDirectory, share);

    Receiver& rx = Make(paths);
    rx.Start();
    EXPECT_EQ(S().RawFileName, (share / "RawData.dat").string());
    EXPECT_TRUE(rx.PlayEnabled());
    EXPECT_EQ(rx.OpenFolder(), share);
    rx.Play(true);
    EXPECT_TRUE(rx.RawPlaying());
    EXPECT_EQ(S().FreqCenter, 7100000);
    rx.Play(false);
    ASSERT_TRUE(rx.Shutdown({}));

    std::filesystem::rename(MakeRawFile(Dir(), 3500000, 2), user / "RawData.dat");
    Receiver& next = Make(paths);
    next.Start();
    EXPECT_EQ(S().RawFileName, (user / "RawData.dat").string());
    EXPECT_TRUE(next.PlayEnabled());
    EXPECT_EQ(next.OpenFolder(), user);
    ASSERT_TRUE(next.Shutdown({}));

    // Without it, the newest recording of "Rec".
    std::filesystem::remove(user / "RawData.dat");
    std::filesystem::create_directory(user / "Raw");
    const auto older = user / "Raw" / "20261207_090507_7100.dat";
    const auto newer = user / "Raw" / "20261207_100507_3500.dat";
    std::filesystem::rename(MakeRawFile(Dir(), 7100000, 2), older);
    std::filesystem::rename(MakeRawFile(Dir(), 3500000, 2), newer);
    std::filesystem::last_write_time(older, std::filesystem::last_write_time(newer) -
                                                std::chrono::seconds(60));
    Receiver& recorded = Make(paths);
    recorded.Start();
    EXPECT_EQ(S().RawFileName, newer.string());
    EXPECT_EQ(recorded.OpenFolder(), user / "Raw");
    ASSERT_TRUE(recorded.Shutdown({}));
    std::filesystem::remove_all(user / "Raw");

    // Neither: nothing to play, and "Open" starts in the data folder.
    std::filesystem::remove(share / "RawData.dat");
    Receiver& bare = Make(paths);
    bare.Start();
    EXPECT_FALSE(bare.PlayEnabled());
    EXPECT_EQ(bare.OpenFolder(), user);
    ASSERT_TRUE(bare.Shutdown({}));
}

// "Open" lists recordings; the keypad's sounds and the WAV recorder's files
// beside them are WAV files of one channel, no IQ recordings.
TEST(OpenList, WavFilesAreListedOnlyWhenTheyHoldTwoChannels)
{
    tesmar::test::TempDir dir;
    auto wav = [&](const char* name, uint16_t channels) {
        recording::WavWriter w;
        EXPECT_TRUE(w.Create(dir / name, 48000, channels));
        const std::array<int16_t, 8> samples{};
        EXPECT_TRUE(w.Append(samples.data(), samples.size()));
        EXPECT_TRUE(w.UpdateSizes(static_cast<uint32_t>(w.DataBytes())));
        EXPECT_TRUE(w.Close());
        return dir / name;
    };
    WriteFile(dir / "take.dat", "whatever");
    WriteFile(dir / "broken.wav", "RIFF");
    const struct {
        std::filesystem::path file;
        bool listed;
    } cases[] = {
        {wav("beep1.wav", 1), false}, {wav("BEEP2.WAV", 1), false}, {wav("iq.wav", 2), true},
        {wav("wide.rf64", 2), true},  {dir / "take.dat", true},     {dir / "broken.wav", false},
        {dir / "gone.wav", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Receiver::ListedAsRecording(c.file), c.listed) << c.file;
}

}  // namespace
}  // namespace core::test
