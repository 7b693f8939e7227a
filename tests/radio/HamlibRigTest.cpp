#include "radio/HamlibRig.h"
#include "HamlibRadios.h"
#include "PtyRadio.h"
#include "radio/RadioControl.h"
#include "radio/RadioTypes.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <QObject>

#include <vector>

namespace radio::test {
namespace {

// A link and everything it reported, in order.
struct Watched {
    HamlibRig rig;
    std::vector<bool> links;
    std::vector<int64_t> reads;
    std::vector<RigMode> modes;
    std::vector<int64_t> settled;
    std::vector<QString> notices;

    Watched()
    {
        QObject::connect(&rig, &HamlibRig::LinkChanged, [this](bool up) { links.push_back(up); });
        QObject::connect(&rig, &HamlibRig::FrequencyRead,
                         [this](int64_t hz) { reads.push_back(hz); });
        QObject::connect(&rig, &HamlibRig::ModeRead, [this](RigMode m) { modes.push_back(m); });
        QObject::connect(&rig, &HamlibRig::FrequencySettled,
                         [this](int64_t hz) { settled.push_back(hz); });
        QObject::connect(&rig, &HamlibRig::Notice,
                         [this](const QString& text) { notices.push_back(text); });
    }
    bool WaitLink(bool up)
    {
        return PumpUntil([&] { return rig.LinkUp() == up; });
    }
    bool WaitRead(int64_t hz)
    {
        return PumpUntil([&] { return !reads.empty() && reads.back() == hz; });
    }
    bool WaitMode(RigMode m)
    {
        return PumpUntil([&] { return !modes.empty() && modes.back() == m; });
    }
};

// The installed library's list is what the settings dialog offers: it must
// hold the models the tests drive, once each, in maker order.
TEST(HamlibModels, ListsTheInstalledModelsSortedByMaker)
{
    const std::vector<HamlibModel>& models = HamlibModels();
    ASSERT_GT(models.size(), 100u);
    int found = 0;
    for (std::size_t i = 0; i < models.size(); ++i) {
        if (models[i].Model == 1 || models[i].Model == 2 || models[i].Model == 2028)
            ++found;
        if (i > 0) {
            EXPECT_LE(models[i - 1].Maker, models[i].Maker);
        }
    }
    EXPECT_EQ(found, 3);
}

// Tesmar's tuning reaches a shared rigctld, and the knob turned by another
// client of it (rigctl, as a logging program would) comes back as a read,
// frequency and mode; Tesmar's own set is never reported as a knob turn.
TEST(HamlibRigctld, TunesAndFollowsTheSharedRadio)
{
    Rigctld server;
    ASSERT_TRUE(server.Start());
    Watched w;
    w.rig.Open(2, server.Address(), 0);
    ASSERT_TRUE(w.WaitLink(true));
    EXPECT_EQ(w.rig.Abilities().Grid, 1);

    w.rig.SetFrequency(7100000);
    w.rig.SetMode(RigMode::LSB);
    ASSERT_TRUE(PumpUntil([&] { return !w.settled.empty(); }));
    EXPECT_EQ(w.settled.back(), 7100000);
    EXPECT_EQ(server.Rigctl("f"), "7100000");
    ASSERT_TRUE(PumpUntil([&] { return server.Rigctl("m").rfind("LSB", 0) == 0; }));
    const std::size_t readsBefore = w.reads.size();

    server.Rigctl("F 14250000");
    ASSERT_TRUE(w.WaitRead(14250000));
    for (std::size_t i = readsBefore; i < w.reads.size(); ++i)
        EXPECT_NE(w.reads[i], 7100000) << "Tesmar's own frequency reported as a knob turn";
    server.Rigctl("M CW 0");
    ASSERT_TRUE(w.WaitMode(RigMode::CW));
    server.Rigctl("M PKTUSB 0");
    ASSERT_TRUE(w.WaitMode(RigMode::USB));
    EXPECT_TRUE(w.notices.empty());
}

// rigctld goes away and comes back on its port: the lamp goes out, one
// message however many attempts fail, and the link returns by itself.
TEST(HamlibRigctld, StoppedServerToldOnceAndFoundAgain)
{
    Rigctld server;
    ASSERT_TRUE(server.Start());
    Watched w;
    w.rig.Open(2, server.Address(), 0);
    ASSERT_TRUE(w.WaitLink(true));

    server.Stop();
    ASSERT_TRUE(w.WaitLink(false));
    // Several reopen attempts fail meanwhile.
    PumpUntil([] { return false; }, 2 * HamlibRig::kReopenIntervalMs + 500);
    EXPECT_EQ(w.notices.size(), 1u);
    w.rig.SetFrequency(3600000);  // asked for while the radio is away

    ASSERT_TRUE(server.Start());
    ASSERT_TRUE(w.WaitLink(true));
    ASSERT_TRUE(PumpUntil([&] { return server.Rigctl("f") == "3600000"; }));
    EXPECT_EQ(w.notices.size(), 1u);
    EXPECT_EQ(w.links, (std::vector<bool>{true, false, true}));
}

// The serial path: Hamlib's TS-480 model speaks to the simulator through the
// pseudo-terminal. Tuning and mode reach it; its knob and mode switch come back.
TEST(HamlibSerial, KenwoodTunedAndFollowed)
{
    tesmar::test::TempDir dir;
    KenwoodPty radio(dir / "ttyKenwood");
    Watched w;
    w.rig.Open(2028, radio.Path(), 9600);
    ASSERT_TRUE(w.WaitLink(true));
    ASSERT_TRUE(w.WaitRead(14074000));

    w.rig.SetFrequency(7074000);
    w.rig.SetMode(RigMode::AM);
    ASSERT_TRUE(PumpUntil([&] { return radio.frequency == 7074000 && radio.mode == 5; }));

    radio.frequency = 7080500;  // the knob
    ASSERT_TRUE(w.WaitRead(7080500));
    radio.mode = 3;
    ASSERT_TRUE(w.WaitMode(RigMode::CW));
    EXPECT_TRUE(w.notices.empty());
}

// A radio that stops answering and one that is unplugged: each told once,
// the caller's calls never wait, and the link returns when the radio does.
TEST(HamlibSerial, SilentAndUnpluggedRadiosComeBackByThemselves)
{
    tesmar::test::TempDir dir;
    KenwoodPty radio(dir / "ttyKenwood");
    Watched w;
    w.rig.Open(2028, radio.Path(), 9600);
    ASSERT_TRUE(w.WaitLink(true));

    radio.silent = true;
    ASSERT_TRUE(w.WaitLink(false));
    w.rig.SetFrequency(10100000);  // queued, never waited for
    PumpUntil([] { return false; }, HamlibRig::kReopenIntervalMs * 2);
    EXPECT_EQ(w.notices.size(), 1u);
    radio.silent = false;
    ASSERT_TRUE(w.WaitLink(true));
    ASSERT_TRUE(PumpUntil([&] { return radio.frequency == 10100000; }));

    radio.Unplug();
    ASSERT_TRUE(w.WaitLink(false));
    EXPECT_EQ(w.notices.size(), 2u);
    radio.PlugIn();
    ASSERT_TRUE(w.WaitLink(true));
    EXPECT_EQ(w.notices.size(), 2u);
}

// SetRadioFrequency with the Hamlib type: the dial the radio gets is the
// centre less the IQ output's offset and the transverter's; the serial link
// stays silent, the set-up sequence ends by tuning, and a dial at or below
// 0 Hz is refused without a change.
TEST(HamlibRigctld, RadioControlTunesTheDialBehindTheOffsets)
{
    Rigctld server;
    ASSERT_TRUE(server.Start());
    const struct {
        int32_t iqOffset, transverterOffset, center;
        const char* dial;
    } cases[] = {
        {0, 0, 7100000, "7100000"},
        {12000, 0, 7100000, "7088000"},
        {-12000, 116000000, 144200000, "28212000"},
    };
    for (const auto& c : cases) {
        HamlibRig rig;
        RadioLink link;
        int32_t center = 5000000, tune = 1234, type = kHamlibRadioType;
        int32_t iq = c.iqOffset, transverter = c.transverterOffset;
        RadioControl control(link, center, tune, type);
        control.UseHamlib(rig, iq, transverter);
        rig.Open(2, server.Address(), 0);
        ASSERT_TRUE(PumpUntil([&] { return rig.LinkUp(); }));
        ASSERT_TRUE(control.SetRadioFrequency(c.center));
        EXPECT_EQ(center, c.center);
        EXPECT_EQ(tune, 1234);
        ASSERT_TRUE(PumpUntil([&] { return server.Rigctl("f") == c.dial; })) << c.dial;
        EXPECT_EQ(control.CenterFor(control.DialFor(c.center)), c.center);
        EXPECT_FALSE(
            control.SetRadioFrequency(static_cast<int32_t>(c.iqOffset + c.transverterOffset)));
        EXPECT_EQ(center, c.center);

        center = c.center + 1000;
        control.StartRadio();
        EXPECT_FALSE(control.StartRadioRunning());
        ASSERT_TRUE(PumpUntil([&] { return server.Rigctl("f") != c.dial; }));
        EXPECT_EQ(server.Rigctl("f"), std::to_string(std::stoll(c.dial) + 1000));
    }
}

// A model that cannot tell its frequency (Yaesu's FRG-9600 only listens):
// named once, taken as there once open, still tuned, never "followed".
TEST(HamlibSerial, AModelThatCannotReadIsNamedOnceAndStillTuned)
{
    PtyRadio radio;
    Watched w;
    w.rig.Open(1018, radio.Path(), 0);
    ASSERT_TRUE(w.WaitLink(true));
    ASSERT_EQ(w.notices.size(), 1u);
    EXPECT_TRUE(w.notices[0].contains(QStringLiteral("FRG-9600")));
    EXPECT_TRUE(w.notices[0].contains(QStringLiteral("cannot tell its frequency")));
    EXPECT_FALSE(w.rig.Abilities().CanReadFrequency);
    w.rig.SetFrequency(7100000);
    ASSERT_TRUE(PumpUntil([&] {
        radio.Drain();
        return radio.Raw().size() >= 5;  // one five-byte CAT command
    }));
    PumpUntil([] { return false; }, 500);
    EXPECT_TRUE(w.reads.empty());
    EXPECT_EQ(w.notices.size(), 1u);
    EXPECT_TRUE(w.rig.LinkUp());
}

// A port where no radio ever was: told once, nothing else happens, and
// closing stops the attempts.
TEST(HamlibSerial, MissingDeviceToldOnce)
{
    tesmar::test::TempDir dir;
    Watched w;
    w.rig.Open(2028, (dir / "ttyNothing").string(), 9600);
    ASSERT_TRUE(PumpUntil([&] { return !w.notices.empty(); }));
    PumpUntil([] { return false; }, HamlibRig::kReopenIntervalMs + 500);
    EXPECT_EQ(w.notices.size(), 1u);
    EXPECT_TRUE(w.notices[0].contains(QStringLiteral("ttyNothing")));
    EXPECT_FALSE(w.rig.LinkUp());
    w.rig.Close();
    EXPECT_FALSE(w.rig.IsOpen());
}

}  // namespace
}  // namespace radio::test
