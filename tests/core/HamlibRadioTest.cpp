#include "CoreFixture.h"
#include "HamlibRadios.h"
#include "core/RadioNotice.h"
#include "core/ScanSession.h"
#include "core/SettingsChoices.h"
#include "core/model/KeyCodes.h"

#include <string>

namespace core::test {
namespace {

// A receiver whose settings choose the Hamlib type on a rigctld of the
// test's (Hamlib's dummy radio), the IQ output centred 12 kHz above the dial.
class HamlibReceiver : public CoreTest {
protected:
    Receiver& StartOnRigctld(const std::string& more = "")
    {
        Receiver& rx = StartedOnRigctld(more);
        EXPECT_TRUE(rx.OpenRadio());
        EXPECT_TRUE(RunUntil([&] { return rx.RadioLinkOk(); }));
        EXPECT_TRUE(RunUntil([&] { return Dial() == "7088000"; }));
        return rx;
    }
    // Started, the radio not yet opened.
    Receiver& StartedOnRigctld(const std::string& more = "")
    {
        EXPECT_TRUE(server_.Start());
        WriteIni("[IO]\nRadioType=2\n[Wave]\nFreqCenter=7100000\nFreqTune=1500\n"
                 "[Hamlib]\nModel=2\nPort=" +
                 server_.Address() + "\nIqOffset=12000\n" + more);
        Receiver& rx = Started();
        QObject::connect(&rx, &Receiver::RadioSettled,
                         [this](int32_t center) { settled_.push_back(center); });
        QObject::connect(&rx, &Receiver::DisplayChanged, [this] { ++displayChanges_; });
        return rx;
    }
    std::string Dial() { return server_.Rigctl("f"); }
    // The knob turned, as another client of rigctld does it.
    void TurnKnob(int64_t dial) { server_.Rigctl("F " + std::to_string(dial)); }

    radio::test::Rigctld server_;
    std::vector<int32_t> settled_;
    int displayChanges_ = 0;
};

// Every way of tuning reaches the radio's dial behind the IQ offset, the
// radio's acknowledgement comes back as RadioSettled, the mode buttons set
// its mode, and the "COM" lamp shows the link.
TEST_F(HamlibReceiver, TuningFromTesmarReachesTheRadio)
{
    Receiver& rx = StartOnRigctld();
    ASSERT_TRUE(RunUntil([&] { return !settled_.empty(); }));
    EXPECT_EQ(settled_.back(), 7100000);

    ASSERT_EQ(rx.TuneTo(14200000), Receiver::TuneResult::Tuned);  // the remote control
    EXPECT_EQ(ReceiveFrequency(), 14200000);
    ASSERT_TRUE(RunUntil([&] { return Dial() == "14186500"; }));
    ASSERT_TRUE(rx.MoveBand(1));  // a band button
    ASSERT_TRUE(RunUntil([&] { return Dial() == "14234500"; }));
    for (char key : std::string("3.6"))  // typed on the keypad
        rx.KeypadKey(key == '.' ? keys::Point : key);
    rx.KeypadKey(keys::Enter);
    EXPECT_EQ(ReceiveFrequency(), 3600000);
    ASSERT_TRUE(RunUntil([&] { return Dial() == "3586500"; }));
    ASSERT_TRUE(RunUntil([&] { return settled_.back() == 3598500; }));

    rx.SelectMode(Mode::Lsb);
    ASSERT_TRUE(RunUntil([&] { return server_.Rigctl("m").rfind("LSB", 0) == 0; }));
    rx.SelectMode(Mode::Am);
    ASSERT_TRUE(RunUntil([&] { return server_.Rigctl("m").rfind("AM", 0) == 0; }));
    EXPECT_TRUE(errors_.empty());
}

// The radio's knob and mode switch: FreqCenter follows the dial with
// FreqTune kept, the display is told, the mode button follows with its
// filters; nothing is sent back that would undo the operator's turn. During
// raw files the knob is handled as the band buttons are.
TEST_F(HamlibReceiver, TesmarFollowsTheRadiosKnob)
{
    Receiver& rx = StartOnRigctld();
    ASSERT_TRUE(RunUntil([&] { return !settled_.empty(); }));
    const int changes = displayChanges_;
    TurnKnob(7050000);
    ASSERT_TRUE(RunUntil([&] { return S().FreqCenter == 7062000; }));
    EXPECT_EQ(S().FreqTune, 1500);
    EXPECT_GT(displayChanges_, changes);
    EXPECT_EQ(Dial(), "7050000");

    server_.Rigctl("M CW 0");
    ASSERT_TRUE(RunUntil([&] { return S().RxMode == Mode::Cw; }));
    EXPECT_EQ(rx.SelectedIfFilter(), IfChoice::Khz0_5);
    tesmar::test::PumpBriefly();
    EXPECT_EQ(server_.Rigctl("m").rfind("CW", 0), 0u);

    // While a raw file plays the knob changes the centre that returns when
    // playback ends, not the file's; while one records, the radio is put
    // back to the centre the file's header holds.
    rx.OpenRawFile(MakeRawFile(Dir(), 145000000, 50));
    ASSERT_TRUE(rx.RawPlaying());
    TurnKnob(7000000);
    ASSERT_TRUE(RunUntil([&] { return S().SavedCenter == 7012000; }));
    EXPECT_EQ(S().FreqCenter, 145000000);
    rx.Play(false);
    EXPECT_EQ(S().FreqCenter, 7012000);

    rx.Rec(true);
    ASSERT_TRUE(rx.RawRecording());
    TurnKnob(7300000);
    ASSERT_TRUE(RunUntil([&] { return Dial() == "7000000"; }));
    EXPECT_EQ(S().FreqCenter, 7012000);
    rx.Rec(false);
}

// rigctld stopped: the lamp goes out and a notice that waits for nobody
// (no box, which stayed open after the radio was back) tells it while blocks
// go on; the link comes back by itself when rigctld does, and the notice
// says so and clears.
TEST_F(HamlibReceiver, ALostRadioIsToldWithoutABoxUntilItComesBack)
{
    Receiver& rx = StartOnRigctld();
    std::vector<bool> lamp;
    std::vector<QString> noticeAtLamp;
    QObject::connect(&rx, &Receiver::ComLampChanged, [&](bool on) {
        lamp.push_back(on);
        noticeAtLamp.push_back(rx.RadioNoticeText());
    });
    EXPECT_TRUE(rx.RadioNoticeText().isEmpty());
    server_.Stop();
    std::array<int16_t, 4800> block{};
    const uint64_t before = ReceiverProbe::ProcessedBlocks(rx);
    ASSERT_TRUE(RunUntil([&] {
        ReceiverProbe::HandleBlock(rx, block.data());
        return !rx.RadioLinkOk();
    }));
    EXPECT_GT(ReceiverProbe::ProcessedBlocks(rx), before);
    EXPECT_TRUE(noticeAtLamp[0].startsWith(
        QStringLiteral("The radio on %1 does not answer").arg(server_.Address().c_str())))
        << noticeAtLamp[0].toStdString();
    ASSERT_TRUE(rx.MoveBand(1));  // while the radio is away
    ASSERT_TRUE(server_.Start());
    ASSERT_TRUE(RunUntil([&] {
        ReceiverProbe::HandleBlock(rx, block.data());
        return rx.RadioLinkOk();
    }));
    EXPECT_EQ(rx.RadioNoticeText(), QString::fromLatin1(kRadioBackMessage));
    ASSERT_TRUE(RunUntil([&] { return Dial() == "7136000"; }));
    EXPECT_EQ(lamp, (std::vector<bool>{false, true}));
    ASSERT_TRUE(RunUntil([&] { return rx.RadioNoticeText().isEmpty(); }));
    EXPECT_TRUE(errors_.empty());
}

// A scan started with the program (tesmar --scan) finds the Hamlib radio
// still opening: it waits for the link instead of leaving the channels
// outside the band out ("No radio to retune") and retunes once it answers.
TEST_F(HamlibReceiver, AScanStartedWhileTheRadioOpensWaitsForIt)
{
    WriteFile(Dir() / "MemoryList.txt", "14.200000,Far,0\n");
    Receiver& rx = StartedOnRigctld();
    ASSERT_TRUE(rx.OpenRadio());
    ASSERT_EQ(rx.Scan().Start(ScanOptions{}), "");
    std::array<int16_t, 4800> block{};
    ReceiverProbe::HandleBlock(rx, block.data());
    EXPECT_FALSE(rx.RadioLinkOk());  // its answer is yet to be heard
    ASSERT_TRUE(RunUntil([&] {
        ReceiverProbe::HandleBlock(rx, block.data());
        return S().FreqCenter > 14100000;
    }));
    EXPECT_TRUE(rx.RadioLinkOk());
    EXPECT_TRUE(rx.Scan().Notice().isEmpty()) << rx.Scan().Notice().toStdString();
    ASSERT_TRUE(RunUntil([&] { return Dial() == std::to_string(S().FreqCenter - 12000); }));
    rx.Scan().Stop();
}

// The dialog's Hamlib area: the list is the library's and searchable, the
// choices reach the radio with "OK", and [Hamlib] is written only then.
TEST_F(HamlibReceiver, TheDialogsHamlibAreaKeepsOnlyAChange)
{
    ASSERT_TRUE(server_.Start());
    WriteIni("[IO]\nRadioType=0\n");
    {
        Receiver& rx = Started();
        SettingsChoices c(rx, Remote(), {});
        c.Confirm();
        ASSERT_TRUE(rx.Shutdown({}));
        EXPECT_EQ(ReadFile(IniPath()).find("Hamlib"), std::string::npos);
    }

    Receiver& again = Started();
    SettingsChoices d(again, Remote(), {});
    const QStringList models = SettingsChoices::HamlibModelEntries();
    const int kenwood = SettingsChoices::FindHamlibModel(QStringLiteral("kenwood ts-480"));
    ASSERT_GE(kenwood, 0);
    EXPECT_EQ(models[kenwood], QStringLiteral("Kenwood TS-480 (2028)"));
    EXPECT_EQ(SettingsChoices::FindHamlibModel(models[kenwood]), kenwood);
    EXPECT_EQ(SettingsChoices::FindHamlibModel(QStringLiteral("no such radio")), -1);
    const int net = SettingsChoices::FindHamlibModel(QStringLiteral("NET rigctl"));
    ASSERT_GE(net, 0);

    bool settled = false;
    QObject::connect(&again, &Receiver::RadioSettled, [&] { settled = true; });
    EXPECT_FALSE(d.ChooseRadioType(2));
    EXPECT_TRUE(d.HamlibAreaShown());
    d.ChooseHamlibModelEntry(net);
    // Tesmar's own remote control is no radio to follow.
    d.ChooseRemoteOn(true);
    d.ChooseHamlibPort(QStringLiteral("localhost:%1").arg(d.RemotePort()));
    EXPECT_NE(d.Problem().toStdString().find("own remote control"), std::string::npos);
    d.ChooseRemoteOn(false);
    d.ChooseHamlibPort(QStringLiteral(" %1 ").arg(QString::fromStdString(server_.Address())));
    d.ChooseHamlibSpeedEntry(5);  // 19200
    d.ChooseHamlibIqOffset(-10000);
    const SettingsChoices::Applied applied = d.Confirm();
    EXPECT_TRUE(applied.hamlibChanged);
    EXPECT_TRUE(applied.radioRestarted);
    ASSERT_TRUE(RunUntil([&] { return again.RadioLinkOk(); }));
    ASSERT_TRUE(RunUntil([&] { return Dial() == std::to_string(S().FreqCenter + 10000); }));
    ASSERT_TRUE(RunUntil([&] { return settled; }));

    // New offsets keep the radio where it is: the display moves.
    const std::string dial = Dial();
    d.ChooseHamlibTransverterOffset(116000000);
    d.Confirm();
    EXPECT_EQ(S().FreqCenter, std::stoll(dial) - 10000 + 116000000);
    tesmar::test::PumpBriefly();
    EXPECT_EQ(Dial(), dial);
    // A retune asks for the dial behind both offsets.
    ASSERT_TRUE(again.MoveBand(1));
    ASSERT_TRUE(RunUntil([&] { return Dial() == std::to_string(std::stoll(dial) + 48000); }));

    ASSERT_TRUE(again.Shutdown({}));
    EXPECT_NE(ReadFile(IniPath()).find("\n[Hamlib]\nModel=2\nPort=" + server_.Address() +
                                       "\nSpeed=19200\nIqOffset=-10000\n"
                                       "TransverterOffset=116000000\n"),
              std::string::npos);
}

}  // namespace
}  // namespace core::test
