#include "radio/HamlibRig.h"
#include "HamlibRadios.h"
#include "PtyRadio.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <QObject>

#include <vector>

namespace radio::test {
namespace {

// A link and everything it reported, in order.
struct Watched {
    HamlibRig rig;
    std::vector<int64_t> reads;
    std::vector<RigMode> modes;
    std::vector<QString> notices;

    Watched()
    {
        QObject::connect(&rig, &HamlibRig::FrequencyRead,
                         [this](int64_t hz) { reads.push_back(hz); });
        QObject::connect(&rig, &HamlibRig::ModeRead, [this](RigMode m) { modes.push_back(m); });
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
};

// The serial path: Hamlib's TS-480 model speaks to the simulator through the
// pseudo-terminal. Tuning and mode reach it; its knob and mode switch come
// back; after silence or unplugging the link returns by itself.
TEST(HamlibSerial, KenwoodTunedFollowedAndBackAfterSilenceOrUnplugging)
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
    ASSERT_TRUE(PumpUntil([&] { return !w.modes.empty() && w.modes.back() == RigMode::CW; }));
    EXPECT_TRUE(w.notices.empty());

    // A radio that stops answering and one that is unplugged: each told once,
    // the caller's calls never wait, and the link returns when the radio does.
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

}  // namespace
}  // namespace radio::test
