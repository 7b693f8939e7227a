#include "core/model/ReceiverSettings.h"
#include "tests/support/Files.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cmath>
#include <complex>
#include <csignal>
#include <set>
#include <sstream>
#include <string_view>
#include <vector>

using core::LoadSettings;
using core::ReceiverState;
using core::RemoteKeys;
using core::SaveSettings;
using core::SettingsKey;
using core::SettingsKeys;
using core::UdpKeys;
using core::WindowGeometry;
using settings::ProfileWriteError;
using tesmar::test::CountEntries;
using tesmar::test::ReadFile;
using tesmar::test::TempDir;
using tesmar::test::WriteFile;

namespace {

// The file a first run leaves behind: every key with its default.
const char* const kDefaultFile =
    "[Form]\n"
    "MainTop=0\nMainLeft=0\nSpecTop=0\nSpecLeft=0\nSpecWidth=500\nSpecHeight=450\n"
    "SpecMaxmum=0\nFiltTop=0\nFiltLeft=0\nInpTop=0\nInpLeft=0\nListTop=0\nListLeft=0\n"
    "ListWidth=700\nListHeight=300\nListMaxmum=0\nAudioTop=0\nAudioLeft=0\nWaveTop=0\n"
    "WaveLeft=0\nSpecShow=0\nFiltShow=0\nInpShow=0\nListShow=0\nAudioShow=0\nWaveShow=0\n"
    "MostTop=0\n"
    "\n[Wave]\n"
    "FreqTune=-12000\nFreqCenter=5012000\nRxMode=0\nIFBW=2\nAFLPF=0\nAGC=1\nGainPos=-150\n"
    "ColorNum=1\nSqlPos=-150\nPosIFBW=30\nPosAFFC1=3\nPosAFFC2=60\nStepNum=0\nInput=0\n"
    "Output=0\nDSP3D=0\nDSPNR=0\nDSPAN=0\nInGainPos=0\nWaterGainPos=0\nInvIQ=0\n"
    "\n[IO]\n"
    "PortNum=0\nPortStr=\nRadioType=0\n"
    "\n[Etc]\n"
    "MemName=\n";

// Every persisted field of two states, as "key=value" lines, for comparison.
std::string Persisted(const ReceiverState& s)
{
    std::ostringstream out;
    for (const SettingsKey& k : SettingsKeys()) {
        out << k.name << '=';
        switch (k.type) {
        case SettingsKey::Int: out << k.intField.get(s); break;
        case SettingsKey::Bool: out << k.boolField.get(s); break;
        case SettingsKey::String: out << k.stringField.get(s); break;
        }
        out << '\n';
    }
    return out.str();
}

ReceiverState LoadText(const TempDir& dir, const std::string& text)
{
    const auto file = dir / "tesmar.ini";
    WriteFile(file, text);
    ReceiverState s;
    LoadSettings(file, s);
    return s;
}

ReceiverState LoadWave(const TempDir& dir, const std::string& lines)
{
    return LoadText(dir, "[Wave]\n" + lines);
}

}  // namespace

TEST(SettingsKeys, FiftyTwoKeysInTheirOrder)
{
    const auto keys = SettingsKeys();
    ASSERT_EQ(keys.size(), 52u);
    std::set<std::string> names;
    std::string sections;
    for (const SettingsKey& k : keys) {
        EXPECT_TRUE(names.insert(k.name).second) << k.name;
        if (sections.empty() || sections.substr(sections.rfind(' ') + 1) != k.section)
            sections += std::string(" ") + k.section;
    }
    EXPECT_EQ(sections, " Form Wave IO Wave Etc");
    EXPECT_STREQ(keys[0].name, "MainTop");
    EXPECT_STREQ(keys[6].name, "SpecMaxmum");
    EXPECT_STREQ(keys[15].name, "ListMaxmum");
    EXPECT_STREQ(keys[26].name, "MostTop");
    EXPECT_STREQ(keys[27].name, "FreqTune");
    EXPECT_STREQ(keys[41].name, "Output");
    EXPECT_STREQ(keys[42].name, "PortNum");
    EXPECT_STREQ(keys[43].name, "PortStr");
    EXPECT_STREQ(keys[45].name, "DSP3D");
    EXPECT_STREQ(keys[50].name, "InvIQ");
    EXPECT_STREQ(keys[51].name, "MemName");
}

TEST(Settings, NoFileGivesTheDefaults)
{
    TempDir dir;
    ReceiverState s;
    s.FreqCenter = 1;  // overwritten by the default
    s.MemoryMode = true;
    LoadSettings(dir / "tesmar.ini", s);
    EXPECT_EQ(s.FreqCenter, 5012000);
    EXPECT_EQ(s.FreqTune, -12000);
    EXPECT_EQ(s.FreqCenter + s.FreqTune, 5000000);
    EXPECT_EQ(s.RxMode, core::Mode::Am);
    EXPECT_EQ(s.IFBW, core::IfChoice::Khz6);
    EXPECT_EQ(s.AFLPF, core::AfChoice::Khz3);
    EXPECT_EQ(s.AGC, core::AgcSpeed::Middle);
    EXPECT_EQ(s.GainPos, -150);
    EXPECT_EQ(s.SqlPos, -150);
    EXPECT_EQ(s.StepNum, 0);
    EXPECT_EQ(s.ColorNum, 1);
    EXPECT_EQ(s.PosIFBW, 30);
    EXPECT_EQ(s.PosAFFC1, 3);
    EXPECT_EQ(s.PosAFFC2, 60);
    EXPECT_EQ(s.spectrumWindow.width, 500);
    EXPECT_EQ(s.spectrumWindow.height, 450);
    EXPECT_EQ(s.memoryListWindow.width, 700);
    EXPECT_EQ(s.memoryListWindow.height, 300);
    EXPECT_EQ(s.PortStr, "");
    EXPECT_EQ(s.MemName, "");
    EXPECT_FALSE(s.MemoryMode);
    EXPECT_EQ(CountEntries(dir.Path()), 0);  // loading creates nothing
}

TEST(Settings, FirstRunClosingWritesAllKeysInFourSections)
{
    TempDir dir;
    const auto file = dir / "tesmar.ini";
    ReceiverState s;
    LoadSettings(file, s);
    SaveSettings(file, s);
    EXPECT_EQ(ReadFile(file), kDefaultFile);
    // A second save finds every key and changes nothing.
    SaveSettings(file, s);
    EXPECT_EQ(ReadFile(file), kDefaultFile);
    EXPECT_EQ(CountEntries(dir.Path()), 1);
}

TEST(Settings, TheRemoteSectionIsWrittenOnlyOnceSetAndAfterTheFiftyTwoKeys)
{
    TempDir dir;
    const auto file = dir / "tesmar.ini";
    ReceiverState s;
    LoadSettings(file, s);
    // Turned on for a run is no setting of the operator's.
    s.RemoteOn = true;
    SaveSettings(file, s);
    EXPECT_EQ(ReadFile(file), kDefaultFile);

    s.RemoteStored = true;
    s.RemotePort = 4600;
    s.RemoteAllow = "192.168.1.0/24, 10.0.0.5";
    SaveSettings(file, s);
    EXPECT_EQ(ReadFile(file), std::string(kDefaultFile) +
                                  "\n[Remote]\nRemoteOn=1\nRemotePort=4600\n"
                                  "RemoteAllow=192.168.1.0/24, 10.0.0.5\n");
    ReceiverState back;
    LoadSettings(file, back);
    EXPECT_TRUE(back.RemoteStored);
    EXPECT_TRUE(back.RemoteOn);
    EXPECT_EQ(back.RemotePort, 4600);
    EXPECT_EQ(back.RemoteAllow, "192.168.1.0/24, 10.0.0.5");

    // One key of the section is enough to keep it; a port that is none
    // becomes the default.
    WriteFile(file, "[Remote]\nRemotePort=70000\n");
    ReceiverState one;
    LoadSettings(file, one);
    EXPECT_TRUE(one.RemoteStored);
    EXPECT_FALSE(one.RemoteOn);
    EXPECT_EQ(one.RemotePort, 4532);
    SaveSettings(file, one);
    EXPECT_NE(ReadFile(file).find("[Remote]\nRemotePort=4532\nRemoteOn=0\nRemoteAllow=\n"),
              std::string::npos)
        << ReadFile(file);
}

// Audio over UDP as the remote control: no section until the operator sets
// it (a run's --udp is none), then all three keys after the others, read
// back as written; a port that is none and an empty host become the
// defaults, and one key keeps the section.
TEST(Settings, TheUdpSectionIsWrittenOnlyOnceSetAndReadBack)
{
    TempDir dir;
    const auto file = dir / "tesmar.ini";
    ReceiverState s;
    LoadSettings(file, s);
    s.UdpOn = true;
    s.DecoderFeed = true;
    SaveSettings(file, s);
    EXPECT_EQ(ReadFile(file), kDefaultFile);

    s.UdpStored = true;
    s.UdpHost = "decoder.example";
    s.UdpPort = 7400;
    SaveSettings(file, s);
    EXPECT_EQ(ReadFile(file), std::string(kDefaultFile) +
                                  "\n[UDP]\nUdpOn=1\nUdpHost=decoder.example\nUdpPort=7400\n");
    ReceiverState back;
    LoadSettings(file, back);
    EXPECT_TRUE(back.UdpStored);
    EXPECT_TRUE(back.UdpOn);
    EXPECT_EQ(back.UdpHost, "decoder.example");
    EXPECT_EQ(back.UdpPort, 7400);
    EXPECT_FALSE(back.DecoderFeed);  // the run's sending, not a setting

    WriteFile(file, "[UDP]\nUdpPort=0\nUdpHost=\n");
    ReceiverState one;
    LoadSettings(file, one);
    EXPECT_TRUE(one.UdpStored);
    EXPECT_FALSE(one.UdpOn);
    EXPECT_EQ(one.UdpPort, 7355);
    EXPECT_EQ(one.UdpHost, "127.0.0.1");
}

TEST(Settings, EveryKeySurvivesARoundTrip)
{
    TempDir dir;
    const auto file = dir / "tesmar.ini";
    ReceiverState s;
    int32_t n = 1;
    for (const SettingsKey& k : SettingsKeys()) {
        switch (k.type) {
        case SettingsKey::Int: k.intField.set(s, n++); break;
        case SettingsKey::Bool: k.boolField.set(s, true); break;
        case SettingsKey::String: k.stringField.set(s, std::string("v ") + k.name + " =x"); break;
        }
    }
    // Keep the values the load would bring into range inside their ranges.
    s.RxMode = core::Mode::Lsb;
    s.IFBW = core::IfChoice::User;
    s.AFLPF = core::AfChoice::User;
    s.AGC = core::AgcSpeed::Slow;
    s.StepNum = 16;
    s.ColorNum = 5;
    s.GainPos = 150;
    s.SqlPos = -149;
    s.InGainPos = -40;
    s.WaterGainPos = 40;
    s.PosIFBW = 200;
    s.PosAFFC1 = 1;
    s.PosAFFC2 = 100;
    s.FreqTune = -24000;
    s.FreqCenter = 145000000;
    s.MemoryMode = true;
    const std::string saved = Persisted(s);
    SaveSettings(file, s);

    ReceiverState back;
    LoadSettings(file, back);
    EXPECT_EQ(Persisted(back), saved);
    EXPECT_TRUE(back.MemoryMode);
}

// Each key reaches a field of its own: a value set through one key shows
// through that key alone. Two keys bound to one field (a window's place
// bound twice) would otherwise lose one of them on every save.
TEST(SettingsKeys, EachKeyHasAFieldOfItsOwn)
{
    std::vector<SettingsKey> keys(SettingsKeys().begin(), SettingsKeys().end());
    keys.insert(keys.end(), RemoteKeys().begin(), RemoteKeys().end());
    keys.insert(keys.end(), UdpKeys().begin(), UdpKeys().end());
    keys.insert(keys.end(), core::ScanKeys().begin(), core::ScanKeys().end());
    const ReceiverState defaults;
    for (const SettingsKey& k : keys) {
        ReceiverState s;
        switch (k.type) {
        case SettingsKey::Int: k.intField.set(s, k.intField.get(defaults) + 7); break;
        case SettingsKey::Bool: k.boolField.set(s, !k.boolField.get(defaults)); break;
        case SettingsKey::String: k.stringField.set(s, "x"); break;
        }
        for (const SettingsKey& other : keys) {
            const bool differs = other.type == SettingsKey::Int
                                     ? other.intField.get(s) != other.intField.get(defaults)
                                 : other.type == SettingsKey::Bool
                                     ? other.boolField.get(s) != other.boolField.get(defaults)
                                     : other.stringField.get(s) != other.stringField.get(defaults);
            EXPECT_EQ(differs, &other == &k) << k.name << " changed " << other.name;
        }
    }
}

// Catches: a [Scan] section written for an operator who never set the scan
// window, one lost when read, or a value its controls cannot show taken as
// it is.
TEST(Settings, TheScanSectionIsWrittenOnlyOnceSetAndBroughtIntoRange)
{
    TempDir dir;
    const auto file = dir / "tesmar.ini";
    ReceiverState s;
    LoadSettings(file, s);
    s.ScanThreshold = 20;  // set without the operator
    SaveSettings(file, s);
    EXPECT_EQ(ReadFile(file), kDefaultFile);

    WriteFile(file, "[Scan]\nThreshold=500\nHangMs=-3\nRecordHits=1\n");
    ReceiverState back;
    LoadSettings(file, back);
    EXPECT_TRUE(back.ScanStored);
    EXPECT_EQ(back.ScanThreshold, 60);
    EXPECT_EQ(back.ScanHangMs, 0);
    EXPECT_TRUE(back.ScanRecordHits);
    SaveSettings(file, back);
    EXPECT_NE(ReadFile(file).find("[Scan]\nThreshold=60\nHangMs=0\nRecordHits=1\nScanTop=0\n"
                                  "ScanLeft=0\nFmSquelch=0\n"),
              std::string::npos)
        << ReadFile(file);
}

// Each window's keys are its own record's: the keypad's place is kept under
// "InpTop", the AF filter window's under "AudioTop", and a key bound to
// another window's record would move that window at the next start.
TEST(SettingsKeys, WindowKeysKeepTheirWindowsPlaces)
{
    using core::Window;
    const struct {
        Window window;
        std::string_view topKey;  // its "Left" and "Show" keys share the stem
    } windows[] = {{Window::Main, "MainTop"},        {Window::Spectrum, "SpecTop"},
                   {Window::IfFilter, "FiltTop"},    {Window::Keypad, "InpTop"},
                   {Window::MemoryList, "ListTop"},  {Window::AfFilter, "AudioTop"},
                   {Window::WaveRecorder, "WaveTop"}};
    ReceiverState s;
    for (int i = 0; i < 7; ++i)
        s.Place(windows[i].window) = {.top = 100 + i, .left = 200 + i, .showing = i % 2 == 1};
    settings::ProfileDocument doc = settings::ProfileDocument::FromText("");
    core::WriteSettings(doc, s);
    for (int i = 0; i < 7; ++i) {
        const std::string prefix(windows[i].topKey.substr(0, windows[i].topKey.size() - 3));
        EXPECT_EQ(doc.Find("Form", prefix + "Top"), std::to_string(100 + i)) << prefix;
        EXPECT_EQ(doc.Find("Form", prefix + "Left"), std::to_string(200 + i)) << prefix;
        if (windows[i].window != Window::Main) {
            EXPECT_EQ(doc.Find("Form", prefix + "Show"), i % 2 == 1 ? "1" : "0") << prefix;
        }
    }
}

TEST(Settings, HexadecimalAndJunkValues)
{
    TempDir dir;
    EXPECT_EQ(LoadWave(dir, "GainPos=0x10\n").GainPos, 16);
    EXPECT_EQ(LoadWave(dir, "GainPos=abc\n").GainPos, -150);
    EXPECT_EQ(LoadWave(dir, "GainPos=$1F\n").GainPos, 31);
    // (A centre the "DJ-X11" tunes.)
    EXPECT_EQ(LoadWave(dir, "FreqCenter=$8A7A240\n[IO]\nRadioType=1\n").FreqCenter, 145203776);
    EXPECT_EQ(LoadWave(dir, "FreqTune=$FFFFD120\n").FreqTune, -12000);
    EXPECT_EQ(LoadWave(dir, "FreqTune=99999999999\n").FreqTune, -12000);
    EXPECT_EQ(LoadWave(dir, "FreqCenter=\n").FreqCenter, 5012000);
    EXPECT_EQ(LoadWave(dir, "FreqCenter=12.5\n").FreqCenter, 5012000);
    EXPECT_TRUE(LoadWave(dir, "DSPNR=2\n").DSPNR);
    EXPECT_TRUE(LoadWave(dir, "InvIQ=0x1\n").InvIQ);
    EXPECT_FALSE(LoadWave(dir, "InvIQ=yes\n").InvIQ);
    EXPECT_TRUE(LoadText(dir, "[Form]\nMostTop=1\n").alwaysOnTop);
    EXPECT_EQ(LoadText(dir, "[form]\nspecwidth = 640 \n").spectrumWindow.width, 640);
}

TEST(Settings, OutOfRangeChoicesFallBackToZeroAndAreSavedSo)
{
    TempDir dir;
    const auto file = dir / "tesmar.ini";
    WriteFile(file, "[Wave]\nRxMode=7\nIFBW=5\nAFLPF=3\nAGC=-1\n");
    ReceiverState s;
    LoadSettings(file, s);
    EXPECT_EQ(s.RxMode, core::Mode::Am);
    EXPECT_EQ(s.IFBW, core::IfChoice::Khz0_5);
    EXPECT_EQ(s.AFLPF, core::AfChoice::Khz3);
    EXPECT_EQ(s.AGC, core::AgcSpeed::Fast);
    SaveSettings(file, s);
    EXPECT_NE(ReadFile(file).find("[Wave]\nRxMode=0\nIFBW=0\nAFLPF=0\nAGC=0\n"), std::string::npos);

    EXPECT_EQ(LoadWave(dir, "RxMode=-1\n").RxMode, core::Mode::Am);
    EXPECT_EQ(LoadWave(dir, "RxMode=4\n").RxMode, core::Mode::Usb);
    EXPECT_EQ(LoadWave(dir, "IFBW=4\n").IFBW, core::IfChoice::User);
    EXPECT_EQ(LoadWave(dir, "AFLPF=2\n").AFLPF, core::AfChoice::User);
    EXPECT_EQ(LoadWave(dir, "AGC=2\n").AGC, core::AgcSpeed::Slow);
    EXPECT_EQ(LoadWave(dir, "AGC=3\n").AGC, core::AgcSpeed::Fast);
    // An unknown palette is the first, "Mono", not the nearest.
    EXPECT_EQ(LoadWave(dir, "ColorNum=6\n").ColorNum, 0);
    EXPECT_EQ(LoadWave(dir, "ColorNum=$7FFFFFFF\n").ColorNum, 0);
    EXPECT_EQ(LoadWave(dir, "ColorNum=-1\n").ColorNum, 0);
    EXPECT_EQ(LoadWave(dir, "ColorNum=5\n").ColorNum, 5);
}

TEST(Settings, OutOfRangeControlsAreClamped)
{
    TempDir dir;
    EXPECT_EQ(LoadWave(dir, "StepNum=17\n").StepNum, 16);
    EXPECT_EQ(LoadWave(dir, "StepNum=-3\n").StepNum, 0);
    EXPECT_EQ(LoadWave(dir, "StepNum=16\n").StepNum, 16);
    EXPECT_EQ(LoadWave(dir, "GainPos=500\n").GainPos, 150);
    EXPECT_EQ(LoadWave(dir, "GainPos=-151\n").GainPos, -150);
    EXPECT_EQ(LoadWave(dir, "SqlPos=151\n").SqlPos, 150);
    EXPECT_EQ(LoadWave(dir, "SqlPos=$80000000\n").SqlPos, -150);
    EXPECT_EQ(LoadWave(dir, "InGainPos=41\n").InGainPos, 40);
    EXPECT_EQ(LoadWave(dir, "InGainPos=-40\n").InGainPos, -40);
    EXPECT_EQ(LoadWave(dir, "WaterGainPos=-41\n").WaterGainPos, -40);
    EXPECT_EQ(LoadWave(dir, "WaterGainPos=40\n").WaterGainPos, 40);
    EXPECT_EQ(LoadWave(dir, "FreqTune=24001\n").FreqTune, 24000);
    EXPECT_EQ(LoadWave(dir, "FreqTune=-2147483648\n").FreqTune, -24000);
    EXPECT_EQ(LoadWave(dir, "FreqTune=-24000\n").FreqTune, -24000);
}

TEST(Settings, TuningOutsideTheBandOrTheRadioIsBroughtIntoRange)
{
    TempDir dir;
    struct Case {
        const char* lines;
        int32_t freqTune;
        int32_t freqCenter;
    };
    const Case cases[] = {
        {"FreqTune=24000\nFreqCenter=30000\n", 24000, 30000},
        {"FreqTune=-24000\nFreqCenter=34999990\n", -24000, 34999990},
        {"FreqTune=24001\n", 24000, 5012000},
        {"FreqTune=-99999\n", -24000, 5012000},
        {"FreqTune=$7FFFFFFF\nFreqCenter=$80000000\n", 24000, 30000},
        // "DX-R8" tunes 30000..34999990 Hz, "DJ-X11" 50000..1299999950 Hz.
        {"FreqCenter=0\n", -12000, 30000},
        {"FreqCenter=145000000\n", -12000, 34999990},
        {"FreqCenter=145000000\n[IO]\nRadioType=1\n", -12000, 145000000},
        {"FreqCenter=2147483647\n[IO]\nRadioType=1\n", -12000, 1299999950},
        {"FreqCenter=40000\n[IO]\nRadioType=1\n", -12000, 50000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lines);
        const ReceiverState s = LoadWave(dir, c.lines);
        EXPECT_EQ(s.FreqTune, c.freqTune);
        EXPECT_EQ(s.FreqCenter, c.freqCenter);
    }
}

TEST(Settings, UserFilterValuesOutsideTheirControls)
{
    TempDir dir;
    EXPECT_EQ(LoadWave(dir, "PosIFBW=0\n").PosIFBW, 30);
    EXPECT_EQ(LoadWave(dir, "PosIFBW=201\n").PosIFBW, 30);
    EXPECT_EQ(LoadWave(dir, "PosIFBW=-5\n").PosIFBW, 30);
    EXPECT_EQ(LoadWave(dir, "PosIFBW=1\n").PosIFBW, 1);
    EXPECT_EQ(LoadWave(dir, "PosIFBW=200\n").PosIFBW, 200);

    auto band = [&](const std::string& lines) {
        const ReceiverState s = LoadWave(dir, lines);
        return std::pair(s.PosAFFC1, s.PosAFFC2);
    };
    EXPECT_EQ(band("PosAFFC1=60\nPosAFFC2=3\n"), std::pair(3, 60));
    EXPECT_EQ(band("PosAFFC1=10\nPosAFFC2=10\n"), std::pair(3, 60));
    EXPECT_EQ(band("PosAFFC1=0\nPosAFFC2=50\n"), std::pair(3, 60));
    EXPECT_EQ(band("PosAFFC1=5\nPosAFFC2=101\n"), std::pair(3, 60));
    EXPECT_EQ(band("PosAFFC1=70\n"), std::pair(3, 60));  // above the default upper edge
    EXPECT_EQ(band("PosAFFC1=1\nPosAFFC2=100\n"), std::pair(1, 100));
    EXPECT_EQ(band("PosAFFC1=10\nPosAFFC2=11\n"), std::pair(10, 11));
    EXPECT_EQ(band("PosAFFC2=4\n"), std::pair(3, 4));
}

TEST(Settings, ForeignLinesAndCommentsAreKept)
{
    TempDir dir;
    const auto file = dir / "tesmar.ini";
    WriteFile(file, "; written by hand\n"
                    "[Wave]\n"
                    "rxmode=2\n"
                    "Extra=keep me\n"
                    "\n"
                    "# plugin section follows\n"
                    "[Plugin]\n"
                    "Path=/opt/x\n"
                    "[Form]\n"
                    "MainTop=77\n");
    ReceiverState s;
    LoadSettings(file, s);
    EXPECT_EQ(s.RxMode, core::Mode::Cw);
    EXPECT_EQ(s.mainWindow.top, 77);
    s.RxMode = core::Mode::Usb;
    SaveSettings(file, s);

    const std::string text = ReadFile(file);
    EXPECT_EQ(
        text.rfind("; written by hand\n[Wave]\nrxmode=4\nExtra=keep me\nFreqTune=-12000\n", 0), 0u)
        << text;
    EXPECT_NE(text.find("InvIQ=0\n\n# plugin section "
                        "follows\n[Plugin]\nPath=/opt/x\n[Form]\nMainTop=77\nMainLeft=0\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("MostTop=0\n\n[IO]\nPortNum=0\n"), std::string::npos) << text;
    EXPECT_TRUE(text.ends_with("\n\n[Etc]\nMemName=\n")) << text;
    // Each key exactly once.
    for (const SettingsKey& k : SettingsKeys()) {
        const std::string line = std::string("\n") + k.name + "=";
        const auto first = text.find(line);
        EXPECT_EQ(text.find(line, first + 1), std::string::npos) << k.name;
    }
}

TEST(Settings, MemNameSurvivesOnlyOnAMemoryChannel)
{
    TempDir dir;
    const auto file = dir / "tesmar.ini";
    ReceiverState s;
    s.MemName = "Airband 1";
    s.MemoryMode = false;  // tuned away from the channel
    SaveSettings(file, s);
    EXPECT_EQ(s.MemName, "");
    EXPECT_NE(ReadFile(file).find("\nMemName=\n"), std::string::npos);

    s.MemName = "Airband 1";
    s.MemoryMode = true;
    SaveSettings(file, s);
    ReceiverState back;
    LoadSettings(file, back);
    EXPECT_EQ(back.MemName, "Airband 1");
    EXPECT_TRUE(back.MemoryMode);
}

TEST(Settings, StringsUpTo2047Characters)
{
    TempDir dir;
    const auto file = dir / "tesmar.ini";
    ReceiverState s;
    s.PortStr = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0";
    s.MemName = std::string(3000, 'm');
    s.MemoryMode = true;
    SaveSettings(file, s);
    ReceiverState back;
    LoadSettings(file, back);
    EXPECT_EQ(back.PortStr, s.PortStr);
    EXPECT_EQ(back.MemName, std::string(2047, 'm'));
}

TEST(Settings, UnwritableFileIsReportedByName)
{
    TempDir dir;
    WriteFile(dir / "bin", "a file where a folder should be");
    const auto file = dir / "bin" / "tesmar.ini";
    ReceiverState s;
    LoadSettings(file, s);
    try {
        SaveSettings(file, s);
        FAIL() << "saving should have failed";
    } catch (const ProfileWriteError& e) {
        EXPECT_NE(std::string(e.what()).find(file.string()), std::string::npos) << e.what();
    }
}

TEST(Settings, FailedSaveKeepsThePreviousFile)
{
    TempDir dir;
    const auto file = dir / "tesmar.ini";
    ReceiverState s;
    s.mainWindow.top = 5;
    SaveSettings(file, s);
    const std::string before = ReadFile(file);

    // A disk that fills up mid-save: no file may grow beyond 100 bytes.
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 100;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    s.mainWindow.top = 6;
    bool threw = false;
    try {
        SaveSettings(file, s);
    } catch (const ProfileWriteError&) {
        threw = true;
    }
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_TRUE(threw);
    EXPECT_EQ(ReadFile(file), before);
    EXPECT_EQ(CountEntries(dir.Path()), 1);  // the half-written copy is gone
}

TEST(Geometry, MaximisedWindowSavesItsNormalGeometry)
{
    const WindowGeometry current{0, 0, 1920, 1050};
    const WindowGeometry normal{100, 200, 640, 480};
    const auto max = core::GeometryToSave(true, current, normal);
    EXPECT_TRUE(max.maximized);
    EXPECT_EQ(max.geometry, normal);
    const auto plain = core::GeometryToSave(false, current, normal);
    EXPECT_FALSE(plain.maximized);
    EXPECT_EQ(plain.geometry, current);
}

TEST(Geometry, MaximisedSpectrumAndListRoundTrip)
{
    TempDir dir;
    const auto file = dir / "tesmar.ini";
    ReceiverState s;
    // The windows recorded their normal geometry when last activated unmaximised.
    s.spectrumWindow = {.top = 40, .left = 50, .width = 600, .height = 400};
    s.memoryListWindow = {.top = 60, .left = 70, .width = 710, .height = 310};
    core::StoreGeometry(s.spectrumWindow, true, {0, 0, 1920, 1050});
    core::StoreGeometry(s.memoryListWindow, false, {61, 71, 720, 320});
    SaveSettings(file, s);
    const std::string text = ReadFile(file);
    EXPECT_NE(text.find("SpecTop=40\nSpecLeft=50\nSpecWidth=600\nSpecHeight=400\nSpecMaxmum=1\n"),
              std::string::npos);
    EXPECT_NE(text.find("ListTop=61\nListLeft=71\nListWidth=720\nListHeight=320\nListMaxmum=0\n"),
              std::string::npos);

    ReceiverState back;
    LoadSettings(file, back);
    EXPECT_TRUE(back.spectrumWindow.maximized);
    EXPECT_EQ(back.spectrumWindow.width, 600);
    EXPECT_FALSE(back.memoryListWindow.maximized);
    EXPECT_EQ(back.memoryListWindow.width, 720);
}

// The input corrections' keys stay out of a file until the operator sets
// them; the automatic balance's bands come back as they were kept, and a
// mode no control gives reads as automatic.
TEST(Settings, InputCorrectionsAreWrittenOnlyOnceSetAndBandsComeBack)
{
    TempDir dir;
    const auto file = dir / "tesmar.ini";
    ReceiverState s;
    LoadSettings(file, s);
    EXPECT_EQ(s.IQCorr, 0);
    EXPECT_TRUE(s.DCCorr);
    SaveSettings(file, s);
    EXPECT_EQ(ReadFile(file), kDefaultFile);

    s.InputCorrStored = true;
    s.IQCorr = 2;
    s.DCCorr = false;
    s.IQCorrGain = -125;
    s.IQCorrPhase = 310;
    dsp::IqModel model;
    for (std::size_t k = 0; k < model.w.size(); ++k)
        model.w[k] = {0.05 + 1e-4 * static_cast<double>(k), -0.0123456789};
    s.IqBands.Keep(50, model);
    s.IqBands.Keep(-3, model);
    SaveSettings(file, s);
    const std::string text = ReadFile(file);
    EXPECT_NE(text.find("IQCorr=2\nDCCorr=0\nIQCorrGain=-125\nIQCorrPhase=310\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("[IQBalance]"), std::string::npos);

    ReceiverState back;
    LoadSettings(file, back);
    EXPECT_TRUE(back.InputCorrStored);
    EXPECT_EQ(back.IQCorr, 2);
    EXPECT_FALSE(back.DCCorr);
    EXPECT_EQ(back.IQCorrGain, -125);
    EXPECT_EQ(back.IQCorrPhase, 310);
    for (const int32_t band : {50, -3}) {
        const auto kept = back.IqBands.Find(band);
        ASSERT_TRUE(kept) << band;
        for (std::size_t k = 0; k < model.w.size(); ++k)
            ASSERT_LT(std::abs(kept->w[k] - model.w[k]), 1e-6) << band << " " << k;
    }
    EXPECT_FALSE(back.IqBands.Find(51));

    // A band whose line is cut short is dropped, not half loaded.
    WriteFile(file, "[Wave]\nIQCorr=7\n[IQBalance]\nBands=50\nB50.0=0.1 0.2 0.3\n");
    ReceiverState odd;
    LoadSettings(file, odd);
    EXPECT_EQ(odd.IQCorr, 0);
    EXPECT_TRUE(odd.InputCorrStored);
    EXPECT_FALSE(odd.IqBands.Find(50));
}
